#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QWebEngineView>
#include <QtTest>
#include <memory>

#include "DevToolsClient.h"
#include "TestEnvironment.h"

namespace {

// The space in the name checks that fileUrl() spells the URL the way the browser reports it.
const char kFixtureName[] = "fixture page.html";
const char kFixtureHtml[] = R"(<!DOCTYPE html>
<html><head><meta charset="utf-8"><title>DevTools fixture</title></head>
<body><p id="greeting">hello</p>
<script>
  window.answer = 42;
  window.pageLoads = (window.pageLoads || 0) + 1;
</script></body></html>
)";

bool startsWithRoot(const QString& path, const QString& root) {
    return path == root || path.startsWith(root + '/');
}

}  // namespace

class DevToolsClientTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void environmentIsIsolated();

    void evaluateReturnsValues_data();
    void evaluateReturnsValues();
    void evaluateReportsFailures_data();
    void evaluateReportsFailures();
    void successClearsLastError();

    void callReportsProtocolErrors_data();
    void callReportsProtocolErrors();
    void callTimesOutAndNextCallStillWorks();

    void waitFor_data();
    void waitFor();

    void collectsRuntimeEvents();
    void connectionSurvivesReload();
    void secondClientCanAttachAndDetach();

    void connectToPageFailsReadably_data();
    void connectToPageFailsReadably();

private:
    QTemporaryDir m_fixtureDir;
    QString m_fixturePath;
    std::unique_ptr<QWebEngineView> m_view;
    DevToolsClient m_client;
};

void DevToolsClientTest::initTestCase() {
    QVERIFY2(TestEnvironment::devtoolsPort() > 0, "no DevTools port was chosen");
    QVERIFY(m_fixtureDir.isValid());
    m_fixturePath = m_fixtureDir.filePath(kFixtureName);
    QFile fixture(m_fixturePath);
    QVERIFY2(fixture.open(QIODevice::WriteOnly), qPrintable(fixture.errorString()));
    QCOMPARE(fixture.write(kFixtureHtml), qint64(sizeof(kFixtureHtml) - 1));
    QVERIFY(fixture.flush());
    fixture.close();

    m_view = std::make_unique<QWebEngineView>();
    m_view->resize(800, 600);
    m_view->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_view.get()));

    QSignalSpy loaded(m_view.get(), &QWebEngineView::loadFinished);
    QElapsedTimer sinceLoad;
    sinceLoad.start();
    m_view->load(QUrl::fromLocalFile(m_fixturePath));

    const QString expectedUrl = fileUrl(m_fixturePath);
    QVERIFY2(m_client.connectToPage(TestEnvironment::devtoolsPort(),
                                    [&](const QString& url) { return url == expectedUrl; }),
             qPrintable(m_client.lastError()));
    qInfo("page target attached %lld ms after load()", sinceLoad.elapsed());

    QVERIFY(loaded.count() > 0 || loaded.wait(15000));
    QCOMPARE(loaded.first().first().toBool(), true);
    QVERIFY2(m_client.waitFor("document.readyState === 'complete'"),
             qPrintable(m_client.lastError()));
}

void DevToolsClientTest::cleanupTestCase() {
    m_client.disconnectFromPage();
    m_view.reset();
}

