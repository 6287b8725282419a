#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QSignalSpy>
#include <QWebEngineHistory>
#include <QWidget>
#include <QtTest>
#include <memory>
#include <thread>

#include "BrowserFixture.h"
#include "PageMacros.h"
#include "PageServer.h"
#include "TestEnvironment.h"
#include "browser/ClientHandler.h"
#include "browser/QueryBridge.h"
#include "browser/ZelkPage.h"
#include "browser/ZelkWebView.h"

// Runs the expression in the main page; fails the test when it throws or the call fails.
namespace {

QJsonValue parseJson(const char* text) {
    return QJsonDocument::fromJson(QByteArray("[") + text + "]").array().first();
}

QString compact(const QJsonValue& value) {
    return QString::fromUtf8(QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact));
}

const QString kMinimise = QStringLiteral(R"({"funcname":"minisizeWindow"})");
const QRect kHomeGeometry(100, 100, 800, 600);

}  // namespace

// The page bridge end to end: the real engine runs the fixture pages, the page's queries travel
// to a stand-in dispatcher and back, native events reach the page's callbacks, and the page's
// window commands act on the hosting window.
class PageBridgeTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();

    // queries
    void queryAnswerReachesItsCallback_data();
    void queryAnswerReachesItsCallback();
    void queryAnsweredFromAnotherThread();
    void persistentQueryReceivesSeveralAnswers();
    void plainQueryIsAnsweredOnce();
    void cancelledQueryNeverGetsItsLateAnswer();
    void queriesPendingAtNavigationAreDropped();

    // window commands
    void moveWindowMovesAndSizesTheWindow_data();
    void moveWindowMovesAndSizesTheWindow();
    void malformedMoveWindowIsIgnored_data();
    void malformedMoveWindowIsIgnored();
    void minimiseTogglesAfterTheHook();
    void nearMissesOfMinimiseGoToTheListener_data();
    void nearMissesOfMinimiseGoToTheListener();

    // iframes
    void framesHaveTheBridge_data();
    void framesHaveTheBridge();
    void frameQueryCanBeCancelled_data();
    void frameQueryCanBeCancelled();
    void frameQueriesAreDroppedWhenTheFrameGoes_data();
    void frameQueriesAreDroppedWhenTheFrameGoes();
    void frameRegistrationFirstWins_data();
    void frameRegistrationFirstWins();
    void topRegistrationFirstWins_data();
    void topRegistrationFirstWins();
    void registrationDiesWithItsFrame_data();
    void registrationDiesWithItsFrame();

    // setMessageCallback registry
    void firstRegistrationWins();
    void reloadAllowsANewRegistration();
    void malformedRegistrationDoesNothing_data();
    void malformedRegistrationDoesNothing();
    void throwingCallbackDoesNotStopLaterEvents();
    void eventsReachOnlyTheMainBrowser();

    // events
    void eventArgumentsKeepTheirTypes_data();
    void eventArgumentsKeepTheirTypes();
    void eventsFromWorkerThreadsArriveInOrder();
    void navStateFollowsHistory();

private:
    bool restoreHomeGeometry();
    bool addFrames();
    QString frameUrl(const QString& kind, const QString& name) const;

    std::unique_ptr<BrowserFixture> m_browser;
    std::unique_ptr<PageServer> m_server;
    int m_hookCalls = 0;
    QList<Qt::WindowStates> m_statesAtHook;
};

void PageBridgeTest::initTestCase() {
    QVERIFY2(TestEnvironment::devtoolsPort() > 0, "no DevTools port");
    m_server = std::make_unique<PageServer>(BrowserFixture::pagesFolder());
    QVERIFY(m_server->listen());

    m_browser = std::make_unique<BrowserFixture>(QStringList{QStringLiteral("tst_pagebridge")});
    // Before any browser exists events have nowhere to go and are dropped quietly.
    globalClientHandler->sendDevicesChanged(1);
    std::thread([] { globalClientHandler->sendDeviceData(QStringLiteral("00")); }).join();
    QCoreApplication::processEvents();
    QVERIFY(!mainBrowser());

    globalClientHandler->setBeforeMinimise([this] {
        ++m_hookCalls;
        m_statesAtHook.append(m_browser->window()->windowState());
    });
    QVERIFY2(m_browser->start(BrowserFixture::pageUrl("page.html", "first")),
             qPrintable(m_browser->error()));
    QCOMPARE(mainBrowser(), m_browser->page());
}

void PageBridgeTest::cleanupTestCase() {
    m_browser.reset();
    m_server.reset();
}

void PageBridgeTest::init() {
    QVERIFY2(restoreHomeGeometry(), "the window did not return to its place");
    QVERIFY2(m_browser->open("page.html"), qPrintable(m_browser->error()));
    m_browser->queries().clear();
    m_hookCalls = 0;
    m_statesAtHook.clear();
}

bool PageBridgeTest::restoreHomeGeometry() {
    QWidget* window = m_browser->window();
    if (window->windowState() != Qt::WindowNoState) {
        window->setWindowState(Qt::WindowNoState);
        window->show();
    }
    window->setGeometry(kHomeGeometry);
    return QTest::qWaitFor([window] {
        return window->geometry() == kHomeGeometry && window->isVisible() &&
               window->windowHandle()->geometry() == kHomeGeometry;
    });
}

QString PageBridgeTest::frameUrl(const QString& kind, const QString& name) const {
    const QString query = QStringLiteral("name=") + name;
    return kind == QLatin1String("cross")
               ? m_server->url(QStringLiteral("frame.html?") + query).toString()
               : BrowserFixture::pageUrl("frame.html", query).toString(QUrl::FullyEncoded);
}

