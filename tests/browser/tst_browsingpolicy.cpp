#include <QApplication>
#include <QDesktopServices>
#include <QDragEnterEvent>
#include <QJsonArray>
#include <QJsonObject>
#include <QMenu>
#include <QMimeData>
#include <QPointer>
#include <QSignalSpy>
#include <QTcpServer>
#include <QWebEngineLoadingInfo>
#include <QtTest>
#include <memory>

#include <signal.h>

#include "BrowserFixture.h"
#include "PageMacros.h"
#include "PageServer.h"
#include "TestEnvironment.h"
#include "browser/BrowserView.h"
#include "browser/ClientHandler.h"
#include "browser/QueryBridge.h"
#include "browser/ZelkPage.h"
#include "browser/ZelkWebView.h"

namespace {

// Every loadingChanged of a page, in order.
class LoadRecorder : public QObject {
public:
    explicit LoadRecorder(QWebEnginePage* page) {
        connect(page, &QWebEnginePage::loadingChanged, this,
                [this](const QWebEngineLoadingInfo& info) { infos.append(info); });
    }
    QList<QWebEngineLoadingInfo> infos;

    QStringList describe() const {
        QStringList lines;
        for (const QWebEngineLoadingInfo& info : infos)
            lines << QStringLiteral("%1 %2 %3 %4")
                         .arg(int(info.status()))
                         .arg(info.url().toString())
                         .arg(info.errorCode())
                         .arg(info.errorString());
        return lines;
    }
};

QMenu* visibleMenu() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* menu = qobject_cast<QMenu*>(widget); menu && menu->isVisible())
            return menu;
    }
    return nullptr;
}

}  // namespace

// The browsing policy of every page: the program's error page, "spotify:" links handed to the
// desktop, recovery from a renderer crash, no context menu and no link drops.
class BrowsingPolicyTest : public QObject {
    Q_OBJECT

public slots:
    // The desktop's handler for "spotify:" URLs while the tests run.
    void openExternal(const QUrl& url) { m_external.append(url); }

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();

    void failedLoadShowsTheErrorPage_data();
    void failedLoadShowsTheErrorPage();
    void httpErrorStatusShowsTheServersPage();
    void abortedLoadShowsNoErrorPage_data();
    void abortedLoadShowsNoErrorPage();
    void spotifyLinkGoesToTheDesktop();

    void rightClickShowsNoMenu_data();
    void rightClickShowsNoMenu();
    void popupWindowHasThePolicy();
    void acceptsDrag_data();
    void acceptsDrag();
    void dragEnterRefusesLinks_data();
    void dragEnterRefusesLinks();

    // Last: a crash is the end of a renderer process, and everything above runs in a sound one.
    void rendererCrashElsewhereLoadsTheStartAddress();
    void rendererCrashOnTheStartPageDoesNotReload();

private:
    bool click(const QString& elementId, const QString& button = QStringLiteral("left"));

    std::unique_ptr<BrowserFixture> m_browser;
    std::unique_ptr<PageServer> m_server;
    QUrl m_startUrl;
    QList<QUrl> m_external;
    int m_tests = 0;
};

void BrowsingPolicyTest::initTestCase() {
    QVERIFY2(TestEnvironment::devtoolsPort() > 0, "no DevTools port");
    m_server = std::make_unique<PageServer>(BrowserFixture::pagesFolder());
    QVERIFY(m_server->listen());
    m_startUrl = BrowserFixture::pageUrl("start.html");
    m_browser = std::make_unique<BrowserFixture>(QStringList{
        QStringLiteral("tst_browsingpolicy"), QStringLiteral("--url=") + m_startUrl.toString()});
    QCOMPARE(globalClientHandler->startupUrl(), m_startUrl.toString());
    QVERIFY2(m_browser->start(BrowserFixture::pageUrl("page.html", "first")),
             qPrintable(m_browser->error()));
    QDesktopServices::setUrlHandler(QStringLiteral("spotify"), this, "openExternal");
}

void BrowsingPolicyTest::cleanupTestCase() {
    QDesktopServices::unsetUrlHandler(QStringLiteral("spotify"));
    m_browser.reset();
    m_server.reset();
}

void BrowsingPolicyTest::init() {
    // Without the bridge round trip of open(): the last test runs after a renderer crash.
    const QUrl page =
        BrowserFixture::pageUrl("page.html", QStringLiteral("test=%1").arg(++m_tests));
    QVERIFY2(m_browser->openUrl(page), qPrintable(m_browser->error()));
    QTRY_VERIFY(!m_browser->page()->isLoading());
    m_browser->queries().clear();
    m_external.clear();
}

