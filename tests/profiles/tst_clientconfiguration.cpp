#include "profiles/ClientConfiguration.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using Values = QMap<QString, QString>;
Q_DECLARE_METATYPE(Values)

class ClientConfigurationTest : public QObject {
    Q_OBJECT

private slots:
    void load_data();
    void load();
    void missingFileLeavesEverythingEmpty();

private:
    QTemporaryDir m_dir;
};

namespace {
const QString kMac = QStringLiteral("52:54:00:12:34:56");
const QString kIp = QStringLiteral("10.1.2.3");

Values withIdentity(Values values) {
    values.insert(QStringLiteral("MacAddress"), kMac);
    values.insert(QStringLiteral("IpAddress"), kIp);
    return values;
}
}  // namespace

void ClientConfigurationTest::load_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<bool>("loaded");
    QTest::addColumn<Values>("values");
    QTest::addColumn<QString>("text");

    const QByteArray normal =
        "<?xml version=\"1.0\"?>\n<root>\n\t<client autoStart=\"false\" clientSize=\"1024,768\" "
        "version=\"1.0.0\" />\n\t<conf deviceId=\"K1\" />\n</root>\n";
    QTest::newRow("normal") << normal << true
                            << withIdentity({{"autoStart", "false"},
                                             {"clientSize", "1024,768"},
                                             {"version", "1.0.0"}})
                            << QString::fromUtf8(normal);

    const QByteArray withMac =
        "<root><client MacAddress=\"00:00:00:00:00:00\" IpAddress=\"1.1.1.1\" language=\"en\"/>"
        "</root>";
    QTest::newRow("detected identity overrides the file's")
        << withMac << true << withIdentity({{"language", "en"}}) << QString::fromUtf8(withMac);

    const QByteArray leadingComment =
        "<!-- written by hand -->\n<root><client closeFunc=\"hide\"/></root>\n";
    QTest::newRow("leading comment")
        << leadingComment << true << withIdentity({{"closeFunc", "hide"}})
        << QString::fromUtf8(leadingComment);

    QTest::newRow("no client element")
        << QByteArray("<root><conf deviceId=\"x\"/></root>") << true << withIdentity({})
        << QStringLiteral("<root><conf deviceId=\"x\"/></root>");

    QTest::newRow("client outside root is not read")
        << QByteArray("<other><client a=\"1\"/></other>") << true << withIdentity({})
        << QStringLiteral("<other><client a=\"1\"/></other>");

    QTest::newRow("byte-order mark and CR LF")
        << QByteArray("\xEF\xBB\xBF<root>\r\n<client version=\"2.0\"/>\r\n</root>\r\n") << true
        << withIdentity({{"version", "2.0"}})
        << QStringLiteral("<root>\n<client version=\"2.0\"/>\n</root>\n");

    QTest::newRow("non-ASCII values") << QByteArray("<root><client language=\"中文\"/></root>")
                                      << true << withIdentity({{"language", "中文"}})
                                      << QStringLiteral("<root><client language=\"中文\"/></root>");

    QTest::newRow("malformed") << QByteArray("<root><client autoStart=\"true\"></root>") << false
                               << Values() << QString();
    QTest::newRow("empty file") << QByteArray() << false << Values() << QString();
}

void ClientConfigurationTest::load() {
    QFETCH(QByteArray, file);
    QFETCH(bool, loaded);
    QFETCH(Values, values);
    QFETCH(QString, text);

    const QString path = m_dir.filePath(QStringLiteral("conf.xml"));
    QFile out(path);
    QVERIFY(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(out.write(file), file.size());
    out.close();

    const ClientConfiguration config = loadClientConfiguration(path, kMac, kIp);
    QCOMPARE(config.loaded, loaded);
    QCOMPARE(config.values, values);
    QCOMPARE(config.text, text);
    QCOMPARE(config.error.isEmpty(), loaded);
}

void ClientConfigurationTest::missingFileLeavesEverythingEmpty() {
    const ClientConfiguration config =
        loadClientConfiguration(m_dir.filePath(QStringLiteral("absent.xml")), kMac, kIp);
    QVERIFY(!config.loaded);
    QVERIFY(config.values.isEmpty());
    QVERIFY(config.text.isEmpty());
    QVERIFY2(config.error.contains(QStringLiteral("absent.xml")), qPrintable(config.error));
}

QTEST_GUILESS_MAIN(ClientConfigurationTest)
#include "tst_clientconfiguration.moc"