// A file:// frame from the page's own folder ("same") and one served over HTTP ("cross").
bool PageBridgeTest::addFrames() {
    m_browser->evaluate(QStringLiteral("T.addFrame('same', %1); T.addFrame('cross', %2)")
                            .arg(js(frameUrl("same", "same")), js(frameUrl("cross", "cross"))));
    return m_browser->error().isEmpty() &&
           m_browser->waitFor(QStringLiteral("T.reports('same', 'ready').length === 1 && "
                                             "T.reports('cross', 'ready').length === 1"));
}

// --- queries ---------------------------------------------------------------------------------

void PageBridgeTest::queryAnswerReachesItsCallback_data() {
    QTest::addColumn<QString>("request");
    QTest::addColumn<QString>("expectedRecord");  // {success: [...], failure: [[code, text]...]}

    QTest::newRow("success") << "echo hello"
                             << R"({"success":["echo:echo hello"],"failure":[]})";
    QTest::newRow("success text kept exactly")
        << "echo Grüße ✓ \"quoted\" \\ back\nslash\t{json}"
        << R"({"success":["echo:echo Grüße ✓ \"quoted\" \\ back\nslash\t{json}"],"failure":[]})";
    QTest::newRow("failure") << "fail"
                             << R"({"success":[],"failure":[[0,"nope"]]})";
    QTest::newRow("failure with negative code") << "fail:-5:bad thing"
                                                << R"({"success":[],"failure":[[-5,"bad thing"]]})";
    QTest::newRow("failure with empty message") << "fail:404:"
                                                << R"({"success":[],"failure":[[404,""]]})";
    QTest::newRow("failure message with colons") << "fail:7:a: b: c"
                                                 << R"({"success":[],"failure":[[7,"a: b: c"]]})";
}

void PageBridgeTest::queryAnswerReachesItsCallback() {
    QFETCH(QString, request);
    QFETCH(QString, expectedRecord);

    EVAL(id, QStringLiteral("T.query(%1)").arg(js(request)));
    QVERIFY(id.isDouble());
    const QString record = QStringLiteral("T.queries[%1]").arg(id.toInt());
    WAIT_FOR(record + ".success.length + " + record + ".failure.length > 0");
    SYNC();  // a second answer would have arrived by now
    EVAL(actual, record);
    QCOMPARE(actual, QJsonValue(QJsonDocument::fromJson(expectedRecord.toUtf8()).object()));
    QCOMPARE(m_browser->queries().count(request), 1);
}

void PageBridgeTest::queryAnsweredFromAnotherThread() {
    EVAL(id, "T.query('hold thread')");
    QTRY_VERIFY(m_browser->queries().held("hold thread"));
    const QueryCallbackPtr callback = m_browser->queries().held("hold thread");
    std::thread([callback] { callback->Success(QStringLiteral("from a worker")); }).join();
    WAIT_FOR(QStringLiteral("T.queries[%1].success[0] === 'from a worker'").arg(id.toInt()));
    QVERIFY(!callback->isActive());
}

void PageBridgeTest::persistentQueryReceivesSeveralAnswers() {
    EVAL(id, "T.query('hold persistent', true)");
    const QString record = QStringLiteral("T.queries[%1]").arg(id.toInt());
    QTRY_VERIFY(m_browser->queries().held("hold persistent"));
    const QueryCallbackPtr callback = m_browser->queries().held("hold persistent");
    QVERIFY(callback->isPersistent());

    callback->Success("one");
    callback->Success("two");
    callback->Success("three");
    WAIT_FOR(record + ".success.length === 3");
    QVERIFY(callback->isActive());

    // A failure ends it: nothing after it arrives.
    callback->Failure(7, "end");
    callback->Success("after the end");
    callback->Failure(8, "again");
    QVERIFY(!callback->isActive());
    SYNC();
    EVAL(actual, record);
    QCOMPARE(actual, parseJson(R"({"success":["one","two","three"],"failure":[[7,"end"]]})"));
    QCOMPARE(m_browser->page()->bridge()->pendingCount(), 0);
}

void PageBridgeTest::plainQueryIsAnsweredOnce() {
    EVAL(id, "T.query('hold plain')");
    QTRY_VERIFY(m_browser->queries().held("hold plain"));
    const QueryCallbackPtr callback = m_browser->queries().held("hold plain");
    QVERIFY(!callback->isPersistent());
    callback->Success("first");
    callback->Success("second");
    callback->Failure(3, "third");
    SYNC();
    EVAL(actual, QStringLiteral("T.queries[%1]").arg(id.toInt()));
    QCOMPARE(actual, parseJson(R"({"success":["first"],"failure":[]})"));
    QCOMPARE(m_browser->page()->bridge()->pendingCount(), 0);
}

void PageBridgeTest::cancelledQueryNeverGetsItsLateAnswer() {
    EVAL(id, "T.query('hold cancel', true)");
    QTRY_VERIFY(m_browser->queries().held("hold cancel"));
    const QueryCallbackPtr callback = m_browser->queries().held("hold cancel");
    QCOMPARE(m_browser->page()->bridge()->pendingCount(), 1);

    RUN(QStringLiteral("cefQueryCancel(%1)").arg(id.toInt()));
    QTRY_VERIFY(!callback->isActive());  // native code has seen the cancel
    QCOMPARE(m_browser->page()->bridge()->pendingCount(), 0);
    callback->Success("late");
    callback->Failure(3, "late failure");
    SYNC();
    EVAL(actual, QStringLiteral("T.queries[%1]").arg(id.toInt()));
    QCOMPARE(actual, parseJson(R"({"success":[],"failure":[]})"));
    // Cancelling an unknown or finished query is harmless.
    RUN(QStringLiteral("cefQueryCancel(%1); cefQueryCancel(12345)").arg(id.toInt()));
    SYNC();
}