bool BrowsingPolicyTest::click(const QString& elementId, const QString& button) {
    const QJsonValue centre =
        m_browser->evaluate(QStringLiteral("(r => [r.x + r.width / 2, r.y + r.height / 2])"
                                           "(document.getElementById(%1).getBoundingClientRect())")
                                .arg(js(elementId)));
    if (!m_browser->error().isEmpty())
        return false;
    for (const char* type : {"mousePressed", "mouseReleased"}) {
        const QJsonObject result = m_browser->devtools().call(
            QStringLiteral("Input.dispatchMouseEvent"), {{"type", type},
                                                         {"x", centre.toArray().at(0)},
                                                         {"y", centre.toArray().at(1)},
                                                         {"button", button},
                                                         {"clickCount", 1}});
        if (result.contains("error")) {
            qWarning("click: %s", qPrintable(m_browser->devtools().lastError()));
            return false;
        }
    }
    return true;
}

void BrowsingPolicyTest::failedLoadShowsTheErrorPage_data() {
    QTest::addColumn<QUrl>("url");
    QTest::addColumn<int>("code");

    QTest::newRow("missing file") << QUrl::fromLocalFile(TestEnvironment::temporaryRoot() +
                                                         "/no-such-page.html")
                                  << -6;
    QTcpServer probe;
    QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
    const quint16 closedPort = probe.serverPort();
    probe.close();
    QTest::newRow("closed port")
        << QUrl(QStringLiteral("http://127.0.0.1:%1/page.html").arg(closedPort)) << -102;
}

void BrowsingPolicyTest::failedLoadShowsTheErrorPage() {
    QFETCH(QUrl, url);
    QFETCH(int, code);

    LoadRecorder loads(m_browser->page());
    m_browser->view()->load(url);
    WAIT_FOR(
        "!!document.querySelector('h2') && "
        "document.querySelector('h2').textContent.startsWith('Failed to load URL')");
    EVAL(text, "document.querySelector('h2').textContent");

    QString engineText;
    for (const QWebEngineLoadingInfo& info : loads.infos) {
        if (info.status() == QWebEngineLoadingInfo::LoadFailedStatus && info.url() == url) {
            QCOMPARE(info.errorCode(), code);
            engineText = info.errorString();
        }
    }
    QVERIFY2(!engineText.isEmpty(), qPrintable(loads.describe().join('\n')));
    QCOMPARE(text.toString(), QStringLiteral("Failed to load URL %1 with error %2 (%3).")
                                  .arg(url.toString(), engineText)
                                  .arg(code));
    EVAL(background, "document.body.getAttribute('bgcolor')");
    QCOMPARE(background.toString(), QStringLiteral("white"));
}

void BrowsingPolicyTest::httpErrorStatusShowsTheServersPage() {
    LoadRecorder loads(m_browser->page());
    const QUrl url = m_server->url("missing.html");
    QVERIFY2(m_browser->openUrl(url), qPrintable(m_browser->error()));
    // The page stays: an error page put in its place would not answer this round trip.
    QVERIFY2(m_browser->settle(), qPrintable(m_browser->error()));
    EVAL(text, "document.getElementById('marker').textContent");
    QCOMPARE(text.toString(), QStringLiteral("not found here"));
    EVAL(errorPage, "!!document.querySelector('h2')");
    QCOMPARE(errorPage.toBool(), false);
}

void BrowsingPolicyTest::abortedLoadShowsNoErrorPage_data() {
    QTest::addColumn<bool>("superseded");  // else stopped
    QTest::newRow("superseded by another load") << true;
    QTest::newRow("stopped") << false;
}

void BrowsingPolicyTest::abortedLoadShowsNoErrorPage() {
    QFETCH(bool, superseded);
    EVAL(before, "location.href");
    LoadRecorder loads(m_browser->page());
    const QUrl held = m_server->url("hold");
    m_browser->view()->load(held);
    QTRY_VERIFY(m_server->requestedPaths().contains("/hold"));
    if (superseded) {
        QVERIFY2(m_browser->open("page.html", "after=abort"), qPrintable(m_browser->error()));
    } else {
        m_browser->view()->stop();
        QVERIFY2(m_browser->settle(), qPrintable(m_browser->error()));
        EVAL(after, "location.href");
        QCOMPARE(after, before);
    }
    m_server->releaseHeld();
    for (const QWebEngineLoadingInfo& info : loads.infos) {
        QVERIFY2(info.url() != held || info.status() != QWebEngineLoadingInfo::LoadSucceededStatus,
                 qPrintable(loads.describe().join('\n')));
    }
    EVAL(text, "document.getElementById('marker').textContent");
    QCOMPARE(text.toString(), QStringLiteral("test page"));
    EVAL(errorPage, "!!document.querySelector('h2')");
    QCOMPARE(errorPage.toBool(), false);
}

