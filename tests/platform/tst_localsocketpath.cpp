#include "platform/LocalSocketPath.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTemporaryDir>
#include <QtTest>

class LocalSocketPathTest : public QObject {
    Q_OBJECT

private slots:
    void pathsThatFitAreKept();
    void longPathsGetAShortStableName();
    void aServerListensAndIsReachedAtTheShortName();
};

namespace {
const QString kName = QStringLiteral("Global\\{71CBE35F-A129-4792-AEE6-92AB6864A918}");

QString deepFolder(const QString& root) {
    return root +
           QStringLiteral("/a-rather-long-folder-name/another-long-folder-name/and-one-more");
}
}  // namespace

void LocalSocketPathTest::pathsThatFitAreKept() {
    const QString path = QStringLiteral("/tmp/") + kName;
    QCOMPARE(usableLocalSocketPath(path), path);
}

void LocalSocketPathTest::longPathsGetAShortStableName() {
    const QString first = deepFolder(QStringLiteral("/tmp/x")) + QLatin1Char('/') + kName;
    const QString second = deepFolder(QStringLiteral("/tmp/y")) + QLatin1Char('/') + kName;
    const QString shortFirst = usableLocalSocketPath(first);
    QVERIFY(shortFirst != first);
    QVERIFY(shortFirst.startsWith(QStringLiteral("/tmp/zelk-")));
    QVERIFY(shortFirst.size() < 108);
    QCOMPARE(usableLocalSocketPath(first), shortFirst);
    QVERIFY(usableLocalSocketPath(second) != shortFirst);
}

void LocalSocketPathTest::aServerListensAndIsReachedAtTheShortName() {
    QTemporaryDir root;
    const QString folder = deepFolder(root.path());
    QVERIFY(QDir().mkpath(folder));
    const QString path = usableLocalSocketPath(folder + QLatin1Char('/') + kName);

    QLocalServer server;
    server.setSocketOptions(QLocalServer::UserAccessOption);
    QVERIFY2(server.listen(path), qPrintable(server.errorString()));
    QLocalSocket client;
    client.connectToServer(path);
    QVERIFY(client.waitForConnected(5000));
    QVERIFY(server.waitForNewConnection(5000));
    server.close();
    QVERIFY(!QFile::exists(path));
}

QTEST_GUILESS_MAIN(LocalSocketPathTest)
#include "tst_localsocketpath.moc"