void PageBridgeTest::queriesPendingAtNavigationAreDropped() {
    EVAL(oldId, "T.query('hold old page')");
    QTRY_VERIFY(m_browser->queries().held("hold old page"));
    const QueryCallbackPtr oldCallback = m_browser->queries().held("hold old page");

    QVERIFY2(m_browser->open("page.html"), qPrintable(m_browser->error()));
    QVERIFY(!oldCallback->isActive());

    // The new document numbers its queries from the start again: the old answer must not be
    // taken for the new query with the same id.
    EVAL(newId, "T.query('hold new page')");
    QCOMPARE(newId, oldId);
    QTRY_VERIFY(m_browser->queries().held("hold new page"));
    const QueryCallbackPtr newCallback = m_browser->queries().held("hold new page");
    oldCallback->Success("late answer for the old page");
    oldCallback->Failure(1, "late failure for the old page");
    SYNC();
    EVAL(record, QStringLiteral("T.queries[%1]").arg(newId.toInt()));
    QCOMPARE(record, parseJson(R"({"success":[],"failure":[]})"));

    newCallback->Success("fresh");
    WAIT_FOR(QStringLiteral("T.queries[%1].success[0] === 'fresh'").arg(newId.toInt()));
}

// --- window commands -------------------------------------------------------------------------

void PageBridgeTest::moveWindowMovesAndSizesTheWindow_data() {
    QTest::addColumn<QString>("request");
    QTest::addColumn<Qt::WindowState>("startState");
    QTest::addColumn<QRect>("expected");

    const QPoint home = kHomeGeometry.topLeft();
    QTest::newRow("commas") << "moveWindow 10,20,300,400" << Qt::WindowNoState
                            << QRect(home + QPoint(10, 20), QSize(300, 400));
    QTest::newRow("blanks and signs") << "moveWindow -15 +25 420 330" << Qt::WindowNoState
                                      << QRect(home + QPoint(-15, 25), QSize(420, 330));
    QTest::newRow("other separator, trailing text")
        << "moveWindow:5,-5,500,350 px" << Qt::WindowNoState
        << QRect(home + QPoint(5, -5), QSize(500, 350));
    // A maximised or minimised window is restored at its top-left corner with the new size.
    QTest::newRow("maximised") << "moveWindow 10,20,300,400" << Qt::WindowMaximized
                               << QRect(home, QSize(300, 400));
    QTest::newRow("minimised") << "moveWindow 10,20,300,400" << Qt::WindowMinimized
                               << QRect(home, QSize(300, 400));
}

void PageBridgeTest::moveWindowMovesAndSizesTheWindow() {
    QFETCH(QString, request);
    QFETCH(Qt::WindowState, startState);
    QFETCH(QRect, expected);

    QWidget* window = m_browser->window();
    if (startState != Qt::WindowNoState) {
        window->setWindowState(startState);
        QTRY_COMPARE(window->windowState(), Qt::WindowStates(startState));
    }
    EVAL(id, QStringLiteral("T.query(%1)").arg(js(request)));
    WAIT_FOR(QStringLiteral("T.queries[%1].success.length === 1").arg(id.toInt()));
    EVAL(record, QStringLiteral("T.queries[%1]").arg(id.toInt()));
    QCOMPARE(record, parseJson(R"({"success":[""],"failure":[]})"));

    QCOMPARE(window->windowState(), Qt::WindowStates(Qt::WindowNoState));
    QTRY_COMPARE(window->frameGeometry(), expected);
    QTRY_COMPARE(window->windowHandle()->geometry(), expected);
    QVERIFY(window->isVisible());
    // Window commands never reach the dispatcher.
    QVERIFY(!m_browser->queries().requests().contains(request));
}

void PageBridgeTest::malformedMoveWindowIsIgnored_data() {
    QTest::addColumn<QString>("request");
    QTest::newRow("three numbers") << "moveWindow 10,20,300";
    QTest::newRow("five numbers") << "moveWindow 10,20,300,400,500";
    QTest::newRow("letter among them") << "moveWindow 10,2x,300,400";
    QTest::newRow("name only") << "moveWindow";
}

void PageBridgeTest::malformedMoveWindowIsIgnored() {
    QFETCH(QString, request);
    QWidget* window = m_browser->window();
    EVAL(id, QStringLiteral("T.query(%1)").arg(js(request)));
    SYNC();
    EVAL(record, QStringLiteral("T.queries[%1]").arg(id.toInt()));
    QCOMPARE(record, parseJson(R"({"success":[],"failure":[]})"));
    QCOMPARE(window->frameGeometry(), kHomeGeometry);
    QCOMPARE(window->windowHandle()->geometry(), kHomeGeometry);
    QVERIFY(!m_browser->queries().requests().contains(request));
}

void PageBridgeTest::minimiseTogglesAfterTheHook() {
    QWidget* window = m_browser->window();
    EVAL(first, QStringLiteral("T.query(%1)").arg(js(kMinimise)));
    WAIT_FOR(QStringLiteral("T.queries[%1].success.length === 1").arg(first.toInt()));
    EVAL(firstRecord, QStringLiteral("T.queries[%1]").arg(first.toInt()));
    QCOMPARE(firstRecord, parseJson(R"({"success":[""],"failure":[]})"));
    QVERIFY(window->windowState() & Qt::WindowMinimized);
    QCOMPARE(m_hookCalls, 1);
    QCOMPARE(m_statesAtHook.at(0), Qt::WindowStates(Qt::WindowNoState));  // hook ran first

    EVAL(second, QStringLiteral("T.query(%1)").arg(js(kMinimise)));
    WAIT_FOR(QStringLiteral("T.queries[%1].success.length === 1").arg(second.toInt()));
    EVAL(secondRecord, QStringLiteral("T.queries[%1]").arg(second.toInt()));
    QCOMPARE(secondRecord, parseJson(R"({"success":[""],"failure":[]})"));
    QVERIFY(!(window->windowState() & Qt::WindowMinimized));
    QVERIFY(window->isVisible());
    QCOMPARE(m_hookCalls, 2);
    QVERIFY(m_statesAtHook.at(1) & Qt::WindowMinimized);
    QVERIFY(!m_browser->queries().requests().contains(kMinimise));
}

