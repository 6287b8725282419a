#include "browser/ZelkPage.h"

#include "browser/BrowserLog.h"
#include "browser/ClientHandler.h"
#include "browser/EngineProfile.h"
#include "browser/ErrorPage.h"
#include "browser/QueryBridge.h"
#include "browser/WebLog.h"

#include <QDesktopServices>
#include <QWebChannel>
#include <QWebEngineHistory>
#include <QWebEngineLoadingInfo>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineView>

namespace {

int nextBrowserId = 1;

constexpr int kErrAborted = -3;
constexpr int kErrUnknownUrlScheme = -302;

bool isSpotify(const QString& url) {
    return url.startsWith(QLatin1String("spotify:"));
}

}  // namespace

ZelkPage::ZelkPage(ClientHandler* client, QWebEngineProfile* profile, bool isPopup, QObject* parent)
    : QWebEnginePage(profile, parent),
      m_client(client),
      m_bridge(new QueryBridge(
          [client](const QString& request, const QueryCallbackPtr& callback) {
              client->onQuery(request, callback);
          },
          this)),
      m_browserId(nextBrowserId++),
      m_isPopup(isPopup) {
    auto* channel = new QWebChannel(this);
    channel->registerObject(QStringLiteral("zelkBridge"), m_bridge.data());
    setWebChannel(channel);
    setBackgroundColor(QColor(0x22, 0x25, 0x29));
    scripts().insert(bridgeScript());

    connect(this, &QWebEnginePage::loadingChanged, this, &ZelkPage::onLoadingChanged);
    connect(this, &QWebEnginePage::renderProcessTerminated, this,
            &ZelkPage::onRenderProcessTerminated);
    connect(this, &QWebEnginePage::featurePermissionRequested, this,
            &ZelkPage::onFeaturePermissionRequested);
    m_client->onBrowserCreated(this);
}

ZelkPage::~ZelkPage() {
    m_client->onBeforeClose(this);
}

void ZelkPage::dropQueries() {
    if (m_bridge) {
        m_bridge->dropAll();
    }
}

void ZelkPage::sendEvent(const QString& name, const QVariantList& args) {
    if (m_bridge) {
        m_bridge->sendEvent(name, args);
    }
}

QueryBridge* ZelkPage::bridge() const {
    return m_bridge.data();
}

QWidget* ZelkPage::view() const {
    return QWebEngineView::forPage(this);
}

bool ZelkPage::acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) {
    if (url.scheme() == QLatin1String("spotify")) {
        QDesktopServices::openUrl(url);
        return false;
    }
    if (isMainFrame) {
        dropQueries();  // queries of the old document are never answered
    }
    return QWebEnginePage::acceptNavigationRequest(url, type, isMainFrame);
}

QWebEnginePage* ZelkPage::createWindow(WebWindowType type) {
    Q_UNUSED(type);
    return m_client->openPopup();
}

void ZelkPage::javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString& message,
                                        int lineNumber, const QString& sourceId) {
    const int severity = level == ErrorMessageLevel     ? WebLog::Error
                         : level == WarningMessageLevel ? WebLog::Warning
                                                        : WebLog::Info;
    if (WebLog::admits(severity)) {
        WebLog::write(severity, QStringLiteral("CONSOLE"), lineNumber,
                      QStringLiteral("\"%1\", source: %2 (%3)")
                          .arg(message, sourceId, QString::number(lineNumber)));
    }
}

void ZelkPage::onLoadingChanged(const QWebEngineLoadingInfo& info) {
    m_client->sendNavStateChanged(history()->canGoBack(), history()->canGoForward());
    if (info.status() != QWebEngineLoadingInfo::LoadFailedStatus) {
        return;
    }
    // HTTP status pages load like any page; only failures of the load itself get the error page.
    if (info.errorDomain() == QWebEngineLoadingInfo::HttpStatusCodeDomain) {
        return;
    }
    const int code = info.errorCode();
    const QString failedUrl = info.url().toString();
    if (code == kErrAborted || info.url().scheme() == QLatin1String("data")) {
        return;
    }
    if (code == kErrUnknownUrlScheme && isSpotify(failedUrl)) {
        return;
    }
    qCInfo(lcBrowser) << "load failed" << failedUrl << code << info.errorString();
    setHtml(errorPageHtml(failedUrl, info.errorString(), code), info.url());
}

void ZelkPage::onRenderProcessTerminated(RenderProcessTerminationStatus status, int exitCode) {
    dropQueries();
    ZELK_WEB_LOG(QStringLiteral("client_handler"),
                 QStringLiteral("renderer terminated, status %1, exit code %2")
                     .arg(int(status))
                     .arg(exitCode));
    if (status == NormalTerminationStatus) {
        return;
    }
    const QString startupUrl = m_client->startupUrl();
    const QString current = url().toString().toLower();
    // Reloading the page that just crashed could crash again at once: only leave other pages.
    if (startupUrl != QLatin1String("chrome://crash") && !current.isEmpty() &&
        !current.startsWith(startupUrl.toLower())) {
        load(QUrl(startupUrl));
    }
}

void ZelkPage::onFeaturePermissionRequested(const QUrl& origin, Feature feature) {
    const PermissionPolicy policy =
        feature == Geolocation ? PermissionGrantedByUser : PermissionDeniedByUser;
    setFeaturePermission(origin, feature, policy);
}
