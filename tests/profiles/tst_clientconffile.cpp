#include "profiles/ClientConfFile.h"

#include <QtTest>

class ClientConfFileTest : public QObject {
    Q_OBJECT

private slots:
    void withSetting_data();
    void withSetting();
};

void ClientConfFileTest::withSetting_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::addColumn<bool>("parses");
    QTest::addColumn<QString>("result");

    const QString file = QStringLiteral(
        "<!-- settings -->\n<root>\n  <client autoStart=\"false\" language=\"\"/>\n"
        "  <conf deviceId=\"K1\"><info name=\"产品信息\" productName=\"K1\"/></conf>\n</root>\n");
    const QString rewritten = QStringLiteral(
        "<?xml version=\"1.0\"?>\n<root>\n\t<client autoStart=\"%1\" language=\"\" />\n"
        "\t<conf deviceId=\"K1\">\n\t\t<info name=\"产品信息\" productName=\"K1\" />\n"
        "\t</conf>\n</root>\n");

    QTest::newRow("existing setting; comment dropped, entries kept, tabs")
        << file << "autoStart"
        << "true" << true << rewritten.arg("true");
    QTest::newRow("unknown key is not created") << file << "newKey"
                                                << "1" << true << rewritten.arg("false");
    QTest::newRow("attribute of another element is not a setting")
        << file << "deviceId"
        << "X" << true << rewritten.arg("false");
    QTest::newRow("special characters are escaped")
        << QStringLiteral("<root><client language=\"\"/></root>") << "language"
        << "a<b&\"c\"" << true
        << QStringLiteral(
               "<?xml version=\"1.0\"?>\n<root>\n\t<client language=\"a&lt;b&amp;&quot;c&quot;\" "
               "/>\n</root>\n");
    QTest::newRow("unparsable text") << QStringLiteral("<root><client") << "a"
                                     << "b" << false << QString();
}

void ClientConfFileTest::withSetting() {
    QFETCH(QString, text);
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(bool, parses);
    QFETCH(QString, result);
    const std::optional<QString> changed = ClientConfFile::withSetting(text, key, value);
    QCOMPARE(changed.has_value(), parses);
    if (changed) {
        QCOMPARE(*changed, result);
    }
}

QTEST_GUILESS_MAIN(ClientConfFileTest)
#include "tst_clientconffile.moc"