void PageBridgeTest::nearMissesOfMinimiseGoToTheListener_data() {
    QTest::addColumn<QString>("request");
    QTest::newRow("space after the colon") << R"({"funcname": "minisizeWindow"})";
    QTest::newRow("leading blank") << R"( {"funcname":"minisizeWindow"})";
    QTest::newRow("trailing newline") << "{\"funcname\":\"minisizeWindow\"}\n";
    QTest::newRow("another member") << R"({"funcname":"minisizeWindow","x":1})";
}

void PageBridgeTest::nearMissesOfMinimiseGoToTheListener() {
    QFETCH(QString, request);
    EVAL(id, QStringLiteral("T.query(%1)").arg(js(request)));
    QTRY_COMPARE(m_browser->queries().count(request), 1);
    QVERIFY(m_browser->queries().held(request));
    QCOMPARE(m_hookCalls, 0);
    QCOMPARE(m_browser->window()->windowState(), Qt::WindowStates(Qt::WindowNoState));
    SYNC();
    EVAL(record, QStringLiteral("T.queries[%1]").arg(id.toInt()));
    QCOMPARE(record, parseJson(R"({"success":[],"failure":[]})"));
}

// --- iframes ---------------------------------------------------------------------------------

void PageBridgeTest::framesHaveTheBridge_data() {
    QTest::addColumn<QString>("frame");
    QTest::newRow("same origin") << "same";
    QTest::newRow("cross origin") << "cross";
}

void PageBridgeTest::framesHaveTheBridge() {
    QFETCH(QString, frame);
    QVERIFY2(addFrames(), qPrintable(m_browser->error()));
    EVAL(api, QStringLiteral("T.reports(%1, 'ready')[0].api").arg(js(frame)));
    QCOMPARE(api, parseJson(R"(["function","function","function"])"));

    const QString echo = QStringLiteral("echo from ") + frame;
    const QString failure = QStringLiteral("fail:-9:failure in ") + frame;
    RUN(QStringLiteral("T.tell(%1, {op: 'query', request: %2, tag: 'ok'});"
                       "T.tell(%1, {op: 'query', request: %3, tag: 'bad'})")
            .arg(js(frame), js(echo), js(failure)));
    WAIT_FOR(QStringLiteral("T.reports(%1, 'success', 'ok').length === 1 && "
                            "T.reports(%1, 'failure', 'bad').length === 1")
                 .arg(js(frame)));
    SYNC();
    EVAL(success, QStringLiteral("T.reports(%1, 'success', 'ok')[0].text").arg(js(frame)));
    QCOMPARE(success.toString(), QStringLiteral("echo:") + echo);
    EVAL(failed, QStringLiteral("(r => [r.code, r.text])(T.reports(%1, 'failure', 'bad')[0])")
                     .arg(js(frame)));
    QCOMPARE(failed, QJsonValue(QJsonArray{-9, QStringLiteral("failure in ") + frame}));
    // Each answer reached only the frame that asked, once.
    EVAL(answers, "T.frames.filter(m => m.kind === 'success' || m.kind === 'failure').length");
    QCOMPARE(answers.toInt(), 2);
}

void PageBridgeTest::frameQueryCanBeCancelled_data() {
    framesHaveTheBridge_data();
}

void PageBridgeTest::frameQueryCanBeCancelled() {
    QFETCH(QString, frame);
    QVERIFY2(addFrames(), qPrintable(m_browser->error()));
    const QString request = QStringLiteral("hold cancel in ") + frame;
    RUN(QStringLiteral("T.tell(%1, {op: 'query', request: %2, tag: 'held', persistent: true})")
            .arg(js(frame), js(request)));
    QTRY_VERIFY(m_browser->queries().held(request));
    const QueryCallbackPtr callback = m_browser->queries().held(request);
    callback->Success("before cancel");
    WAIT_FOR(QStringLiteral("T.reports(%1, 'success', 'held').length === 1").arg(js(frame)));

    RUN(QStringLiteral("T.tell(%1, {op: 'cancel', tag: 'held'})").arg(js(frame)));
    QTRY_VERIFY(!callback->isActive());
    callback->Success("after cancel");
    RUN(QStringLiteral("T.tell(%1, {op: 'query', request: 'echo after', tag: 'after'})")
            .arg(js(frame)));
    WAIT_FOR(QStringLiteral("T.reports(%1, 'success', 'after').length === 1").arg(js(frame)));
    EVAL(held, QStringLiteral("T.reports(%1, 'success', 'held').map(r => r.text)").arg(js(frame)));
    QCOMPARE(held, parseJson(R"(["before cancel"])"));
}

void PageBridgeTest::frameQueriesAreDroppedWhenTheFrameGoes_data() {
    QTest::addColumn<QString>("frame");
    QTest::addColumn<bool>("remove");  // else navigate
    QTest::newRow("same origin removed") << "same" << true;
    QTest::newRow("same origin navigated") << "same" << false;
    QTest::newRow("cross origin removed") << "cross" << true;
    QTest::newRow("cross origin navigated") << "cross" << false;
}