void DevToolsClientTest::environmentIsIsolated() {
    if (!qEnvironmentVariableIsEmpty("ZELK_TEST_KEEP_ENV"))
        QSKIP("ZELK_TEST_KEEP_ENV keeps the caller's folders");
    const QString root = TestEnvironment::temporaryRoot();
    QVERIFY(!root.isEmpty());
    for (const char* variable : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME",
                                 "XDG_RUNTIME_DIR", "TMPDIR"}) {
        const QString value = qEnvironmentVariable(variable);
        QVERIFY2(
            startsWithRoot(value, root),
            qPrintable(
                QStringLiteral("%1=%2 is outside %3").arg(QLatin1String(variable), value, root)));
        QVERIFY2(QFileInfo(value).isDir(), variable);
    }
    QCOMPARE(QFile::permissions(qEnvironmentVariable("XDG_RUNTIME_DIR")) & 0x0777,
             QFile::ReadUser | QFile::WriteUser | QFile::ExeUser);
    for (auto location : {QStandardPaths::HomeLocation, QStandardPaths::AppDataLocation,
                          QStandardPaths::AppConfigLocation, QStandardPaths::CacheLocation,
                          QStandardPaths::TempLocation, QStandardPaths::RuntimeLocation}) {
        const QString path = QStandardPaths::writableLocation(location);
        QVERIFY2(startsWithRoot(path, root), qPrintable(path));
    }
    QVERIFY(
        qEnvironmentVariable("QTWEBENGINE_CHROMIUM_FLAGS").split(' ').contains("--disable-gpu"));
    QCOMPARE(qEnvironmentVariable("QTWEBENGINE_REMOTE_DEBUGGING"),
             QStringLiteral("127.0.0.1:%1").arg(TestEnvironment::devtoolsPort()));
}

void DevToolsClientTest::evaluateReturnsValues_data() {
    QTest::addColumn<QString>("expression");
    QTest::addColumn<QJsonValue>("expected");

    QTest::newRow("arithmetic") << "1+2" << QJsonValue(3);
    QTest::newRow("awaited promise")
        << "new Promise(r => setTimeout(() => r('late'), 50))" << QJsonValue("late");
    QTest::newRow("page state") << "document.getElementById('greeting').textContent + window.answer"
                                << QJsonValue("hello42");
    QTest::newRow("object by value")
        << "({name: 'pad', keys: [1, 2], nested: {on: true}})"
        << QJsonValue(QJsonObject{
               {"name", "pad"}, {"keys", QJsonArray{1, 2}}, {"nested", QJsonObject{{"on", true}}}});
    QTest::newRow("null") << "null" << QJsonValue(QJsonValue::Null);
    QTest::newRow("undefined") << "undefined" << QJsonValue(QJsonValue::Undefined);
    QTest::newRow("unicode text") << "'Grüße \\u2713'"
                                  << QJsonValue(QStringLiteral("Grüße \u2713"));
}

void DevToolsClientTest::evaluateReturnsValues() {
    QFETCH(QString, expression);
    QFETCH(QJsonValue, expected);
    const QJsonValue value = m_client.evaluate(expression);
    QVERIFY2(m_client.lastError().isEmpty(), qPrintable(m_client.lastError()));
    QCOMPARE(value, expected);
}

void DevToolsClientTest::evaluateReportsFailures_data() {
    QTest::addColumn<QString>("expression");
    QTest::addColumn<QString>("errorMentions");

    QTest::newRow("thrown error") << "(() => { throw new Error('boom-thrown'); })()"
                                  << "boom-thrown";
    QTest::newRow("rejected promise") << "Promise.reject(new Error('boom-rejected'))"
                                      << "boom-rejected";
    QTest::newRow("late rejection")
        << "new Promise((_, no) => setTimeout(() => no(new TypeError('boom-late')), 30))"
        << "TypeError: boom-late";
    QTest::newRow("thrown string") << "(() => { throw 'plain-text'; })()"
                                   << "plain-text";
    QTest::newRow("unknown name") << "notDefinedAnywhere + 1"
                                  << "notDefinedAnywhere";
    QTest::newRow("syntax error") << "1 +"
                                  << "SyntaxError";
}

void DevToolsClientTest::evaluateReportsFailures() {
    QFETCH(QString, expression);
    QFETCH(QString, errorMentions);
    const QJsonValue value = m_client.evaluate(expression);
    QVERIFY(value.isUndefined());
    QVERIFY2(m_client.lastError().contains(errorMentions), qPrintable(m_client.lastError()));
    QVERIFY(m_client.isConnected());
}

void DevToolsClientTest::successClearsLastError() {
    m_client.evaluate("(() => { throw new Error('first'); })()");
    QVERIFY(!m_client.lastError().isEmpty());
    QCOMPARE(m_client.evaluate("'second'"), QJsonValue("second"));
    QVERIFY2(m_client.lastError().isEmpty(), qPrintable(m_client.lastError()));
}

