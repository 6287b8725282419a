// The profile commands end to end: the real client in a private application directory, its page
// driven over the DevTools protocol, the files checked on disk.
#include "ClientAppDir.h"
#include "RunningClient.h"
#include "TestEnvironment.h"

#include <QFile>
#include <QJsonObject>
#include <QtTest>

namespace {

const QString kModes = QStringLiteral("Resources/profiles/configuration.xml");

std::unique_ptr<ClientAppDir> appDir() {
    return std::make_unique<ClientAppDir>(QStringLiteral(ZELK_EXECUTABLE),
                                          QStringLiteral(DC_LIBRARY_PATH),
                                          QStringLiteral(DCSIM_PATH));
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

QJsonObject modifyName(const QString& name) {
    return {{"funcname", "modifyProfile"},
            {"filePath", kModes},
            {"xpath", "/profile/solution/modesetting/modes[@configindex='1']"},
            {"attribute", "name"},
            {"attributeValue", name}};
}

}  // namespace

#define COMPARE_RECORD(actual, expected) QCOMPARE(compactJson(actual), compactJson(expected))

class ProfilePageTest : public QObject {
    Q_OBJECT

private slots:
    void editsStayInMemoryUntilSaved();
    void exportThenImportThroughThePage();
    void pendingEditsAreWrittenWhenTheClientEnds_data();
    void pendingEditsAreWrittenWhenTheClientEnds();
};

void ProfilePageTest::editsStayInMemoryUntilSaved() {
    RunningClient client(appDir());
    QVERIFY2(client.dir().isValid(), qPrintable(client.dir().errorString()));
    QString error;
    QVERIFY2(client.start(&error), qPrintable(error));
    const QString file = client.dir().path() + QLatin1Char('/') + kModes;
    const QByteArray original = readFile(file);

    COMPARE_RECORD(client.ask(modifyName(QStringLiteral("Shooter"))),
                   successRecord("modifyProfile success!"));
    const QJsonObject query{{"funcname", "queryProfile"},
                            {"filePath", kModes},
                            {"xpath", "//modes[@configindex='1']/@name"}};
    COMPARE_RECORD(client.ask(query), successRecord(""));
    const QJsonObject name = client.ask({{"funcname", "queryProfile"},
                                         {"filePath", kModes},
                                         {"xpath", "//modes[@name='Shooter']"}});
    QVERIFY2(name.value("text").toString().startsWith("<modes configindex=\"1\""),
             qPrintable(compactJson(name)));
    QCOMPARE(readFile(file), original);

    COMPARE_RECORD(client.ask({{"funcname", "savexml"}}), successRecord("save xml success"));
    const QByteArray saved = readFile(file);
    QVERIFY(saved.startsWith("<?xml version=\"1.0\"?>\n<profile>\n\t<solution>"));
    QVERIFY(saved.contains("name=\"Shooter\""));
}

void ProfilePageTest::exportThenImportThroughThePage() {
    RunningClient client(appDir());
    QString error;
    QVERIFY2(client.start(&error), qPrintable(error));
    const QString exported = client.dir().rootPath() + QStringLiteral("/mode one.pfd");

    COMPARE_RECORD(client.ask({{"funcname", "saveXmlAs"},
                               {"srcFilePath", kModes},
                               {"desFilePath", exported},
                               {"xpath", "//modes[@configindex='1']"}}),
                   successRecord("saveXmlAs success"));
    QVERIFY(readFile(exported).startsWith(QByteArray("\x0A\x0B\x0C\x0D", 4)));
    COMPARE_RECORD(client.ask({{"funcname", "modifyReplaceProfileEx"},
                               {"srcFilePath", exported},
                               {"desFilePath", kModes},
                               {"srcXpath", ""},
                               {"desXpath", "//modes[@configindex='2']"}}),
                   successRecord("modifyReplaceProfile success"));
    const auto children = [&client](const char* index) {
        return client
            .ask({{"funcname", "queryProfile"},
                  {"filePath", kModes},
                  {"xpath", QStringLiteral("//modes[@configindex='%1']/node()").arg(index)}})
            .value("text")
            .toString();
    };
    QVERIFY(!children("1").isEmpty());
    QCOMPARE(children("2"), children("1"));

    COMPARE_RECORD(client.ask({{"funcname", "modifyReplaceProfileEx"},
                               {"srcFilePath", client.dir().rootPath() + "/missing.pfd"},
                               {"desFilePath", kModes},
                               {"srcXpath", ""},
                               {"desXpath", "//modes[@configindex='2']"}}),
                   failureRecord("modifyReplaceProfile load xml file failed!"));
}

void ProfilePageTest::pendingEditsAreWrittenWhenTheClientEnds_data() {
    QTest::addColumn<bool>("byPage");
    QTest::newRow("the page closes the client") << true;
    QTest::newRow("the system asks the client to end") << false;
}

void ProfilePageTest::pendingEditsAreWrittenWhenTheClientEnds() {
    QFETCH(bool, byPage);
    RunningClient client(appDir());
    QString error;
    QVERIFY2(client.start(&error), qPrintable(error));
    const QString file = client.dir().path() + QLatin1Char('/') + kModes;

    COMPARE_RECORD(client.ask(modifyName(QStringLiteral("Unsaved"))),
                   successRecord("modifyProfile success!"));
    QVERIFY(!readFile(file).contains("Unsaved"));
    if (byPage) {
        client.send({{"funcname", "closeApp"}});
    } else {
        client.stop();
    }
    QCOMPARE(client.waitForExit(15000), 0);
    QVERIFY2(readFile(file).contains("name=\"Unsaved\""), qPrintable(client.output()));
}

ZELK_GUI_TEST_MAIN(ProfilePageTest)
#include "tst_profilepage.moc"