void PageBridgeTest::frameQueriesAreDroppedWhenTheFrameGoes() {
    QFETCH(QString, frame);
    QFETCH(bool, remove);
    QVERIFY2(addFrames(), qPrintable(m_browser->error()));
    const QString request = QStringLiteral("hold in ") + frame;
    RUN(QStringLiteral("T.tell(%1, {op: 'query', request: %2, tag: 'held'})")
            .arg(js(frame), js(request)));
    QTRY_VERIFY(m_browser->queries().held(request));
    const QueryCallbackPtr callback = m_browser->queries().held(request);
    QVERIFY(callback->isActive());

    const QString next = frame + QStringLiteral("2");
    if (remove) {
        RUN(QStringLiteral("T.removeFrame(%1)").arg(js(frame)));
        // A removed cross-origin frame unloads in its own process, in no order with the tests'
        // own messages; this is meant to take a few milliseconds.
        QTRY_VERIFY_WITH_TIMEOUT(!callback->isActive(), 2000);
    } else {
        RUN(QStringLiteral("T.tell(%1, {op: 'navigate', url: %2})")
                .arg(js(frame), js(frameUrl(frame, next))));
        // The old document's goodbye reaches the top before the new one's first report, and
        // the top passes it on to native code before the sync query.
        WAIT_FOR(QStringLiteral("T.reports(%1, 'ready').length === 1").arg(js(next)));
        SYNC();
        QVERIFY(!callback->isActive());
    }
    QCOMPARE(m_browser->page()->bridge()->pendingCount(), 0);
    callback->Success("too late");  // has no effect and does not throw
    SYNC();
    EVAL(answers, "T.frames.filter(m => m.kind === 'success').length");
    QCOMPARE(answers.toInt(), 0);
}

void PageBridgeTest::frameRegistrationFirstWins_data() {
    framesHaveTheBridge_data();
}

void PageBridgeTest::frameRegistrationFirstWins() {
    QFETCH(QString, frame);
    QVERIFY2(addFrames(), qPrintable(m_browser->error()));
    RUN(QStringLiteral("T.tell(%1, {op: 'register', name: 'devicesChanged', tag: 'frame'})")
            .arg(js(frame)));
    WAIT_FOR(QStringLiteral("T.reports(%1, 'registered', 'frame').length === 1").arg(js(frame)));
    EVAL(returned,
         QStringLiteral("T.reports(%1, 'registered', 'frame')[0].returned").arg(js(frame)));
    QCOMPARE(returned.toString(), QStringLiteral("undefined"));

    // Registered later in the top frame and in the other frame: both ignored.
    const QString other = frame == QLatin1String("same") ? "cross" : "same";
    RUN(QStringLiteral("T.listen('devicesChanged', 'top');"
                       "T.tell(%1, {op: 'register', name: 'devicesChanged', tag: 'other'})")
            .arg(js(other)));
    WAIT_FOR(QStringLiteral("T.reports(%1, 'registered', 'other').length === 1").arg(js(other)));

    globalClientHandler->sendDevicesChanged(11);
    globalClientHandler->sendDevicesChanged(12);
    WAIT_FOR(QStringLiteral("T.reports(%1, 'event', 'frame').length === 2").arg(js(frame)));
    EVAL(args, QStringLiteral("T.reports(%1, 'event', 'frame').map(r => r.args)").arg(js(frame)));
    QCOMPARE(args, parseJson("[[11],[12]]"));
    // A callback of the top frame would have run before the events were passed on. The top
    // passes messages on to the other frame in order, so an event wrongly passed to it arrives
    // before the answer to a query it makes now.
    RUN(QStringLiteral("T.tell(%1, {op: 'query', request: 'echo other', tag: 'sync'})")
            .arg(js(other)));
    WAIT_FOR(QStringLiteral("T.reports(%1, 'success', 'sync').length === 1").arg(js(other)));
    EVAL(topEvents, "T.log.length");
    QCOMPARE(topEvents.toInt(), 0);
    EVAL(otherEvents, QStringLiteral("T.reports(%1, 'event').length").arg(js(other)));
    QCOMPARE(otherEvents.toInt(), 0);
}

void PageBridgeTest::topRegistrationFirstWins_data() {
    framesHaveTheBridge_data();
}

void PageBridgeTest::topRegistrationFirstWins() {
    QFETCH(QString, frame);
    QVERIFY2(addFrames(), qPrintable(m_browser->error()));
    EVAL(returned, "String(T.listen('onDeviceData', 'top'))");
    QCOMPARE(returned.toString(), QStringLiteral("undefined"));
    RUN(QStringLiteral("T.tell(%1, {op: 'register', name: 'onDeviceData', tag: 'late'});"
                       "T.tell(%1, {op: 'register', name: 'devicesChanged', tag: 'marker'})")
            .arg(js(frame)));
    WAIT_FOR(QStringLiteral("T.reports(%1, 'registered', 'marker').length === 1").arg(js(frame)));

    globalClientHandler->sendDeviceData(QStringLiteral("00112233445566ff"));
    globalClientHandler->sendDevicesChanged(3);
    WAIT_FOR("T.events('onDeviceData').length === 1");
    // Events are passed on to a frame in order: once the marker is there, a wrongly
    // delivered onDeviceData would be too.
    WAIT_FOR(QStringLiteral("T.reports(%1, 'event', 'marker').length === 1").arg(js(frame)));
    EVAL(topArgs, "T.events('onDeviceData')[0].args");
    QCOMPARE(topArgs, parseJson(R"(["00112233445566ff"])"));
    EVAL(late, QStringLiteral("T.reports(%1, 'event', 'late').length").arg(js(frame)));
    QCOMPARE(late.toInt(), 0);
}