void DevToolsClientTest::callReportsProtocolErrors_data() {
    QTest::addColumn<QString>("method");
    QTest::addColumn<QJsonObject>("params");
    QTest::addColumn<QString>("errorMentions");

    QTest::newRow("unknown method") << "Nothing.here" << QJsonObject() << "Nothing.here";
    QTest::newRow("missing parameter") << "Runtime.evaluate" << QJsonObject() << "expression";
    QTest::newRow("wrong parameter type")
        << "Runtime.evaluate" << QJsonObject{{"expression", 5}} << "Invalid parameters";
}

void DevToolsClientTest::callReportsProtocolErrors() {
    QFETCH(QString, method);
    QFETCH(QJsonObject, params);
    QFETCH(QString, errorMentions);
    const QJsonObject result = m_client.call(method, params);
    QVERIFY(result.contains("error"));
    QVERIFY2(m_client.lastError().contains(errorMentions), qPrintable(m_client.lastError()));
    QVERIFY(m_client.lastError().startsWith(method));
    // The connection stays usable after a rejected command.
    QCOMPARE(m_client.evaluate("6*7"), QJsonValue(42));
}

void DevToolsClientTest::callTimesOutAndNextCallStillWorks() {
    QElapsedTimer elapsed;
    elapsed.start();
    const QJsonValue value = m_client.evaluate("new Promise(() => {})", 200);
    QVERIFY(value.isUndefined());
    QVERIFY2(m_client.lastError().contains("no answer within 200 ms"),
             qPrintable(m_client.lastError()));
    QVERIFY2(elapsed.elapsed() < 5000, "the timeout did not end the wait");

    // A late answer to the abandoned command must not be taken for this one's.
    m_client.evaluate("window.pendingResolve = null; new Promise(r => window.pendingResolve = r)",
                      100);
    QCOMPARE(m_client.evaluate("window.pendingResolve('stale'); 'fresh'"), QJsonValue("fresh"));
    QCOMPARE(m_client.evaluate("'after'"), QJsonValue("after"));
}

void DevToolsClientTest::waitFor_data() {
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("condition");
    QTest::addColumn<int>("timeoutMs");
    QTest::addColumn<bool>("expected");

    QTest::newRow("set by timer")
        << "window.timerFlag = false; setTimeout(() => window.timerFlag = true, 200)"
        << "window.timerFlag === true" << 5000 << true;
    QTest::newRow("throws until the object exists")
        << "delete window.later; setTimeout(() => window.later = {ready: 1}, 150)"
        << "window.later.ready" << 5000 << true;
    QTest::newRow("condition is a promise")
        << "window.asyncFlag = false; setTimeout(() => window.asyncFlag = true, 100)"
        << "new Promise(r => setTimeout(() => r(window.asyncFlag), 10))" << 5000 << true;
    QTest::newRow("trailing line comment")
        << "window.commented = true"
        << "window.commented // set by the setup" << 2000 << true;
    QTest::newRow("never true") << "window.neverFlag = 0"
                                << "window.neverFlag" << 300 << false;
}

void DevToolsClientTest::waitFor() {
    QFETCH(QString, setup);
    QFETCH(QString, condition);
    QFETCH(int, timeoutMs);
    QFETCH(bool, expected);

    m_client.evaluate(setup);
    QVERIFY2(m_client.lastError().isEmpty(), qPrintable(m_client.lastError()));
    QElapsedTimer elapsed;
    elapsed.start();
    const bool satisfied = m_client.waitFor(condition, timeoutMs);
    QVERIFY2(satisfied == expected, qPrintable(m_client.lastError()));
    if (expected) {
        QVERIFY(m_client.lastError().isEmpty());
    } else {
        QVERIFY2(m_client.lastError().contains(condition), qPrintable(m_client.lastError()));
        QVERIFY(elapsed.elapsed() >= timeoutMs);
    }
}