void BrowsingPolicyTest::spotifyLinkGoesToTheDesktop() {
    LoadRecorder loads(m_browser->page());
    EVAL(before, "location.href");
    QVERIFY(click("spotify-link"));
    QTRY_COMPARE(m_external.size(), 1);
    QCOMPARE(m_external.first(), QUrl("spotify:track:zelk-test"));

    // Follow a plain link afterwards: an error page for the first click would load before it.
    QVERIFY(click("next-link"));
    WAIT_FOR("location.search.startsWith('?from=link') && document.readyState === 'complete'");
    QVERIFY2(m_browser->settle(), qPrintable(m_browser->error()));
    QCOMPARE(m_external.size(), 1);  // handed over once, not also by the engine
    EVAL(after, "location.href");
    QStringList loaded;
    for (const QWebEngineLoadingInfo& info : loads.infos) {
        if (info.status() == QWebEngineLoadingInfo::LoadSucceededStatus)
            loaded << info.url().toString(QUrl::FullyEncoded);
    }
    QCOMPARE(loaded, QStringList{after.toString()});
    QVERIFY(after != before);
}

void BrowsingPolicyTest::rightClickShowsNoMenu_data() {
    QTest::addColumn<bool>("programPolicy");
    QTest::addColumn<bool>("menuExpected");
    QTest::newRow("program's policy") << true << false;
    // Shows that the check sees a menu when there is one.
    QTest::newRow("control: default policy") << false << true;
}

void BrowsingPolicyTest::rightClickShowsNoMenu() {
    QFETCH(bool, programPolicy);
    QFETCH(bool, menuExpected);
    BrowserView* widget = m_browser->view()->browserWidget();
    QCOMPARE(widget->contextMenuPolicy(), Qt::NoContextMenu);
    if (!programPolicy)
        widget->setContextMenuPolicy(Qt::DefaultContextMenu);
    auto restore = qScopeGuard([widget] { widget->setContextMenuPolicy(Qt::NoContextMenu); });

    RUN("window.menus = 0; addEventListener('contextmenu', () => ++window.menus)");
    QVERIFY(click("marker", "right"));
    WAIT_FOR("window.menus === 1");
    SYNC();
    if (menuExpected) {
        QTRY_VERIFY(visibleMenu());
        visibleMenu()->close();
    } else {
        QVERIFY(!visibleMenu());
    }
}

void BrowsingPolicyTest::popupWindowHasThePolicy() {
    QSignalSpy opened(globalClientHandler, &ClientHandler::popupOpened);
    EVAL(openedWindow,
         QStringLiteral("window.open(%1) !== null")
             .arg(js(
                 BrowserFixture::pageUrl("page.html", "role=popup").toString(QUrl::FullyEncoded))));
    QCOMPARE(openedWindow.toBool(), true);
    QTRY_COMPARE(opened.count(), 1);
    QPointer<QWidget> popup = opened.first().first().value<QWidget*>();
    QVERIFY(qobject_cast<BrowserView*>(popup.data()));
    QCOMPARE(popup->contextMenuPolicy(), Qt::NoContextMenu);
    QVERIFY(popup->isWindow());
    QVERIFY(popup->isVisible());
    popup->close();
    QTRY_VERIFY(!popup);
    QTRY_VERIFY(globalClientHandler->popupBrowsers().isEmpty());
    QCOMPARE(mainBrowser(), m_browser->page());
}

void BrowsingPolicyTest::acceptsDrag_data() {
    QTest::addColumn<Qt::DropActions>("actions");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("link") << Qt::DropActions(Qt::LinkAction) << false;
    QTest::newRow("copy") << Qt::DropActions(Qt::CopyAction) << true;
    QTest::newRow("move") << Qt::DropActions(Qt::MoveAction) << true;
    QTest::newRow("copy or move") << (Qt::CopyAction | Qt::MoveAction) << true;
    QTest::newRow("copy or link") << (Qt::CopyAction | Qt::LinkAction) << false;
    QTest::newRow("any") << Qt::DropActions(Qt::CopyAction | Qt::MoveAction | Qt::LinkAction)
                         << false;
    QTest::newRow("none") << Qt::DropActions() << true;
}