void PageBridgeTest::registrationDiesWithItsFrame_data() {
    QTest::addColumn<QString>("frame");
    QTest::addColumn<bool>("remove");           // else navigate
    QTest::addColumn<bool>("topTriedEarlier");  // the top registered while the frame held it
    QTest::addColumn<bool>("frameRegistersAgain");

    QTest::newRow("same origin removed") << "same" << true << false << false;
    QTest::newRow("same origin removed, top tried earlier") << "same" << true << true << false;
    QTest::newRow("same origin navigated") << "same" << false << false << false;
    QTest::newRow("same origin navigated, top tried earlier") << "same" << false << true << false;
    QTest::newRow("same origin navigated, new document registers")
        << "same" << false << false << true;
    QTest::newRow("cross origin removed") << "cross" << true << false << false;
    QTest::newRow("cross origin removed, top tried earlier") << "cross" << true << true << false;
    QTest::newRow("cross origin navigated") << "cross" << false << false << false;
    QTest::newRow("cross origin navigated, top tried earlier") << "cross" << false << true << false;
    QTest::newRow("cross origin navigated, new document registers")
        << "cross" << false << false << true;
}

void PageBridgeTest::registrationDiesWithItsFrame() {
    QFETCH(QString, frame);
    QFETCH(bool, remove);
    QFETCH(bool, topTriedEarlier);
    QFETCH(bool, frameRegistersAgain);

    QVERIFY2(addFrames(), qPrintable(m_browser->error()));
    // Events for this callback follow the ones under test and tell that those have been handled.
    RUN("T.listen('macroItem', 'marker')");
    RUN(QStringLiteral("T.tell(%1, {op: 'register', name: 'devicesChanged', tag: 'old'})")
            .arg(js(frame)));
    WAIT_FOR(QStringLiteral("T.reports(%1, 'registered', 'old').length === 1").arg(js(frame)));
    if (topTriedEarlier)
        RUN("T.listen('devicesChanged', 'ignored')");
    globalClientHandler->sendDevicesChanged(1);
    WAIT_FOR(QStringLiteral("T.reports(%1, 'event', 'old').length === 1").arg(js(frame)));

    const QString next = frame + QStringLiteral("2");
    if (remove) {
        RUN(QStringLiteral("T.removeFrame(%1)").arg(js(frame)));
    } else {
        RUN(QStringLiteral("T.tell(%1, {op: 'navigate', url: %2})")
                .arg(js(frame), js(frameUrl(frame, next))));
        WAIT_FOR(QStringLiteral("T.reports(%1, 'ready').length === 1").arg(js(next)));
    }

    if (frameRegistersAgain) {
        RUN(QStringLiteral("T.tell(%1, {op: 'register', name: 'devicesChanged', tag: 'new'})")
                .arg(js(frame)));
        RUN(QStringLiteral("T.tell(%1, {op: 'register', name: 'onDeviceData', tag: 'marker'})")
                .arg(js(frame)));
        WAIT_FOR(
            QStringLiteral("T.reports(%1, 'registered', 'marker').length === 1").arg(js(next)));
        globalClientHandler->sendDevicesChanged(2);
        globalClientHandler->sendDeviceData("00");
        WAIT_FOR(QStringLiteral("T.reports(%1, 'event', 'marker').length === 1").arg(js(next)));
        EVAL(args, QStringLiteral("T.reports(%1, 'event', 'new').map(r => r.args)").arg(js(next)));
        QCOMPARE(args, parseJson("[[2]]"));
        return;
    }

    // The registration made now in the top frame is the one that counts.
    RUN("T.listen('devicesChanged', 'after')");
    globalClientHandler->sendDevicesChanged(2);
    globalClientHandler->sendMacroItem("", "", "", "");
    WAIT_FOR("T.events('macroItem').length === 1");
    EVAL(received, "T.events('devicesChanged')");
    QCOMPARE(compact(received),
             compact(parseJson(R"([{"name":"devicesChanged","tag":"after","args":[2]}])")));
    EVAL(oldEvents, QStringLiteral("T.frames.filter(m => m.kind === 'event').length"));
    QCOMPARE(oldEvents.toInt(), 1);
}

// --- setMessageCallback registry -------------------------------------------------------------

void PageBridgeTest::firstRegistrationWins() {
    EVAL(returned,
         "[T.listen('devicesChanged', 'first'), T.listen('devicesChanged', 'second')]"
         ".map(String)");
    QCOMPARE(returned, parseJson(R"(["undefined","undefined"])"));
    globalClientHandler->sendDevicesChanged(2);
    globalClientHandler->sendDevicesChanged(3);
    WAIT_FOR("T.log.length === 2");
    SYNC();
    EVAL(log, "T.log");
    QCOMPARE(compact(log),
             compact(parseJson(R"([{"name":"devicesChanged","tag":"first","args":[2]},)"
                               R"({"name":"devicesChanged","tag":"first","args":[3]}])")));
}

void PageBridgeTest::reloadAllowsANewRegistration() {
    RUN("T.listen('devicesChanged', 'before reload'); window.beforeReload = true");
    globalClientHandler->sendDevicesChanged(1);
    WAIT_FOR("T.log.length === 1");

    m_browser->view()->reload();
    WAIT_FOR("!window.beforeReload && document.readyState === 'complete' && !!window.T");
    QVERIFY2(m_browser->settle(), qPrintable(m_browser->error()));
    EVAL(api, "typeof window.setMessageCallback");
    QCOMPARE(api.toString(), QStringLiteral("function"));
    RUN("T.listen('devicesChanged', 'after reload')");
    globalClientHandler->sendDevicesChanged(4);
    WAIT_FOR("T.log.length === 1");
    EVAL(tag, "T.log[0].tag + ' ' + JSON.stringify(T.log[0].args)");
    QCOMPARE(tag.toString(), QStringLiteral("after reload [4]"));
}

