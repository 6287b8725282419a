#include "ui/zelk.h"

#include "browser/ClientHandler.h"
#include "browser/WebLog.h"
#include "browser/ZelkPage.h"
#include "browser/ZelkWebView.h"
#include "shell/AppGlobals.h"
#include "shell/cefApplication.h"
#include "ui/CommandTable.h"
#include "ui/PageRequest.h"
#include "ui/SettingsCommands.h"
#include "ui/UiLog.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QIcon>
#include <QResizeEvent>
#include <QScreen>

namespace {

const QString kMaximiseRequest = QStringLiteral("{\"funcname\":\"maxsizeWindow\"}");
const QString kRestoreRequest = QStringLiteral("{\"funcname\":\"restoreWindow\"}");
const QString kLogTag = QStringLiteral("pspecific_wnd");

QString configValue(const QString& key) {
    return appInstance ? appInstance->clientValue(key) : QString();
}

}  // namespace

zelk::zelk(QWidget* parent)
    : QWidget(parent),
      m_profileStore(&m_profileCache, QCoreApplication::applicationDirPath()),
      m_profileCommands(&m_profileStore),
      m_deviceCommands(currentDeviceHandler(),
                       [] { return appInstance ? appInstance->confText() : QString(); }) {
    if (objectName().isEmpty()) {
        setObjectName(QStringLiteral("zelkClass"));
    }
    const QSize size = initialSize(configValue(QStringLiteral("clientSize")));
    resize(size);
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint);
    setWindowIcon(QIcon(QStringLiteral(":/zelk/desk_icon")));

    m_webView = new ZelkWebView(this);
    m_webView->resize(size);
    setMinimumSize(size);
    setMouseTracking(true);

    const QUrl url = pageUrl();
    if (globalClientHandler) {
        globalClientHandler->setDefaultStartupUrl(url.toString());
        globalClientHandler->setBeforeMinimise([this] { flushProfiles(); });
    }
    m_webView->load(url);
    connect(m_webView, &ZelkWebView::jsMessage, this, &zelk::onJsMessage);

    registerCommandTable(m_dispatcher, &m_deviceCommands);
    SettingsCommands::registerInto(m_dispatcher, this);
    registerCommandTable(m_dispatcher, &m_profileCommands);

    installEventFilter(this);
    setWindowTitle(kMainWindowTitle);
}

zelk::~zelk() {
    if (globalClientHandler) {
        globalClientHandler->setBeforeMinimise(nullptr);
        if (globalClientHandler->mainWindowHandle() == this) {
            globalClientHandler->setMainWindowHandle(nullptr);
        }
    }
    delete m_webView;
    m_webView = nullptr;
}

QSize zelk::initialSize(const QString& clientSize) {
    const QStringList parts = clientSize.split(QLatin1Char(','), Qt::KeepEmptyParts);
    if (parts.size() < 2) {
        return QSize(800, 600);
    }
    return QSize(parts.at(0).toInt(nullptr, 10), parts.at(1).toInt(nullptr, 10));
}

QUrl zelk::pageUrl() {
    return applicationPageUrl(QStringLiteral("/view/index.html"));
}

QUrl zelk::applicationPageUrl(const QString& path) {
    const QUrl directory = QUrl::fromLocalFile(QCoreApplication::applicationDirPath());
    return QUrl(directory.toString(QUrl::FullyEncoded) + path);
}

void zelk::setUpTray() {}

void zelk::flushProfiles() {
    const FlushResult result = m_profileCache.flush();
    if (!result.ok) {
        ZELK_WEB_LOG(kLogTag, result.error);
    }
}

void zelk::bringToFront() {
    setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    activateWindow();
    show();
    raise();
}

void zelk::loadPageUrl(const QString& path) {
    const QUrl url = applicationPageUrl(path);
    if (!url.isEmpty() && m_webView->browser()) {
        m_webView->browser()->load(url);
    }
}

void zelk::quitApp() {
    hide();
    flushProfiles();
}

void zelk::reload_currentPage() {
    m_webView->reload();
}

void zelk::onJsMessage(const QString& name, const QueryCallbackPtr& callbackPtr) {
    if (name == kMaximiseRequest) {
        m_normalGeometry = geometry();
        if (QScreen* screen = QGuiApplication::primaryScreen()) {
            setGeometry(screen->availableGeometry());
        }
        return;
    }
    if (name == kRestoreRequest) {
        setGeometry(m_normalGeometry);
        return;
    }
    const std::optional<PageRequest> request = PageRequest::parse(name);
    if (!request) {
        return;
    }
    dispatchCommand(request->funcname, request->members, callbackPtr);
}

void zelk::dispatchCommand(const QString& name, const QVariantMap& members,
                           const QueryCallbackPtr& callback) {
    if (!m_dispatcher.dispatch(name, members, callback)) {
        qCDebug(lcUi) << "request not dispatched:" << name;
    }
}

void zelk::onCurrentPropChanged(int propIndex, int proMode) {
    if (globalClientHandler) {
        globalClientHandler->sendCurrentPropChanged(propIndex, proMode);
    }
}

void zelk::onshowWidget() {
    show();
}

void zelk::oncloseApp() {
    flushProfiles();
    requestQuit();
}

bool zelk::eventFilter(QObject* watched, QEvent* event) {
    if (watched == this && event->type() == QEvent::WindowActivate && globalClientHandler) {
        globalClientHandler->setListener(m_webView);
        globalClientHandler->setMainWindowHandle(this);
    }
    return false;
}

void zelk::resizeEvent(QResizeEvent* event) {
    m_webView->resize(event->size());
    QWidget::resizeEvent(event);
}

void zelk::closeEvent(QCloseEvent* event) {
    hide();
    event->ignore();
}