void DevToolsClientTest::collectsRuntimeEvents() {
    m_client.clearEvents();
    m_client.call("Runtime.enable", {});
    QVERIFY2(m_client.lastError().isEmpty(), qPrintable(m_client.lastError()));
    m_client.evaluate("console.log('zelk-console-marker')");
    // Notifications are delivered in order, so this answer arrives after the console event.
    m_client.call("Runtime.disable", {});

    bool sawConsole = false;
    for (const QJsonObject& event : m_client.events()) {
        QVERIFY2(!event.contains("id"), "a command answer was filed as an event");
        if (event.value("method").toString() != "Runtime.consoleAPICalled")
            continue;
        const QJsonArray args = event.value("params").toObject().value("args").toArray();
        sawConsole = sawConsole || args.first().toObject().value("value") == "zelk-console-marker";
    }
    QVERIFY(sawConsole);
    m_client.clearEvents();
    QVERIFY(m_client.events().isEmpty());
}

void DevToolsClientTest::connectionSurvivesReload() {
    QCOMPARE(m_client.evaluate("window.beforeReload = true"), QJsonValue(true));
    const int loadsBefore = m_client.evaluate("window.pageLoads").toInt();
    m_view->reload();
    QVERIFY2(
        m_client.waitFor("window.beforeReload === undefined && document.readyState === 'complete'"),
        qPrintable(m_client.lastError()));
    QCOMPARE(m_client.evaluate("window.pageLoads").toInt(), 1);
    QCOMPARE(loadsBefore, 1);
    QVERIFY(m_client.isConnected());
}

void DevToolsClientTest::secondClientCanAttachAndDetach() {
    DevToolsClient second;
    const QString expectedUrl = fileUrl(m_fixturePath);
    QVERIFY2(second.connectToPage(
                 TestEnvironment::devtoolsPort(),
                 [&](const QString& url) { return url == expectedUrl; }, 5000),
             qPrintable(second.lastError()));
    QCOMPARE(second.evaluate("window.fromSecond = 7"), QJsonValue(7));
    QCOMPARE(m_client.evaluate("window.fromSecond"), QJsonValue(7));

    second.disconnectFromPage();
    QVERIFY(!second.isConnected());
    QVERIFY(second.evaluate("1").isUndefined());
    QVERIFY2(second.lastError().contains("not connected"), qPrintable(second.lastError()));
    QVERIFY(!second.waitFor("true", 200));

    // Detaching one client leaves the other attached.
    QCOMPARE(m_client.evaluate("window.fromSecond + 1"), QJsonValue(8));
}

void DevToolsClientTest::connectToPageFailsReadably_data() {
    QTest::addColumn<bool>("useBrowserPort");
    QTest::addColumn<QString>("errorMentions");

    // The fixture page is listed, so the message can show what was there instead.
    QTest::newRow("no page matches") << true << "fixture%20page.html";
    QTest::newRow("nothing listening") << false << "/json";
}

void DevToolsClientTest::connectToPageFailsReadably() {
    QFETCH(bool, useBrowserPort);
    QFETCH(QString, errorMentions);

    int port = TestEnvironment::devtoolsPort();
    if (!useBrowserPort) {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
        port = probe.serverPort();
    }  // the probe closes here, leaving the port without a listener

    DevToolsClient client;
    QElapsedTimer elapsed;
    elapsed.start();
    QVERIFY(!client.connectToPage(
        port, [](const QString&) { return false; }, 400));
    QVERIFY(elapsed.elapsed() >= 400);
    QVERIFY2(elapsed.elapsed() < 5000, "the timeout did not end the polling");
    QVERIFY(!client.isConnected());
    QVERIFY2(client.lastError().contains(errorMentions), qPrintable(client.lastError()));
    QVERIFY2(client.lastError().contains(QString::number(port)), qPrintable(client.lastError()));
}

ZELK_GUI_TEST_MAIN(DevToolsClientTest)
#include "tst_devtoolsclient.moc"