void PageBridgeTest::malformedRegistrationDoesNothing_data() {
    QTest::addColumn<QString>("call");
    const QString fn = QStringLiteral("args => T.log.push({tag: 'malformed', args: args})");
    QTest::newRow("no arguments") << QStringLiteral("setMessageCallback()");
    QTest::newRow("one argument") << QStringLiteral("setMessageCallback('devicesChanged')");
    QTest::newRow("three arguments")
        << QStringLiteral("setMessageCallback('devicesChanged', %1, 'extra')").arg(fn);
    QTest::newRow("three arguments, last undefined")
        << QStringLiteral("setMessageCallback('devicesChanged', %1, undefined)").arg(fn);
    QTest::newRow("number as name") << QStringLiteral("setMessageCallback(5, %1)").arg(fn);
    QTest::newRow("String object as name")
        << QStringLiteral("setMessageCallback(new String('devicesChanged'), %1)").arg(fn);
    QTest::newRow("text as function")
        << QStringLiteral("setMessageCallback('devicesChanged', 'T.log.push(1)')");
    QTest::newRow("null as function")
        << QStringLiteral("setMessageCallback('devicesChanged', null)");
    QTest::newRow("swapped arguments")
        << QStringLiteral("setMessageCallback(%1, 'devicesChanged')").arg(fn);
}

void PageBridgeTest::malformedRegistrationDoesNothing() {
    QFETCH(QString, call);
    EVAL(result, QStringLiteral("(() => { try { const r = %1; return r === undefined ? "
                                "'undefined' : 'returned ' + typeof r; } catch (e) { return "
                                "'threw ' + e; } })()")
                     .arg(call));
    QCOMPARE(result.toString(), QStringLiteral("undefined"));
    // Had the call registered anything, this later registration would be ignored.
    RUN("T.listen('devicesChanged', 'proper')");
    globalClientHandler->sendDevicesChanged(5);
    WAIT_FOR("T.log.length > 0");
    SYNC();
    EVAL(log, "T.log");
    QCOMPARE(compact(log),
             compact(parseJson(R"([{"name":"devicesChanged","tag":"proper","args":[5]}])")));
}

void PageBridgeTest::throwingCallbackDoesNotStopLaterEvents() {
    RUN("setMessageCallback('devicesChanged', args => { T.log.push(args[0]); "
        "throw new Error('callback fails for ' + args[0]); });"
        "setMessageCallback('macroItem', args => { T.log.push(args.join('')); })");
    globalClientHandler->sendDevicesChanged(1);
    globalClientHandler->sendDevicesChanged(2);
    globalClientHandler->sendMacroItem("a", "b", "c", "d");
    globalClientHandler->sendDevicesChanged(3);
    WAIT_FOR("T.log.length === 4");
    EVAL(log, "T.log");
    QCOMPARE(log, parseJson(R"([1, 2, "abcd", 3])"));
    // Queries still work in the page.
    SYNC();
}

void PageBridgeTest::eventsReachOnlyTheMainBrowser() {
    QSignalSpy opened(globalClientHandler, &ClientHandler::popupOpened);
    RUN("T.listen('devicesChanged', 'main')");
    const QUrl popupUrl =
        BrowserFixture::pageUrl("page.html", "role=popup&listen=devicesChanged&listen=macroItem");
    EVAL(openedWindow,
         QStringLiteral("window.open(%1) !== null").arg(js(popupUrl.toString(QUrl::FullyEncoded))));
    QCOMPARE(openedWindow.toBool(), true);
    QTRY_COMPARE(opened.count(), 1);
    QPointer<QWidget> popupWindow = opened.first().first().value<QWidget*>();
    QVERIFY(popupWindow);
    QCOMPARE(globalClientHandler->popupBrowsers().size(), 1);
    ZelkPage* popupPage = globalClientHandler->popupBrowsers().first();
    QVERIFY(popupPage->isPopup());
    QCOMPARE(mainBrowser(), m_browser->page());

    DevToolsClient popup;
    const QString popupHref = popupUrl.toString(QUrl::FullyEncoded);
    QVERIFY2(popup.connectToPage(TestEnvironment::devtoolsPort(),
                                 [&](const QString& url) { return url == popupHref; }),
             qPrintable(popup.lastError()));
    QVERIFY2(popup.waitFor("document.readyState === 'complete' && !!window.T"),
             qPrintable(popup.lastError()));

    globalClientHandler->sendDevicesChanged(21);
    globalClientHandler->sendMacroItem("k", "e", "y", "s");
    WAIT_FOR("T.events('devicesChanged').length === 1");
    // The popup's own query round trip: anything sent to it before would have arrived first.
    QCOMPARE(popup.evaluate("T.ask('echo popup').then(a => a.text)"),
             QJsonValue("echo:echo popup"));
    QCOMPARE(popup.evaluate("T.log.length"), QJsonValue(0));
    SYNC();
    EVAL(mainLog, "T.log");
    QCOMPARE(compact(mainLog),
             compact(parseJson(R"([{"name":"devicesChanged","tag":"main","args":[21]}])")));

    popup.disconnectFromPage();
    popupWindow->close();
    QTRY_VERIFY(!popupWindow);
    QTRY_VERIFY(globalClientHandler->popupBrowsers().isEmpty());
    QCOMPARE(mainBrowser(), m_browser->page());
    SYNC();
}

// --- events ----------------------------------------------------------------------------------