void BrowsingPolicyTest::acceptsDrag() {
    QFETCH(Qt::DropActions, actions);
    QFETCH(bool, accepted);
    QCOMPARE(BrowserView::acceptsDrag(actions), accepted);
}

void BrowsingPolicyTest::dragEnterRefusesLinks_data() {
    QTest::addColumn<Qt::DropActions>("actions");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("link") << Qt::DropActions(Qt::LinkAction) << false;
    QTest::newRow("copy or link") << (Qt::CopyAction | Qt::LinkAction) << false;
    QTest::newRow("copy") << Qt::DropActions(Qt::CopyAction) << true;
}

void BrowsingPolicyTest::dragEnterRefusesLinks() {
    QFETCH(Qt::DropActions, actions);
    QFETCH(bool, accepted);
    BrowserView* widget = m_browser->view()->browserWidget();
    QMimeData data;
    data.setUrls({QUrl("https://example.invalid/elsewhere.html")});
    QDragEnterEvent enter(QPoint(50, 50), actions, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &enter);
    QCOMPARE(enter.isAccepted(), accepted);
    QDragLeaveEvent leave;
    QApplication::sendEvent(widget, &leave);
    EVAL(href, "location.href");
    QVERIFY(href.toString().startsWith(BrowserFixture::pageUrl("page.html").toString()));
}

void BrowsingPolicyTest::rendererCrashElsewhereLoadsTheStartAddress() {
    RUN("T.query('hold across the crash')");
    QTRY_VERIFY(m_browser->queries().held("hold across the crash"));
    const QueryCallbackPtr held = m_browser->queries().held("hold across the crash");
    ZelkPage* page = m_browser->page();
    const qint64 pid = page->renderProcessPid();
    QVERIFY(pid > 0);

    QSignalSpy terminated(page, &QWebEnginePage::renderProcessTerminated);
    QCOMPARE(::kill(pid_t(pid), SIGKILL), 0);
    QVERIFY(terminated.wait(10000));
    QVERIFY(terminated.first().first().value<QWebEnginePage::RenderProcessTerminationStatus>() !=
            QWebEnginePage::NormalTerminationStatus);
    // Handled while the signal was delivered: queries dropped, the start address requested.
    QVERIFY(!held->isActive());
    QCOMPARE(page->bridge()->pendingCount(), 0);
    QCOMPARE(page->requestedUrl(), m_startUrl);
    QVERIFY(page->isLoading());

    WAIT_FOR(QStringLiteral("location.href === %1 && document.readyState === 'complete' && "
                            "!!window.T")
                 .arg(js(m_startUrl.toString(QUrl::FullyEncoded))));
    QCOMPARE(page->url(), m_startUrl);
    QVERIFY(page->renderProcessPid() > 0);
    QVERIFY(page->renderProcessPid() != pid);
    // The page in the new renderer can talk to native code again.
    EVAL(api,
         "[typeof window.cefQuery, typeof window.cefQueryCancel, "
         "typeof window.setMessageCallback]");
    QCOMPARE(api, QJsonValue(QJsonArray{"function", "function", "function"}));
    QVERIFY2(m_browser->settle(), qPrintable(m_browser->error()));
}

void BrowsingPolicyTest::rendererCrashOnTheStartPageDoesNotReload() {
    // Not open(): the page bridge is not needed here.
    QUrl startPage = m_startUrl;
    startPage.setQuery(QStringLiteral("again=1"));
    QVERIFY2(m_browser->openUrl(startPage), qPrintable(m_browser->error()));
    ZelkPage* page = m_browser->page();
    QTRY_VERIFY(!page->isLoading());
    QCOMPARE(page->requestedUrl(), startPage);
    const qint64 pid = page->renderProcessPid();
    QVERIFY(pid > 0);

    QSignalSpy terminated(page, &QWebEnginePage::renderProcessTerminated);
    QCOMPARE(::kill(pid_t(pid), SIGKILL), 0);
    QVERIFY(terminated.wait(10000));
    // A reload would have been requested while the signal was delivered (see above).
    QCOMPARE(page->requestedUrl(), startPage);
    QVERIFY(!page->isLoading());
    QCOMPARE(page->url(), startPage);
}

ZELK_GUI_TEST_MAIN(BrowsingPolicyTest)
#include "tst_browsingpolicy.moc"