void PageBridgeTest::eventArgumentsKeepTheirTypes_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("sender");
    QTest::addColumn<QString>("expectedArgs");

    QTest::newRow("devicesChanged") << "devicesChanged" << 0 << "[2]";
    QTest::newRow("devicesChanged, 16-bit code") << "devicesChanged" << 1 << "[65535]";
    QTest::newRow("macroItem") << "macroItem" << 2 << R"(["a","b c","Grüße ✓",""])";
    QTest::newRow("currentPropChanged") << "currentPropChanged" << 3 << "[3,1]";
    QTest::newRow("navStateChanged") << "navStateChanged" << 4 << "[true,false]";
    QTest::newRow("navStateChanged, other way") << "navStateChanged" << 5 << "[false,true]";
    QTest::newRow("onDeviceData") << "onDeviceData" << 6 << R"(["0011223344556677"])";
    QTest::newRow("onProcessChanged")
        << "onProcessChanged" << 7 << R"(["/usr/games/some game",true])";
    QTest::newRow("onProcessChanged, stopped") << "onProcessChanged" << 8 << R"(["",false])";
}

void PageBridgeTest::eventArgumentsKeepTheirTypes() {
    QFETCH(QString, name);
    QFETCH(int, sender);
    QFETCH(QString, expectedArgs);

    RUN(QStringLiteral("T.listen(%1)").arg(js(name)));
    ClientHandler* client = globalClientHandler;
    switch (sender) {
        case 0:
            client->sendDevicesChanged(2);
            break;
        case 1:
            client->sendDevicesChanged(0xFFFF);
            break;
        case 2:
            client->sendMacroItem("a", "b c", QStringLiteral("Grüße ✓"), "");
            break;
        case 3:
            client->sendCurrentPropChanged(3, 1);
            break;
        case 4:
            client->sendNavStateChanged(true, false);
            break;
        case 5:
            client->sendNavStateChanged(false, true);
            break;
        case 6:
            client->sendDeviceData("0011223344556677");
            break;
        case 7:
            client->sendProcessChanged("/usr/games/some game", true);
            break;
        case 8:
            client->sendProcessChanged("", false);
            break;
    }
    WAIT_FOR(QStringLiteral("T.events(%1).length === 1").arg(js(name)));
    SYNC();
    EVAL(args, QStringLiteral("T.events(%1).map(e => e.args)").arg(js(name)));
    // By value, so numbers, booleans and strings stay apart.
    QCOMPARE(compact(args), QStringLiteral("[[%1]]").arg(expectedArgs));
    EVAL(isArray, QStringLiteral("Array.isArray(T.events(%1)[0].args)").arg(js(name)));
    QCOMPARE(isArray.toBool(), true);
}

void PageBridgeTest::eventsFromWorkerThreadsArriveInOrder() {
    RUN("T.listen('devicesChanged'); T.listen('onDeviceData'); T.listen('onProcessChanged')");
    const int pairs = 500;
    const int processEvents = 200;
    ClientHandler* client = globalClientHandler;
    std::thread devices([client] {
        for (int i = 0; i < pairs; ++i) {
            client->sendDevicesChanged(i);
            client->sendDeviceData(QStringLiteral("%1").arg(i, 16, 16, QLatin1Char('0')));
        }
    });
    std::thread processes([client] {
        for (int i = 0; i < processEvents; ++i)
            client->sendProcessChanged(QStringLiteral("/bin/p%1").arg(i), i % 2 == 0);
    });
    devices.join();
    processes.join();

    WAIT_FOR(QStringLiteral("T.log.length === %1").arg(2 * pairs + processEvents));
    // Checked in the page: each thread's events in the order raised, with their types.
    EVAL(verdict, QStringLiteral(R"((() => {
        const devices = T.log.filter(e => e.name !== 'onProcessChanged');
        for (let i = 0; i < %1; ++i) {
            const change = devices[2 * i], data = devices[2 * i + 1];
            if (change.name !== 'devicesChanged' || change.args.length !== 1 ||
                typeof change.args[0] !== 'number' || change.args[0] !== i)
                return 'devicesChanged #' + i + ': ' + JSON.stringify(change);
            if (data.name !== 'onDeviceData' || data.args.length !== 1 ||
                data.args[0] !== i.toString(16).padStart(16, '0'))
                return 'onDeviceData #' + i + ': ' + JSON.stringify(data);
        }
        const processes = T.log.filter(e => e.name === 'onProcessChanged');
        for (let i = 0; i < %2; ++i) {
            const p = processes[i];
            if (p.args[0] !== '/bin/p' + i || p.args[1] !== (i % 2 === 0))
                return 'onProcessChanged #' + i + ': ' + JSON.stringify(p);
        }
        return 'ok';
    })())")
                      .arg(pairs)
                      .arg(processEvents));
    QCOMPARE(verdict.toString(), QStringLiteral("ok"));
}

void PageBridgeTest::navStateFollowsHistory() {
    const QString listen = QStringLiteral("listen=navStateChanged");
    const QString hasState = QStringLiteral(
        "T.events('navStateChanged').some(e => e.args.length === 2 && e.args[0] === %1 && "
        "e.args[1] === %2)");

    // A history of one page: nothing to go back or forward to.
    QVERIFY2(m_browser->open("page.html", listen), qPrintable(m_browser->error()));
    EVAL(firstHref, "location.href");
    m_browser->page()->history()->clear();
    m_browser->view()->reload();
    WAIT_FOR("document.readyState === 'complete' && !!window.T && T.log.length > 0");
    WAIT_FOR(hasState.arg("false", "false"));

    // A second page can go back.
    QVERIFY2(m_browser->open("page.html", listen), qPrintable(m_browser->error()));
    WAIT_FOR(hasState.arg("true", "false"));

    // Back on the first, it can go forward.
    RUN("history.back()");
    WAIT_FOR(QStringLiteral("location.href === %1 && document.readyState === 'complete'")
                 .arg(js(firstHref.toString())));
    WAIT_FOR(hasState.arg("false", "true"));
}

ZELK_GUI_TEST_MAIN(PageBridgeTest)
#include "tst_pagebridge.moc"
