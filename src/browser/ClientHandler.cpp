#include "browser/ClientHandler.h"

#include "browser/BrowserLog.h"
#include "browser/EngineProfile.h"
#include "browser/PopupBrowserWindow.h"
#include "browser/QueryBridge.h"
#include "browser/WebLog.h"
#include "browser/ZelkPage.h"

#include <QDir>
#include <QFileDialog>
#include <QMutexLocker>
#include <QStandardPaths>
#include <QThread>
#include <QWebEngineDownloadRequest>
#include <QWebEngineProfile>

ClientHandler* globalClientHandler = nullptr;

namespace {
int liveBrowsers = 0;
}

ZelkPage* mainBrowser() {
    return globalClientHandler ? globalClientHandler->currentBrowser() : nullptr;
}

ClientHandler::ClientHandler(const QStringList& arguments, QObject* parent)
    : QObject(parent), m_queryHandler(this) {
    for (const QString& argument : arguments) {
        if (argument.startsWith(QLatin1String("--url="))) {
            m_startupUrl = argument.mid(6);
        }
    }
    m_startupUrlFromSwitch = !m_startupUrl.isEmpty();
    if (!m_startupUrlFromSwitch) {
        m_startupUrl = defaultHomePage();
    }
}

ClientHandler::~ClientHandler() {
    closeAllPopups();
    if (liveBrowsers > 0) {
        qCWarning(lcBrowser) << liveBrowsers << "browsers still alive when the client goes";
    }
    delete m_profile;
    if (globalClientHandler == this) {
        globalClientHandler = nullptr;
    }
}

QString ClientHandler::defaultHomePage() {
    return QStringLiteral("https://www.korvanite.com/");
}

int ClientHandler::browserCount() {
    return liveBrowsers;
}

QWebEngineProfile* ClientHandler::profile() {
    if (!m_profile) {
        m_profile = createEngineProfile(nullptr);
        connect(m_profile, &QWebEngineProfile::downloadRequested, this,
                &ClientHandler::onDownloadRequested);
    }
    return m_profile;
}

ZelkPage* ClientHandler::createBrowser(QObject* parent) {
    return new ZelkPage(this, profile(), false, parent);
}

ZelkPage* ClientHandler::currentBrowser() const {
    QMutexLocker lock(&m_lock);
    return m_mainBrowser.data();
}

void ClientHandler::closeAllPopups() {
    const QList<ZelkPage*> popups = m_popupBrowsers;
    for (ZelkPage* popup : popups) {
        delete popup->view();  // the popup window owns its page
    }
    m_popupBrowsers.clear();
}

void ClientHandler::forgetListener(Listener* listener) {
    if (m_listener == listener) {
        m_listener = nullptr;
    }
}

bool ClientHandler::closingFlag() const {
    QMutexLocker lock(&m_lock);
    return m_closingFlag;
}

void ClientHandler::setDefaultStartupUrl(const QString& url) {
    if (!m_startupUrlFromSwitch) {
        m_startupUrl = url;
    }
}

void ClientHandler::runBeforeMinimise() {
    if (m_beforeMinimise) {
        m_beforeMinimise();
    }
}

void ClientHandler::onBrowserCreated(ZelkPage* browser) {
    if (!currentBrowser()) {
        QMutexLocker lock(&m_lock);
        m_mainBrowser = browser;
        m_mainBrowserId = browser->browserId();
    }
    if (browser->isPopup()) {
        m_popupBrowsers.append(browser);
    }
    ++liveBrowsers;
    if (m_listener && !browser->isPopup()) {
        m_listener->NotifyBrowserCreated(browser);
    }
}

void ClientHandler::onBeforeClose(ZelkPage* browser) {
    browser->dropQueries();
    {
        QMutexLocker lock(&m_lock);
        if (browser->browserId() == m_mainBrowserId) {
            m_mainBrowser.clear();
            m_mainBrowserId = 0;
        }
    }
    m_popupBrowsers.removeOne(browser);
    --liveBrowsers;
}

void ClientHandler::onQuery(const QString& request, const QueryCallbackPtr& callback) {
    m_queryHandler.OnQuery(request, callback);
}

ZelkPage* ClientHandler::openPopup() {
    auto* window = new PopupBrowserWindow(this);
    window->show();
    window->activateWindow();
    window->setFocus();
    emit popupOpened(window);
    return window->browser();
}

void ClientHandler::sendDevicesChanged(int code) {
    sendEvent(QStringLiteral("devicesChanged"), {code});
}

void ClientHandler::sendMacroItem(const QString& a, const QString& b, const QString& c,
                                  const QString& d) {
    sendEvent(QStringLiteral("macroItem"), {a, b, c, d});
}

void ClientHandler::sendCurrentPropChanged(int propIndex, int proMode) {
    sendEvent(QStringLiteral("currentPropChanged"), {propIndex, proMode});
}

void ClientHandler::sendNavStateChanged(bool canGoBack, bool canGoForward) {
    sendEvent(QStringLiteral("navStateChanged"), {canGoBack, canGoForward});
}

void ClientHandler::sendDeviceData(const QString& hex) {
    sendEvent(QStringLiteral("onDeviceData"), {hex});
}

void ClientHandler::sendProcessChanged(const QString& program, bool running) {
    sendEvent(QStringLiteral("onProcessChanged"), {program, running});
}

void ClientHandler::sendEvent(const QString& name, const QVariantList& args) {
    if (QThread::currentThread() == thread()) {
        deliverEvent(name, args);
        return;
    }
    // Queued calls from one thread run in the order they were made.
    QMetaObject::invokeMethod(
        this, [this, name, args] { deliverEvent(name, args); }, Qt::QueuedConnection);
}

void ClientHandler::deliverEvent(const QString& name, const QVariantList& args) {
    if (ZelkPage* browser = currentBrowser()) {
        browser->sendEvent(name, args);
    }
}

void ClientHandler::onDownloadRequested(QWebEngineDownloadRequest* download) {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (!folder.isEmpty() && !QDir().mkpath(folder)) {
        folder.clear();
    }
    const QString suggested = folder.isEmpty()
                                  ? download->suggestedFileName()
                                  : QDir(folder).filePath(download->suggestedFileName());
    const QString chosen = QFileDialog::getSaveFileName(nullptr, tr("Save File"), suggested);
    if (chosen.isEmpty()) {
        download->cancel();
        return;
    }
    const QFileInfo target(chosen);
    download->setDownloadDirectory(target.absolutePath());
    download->setDownloadFileName(target.fileName());
    connect(download, &QWebEngineDownloadRequest::isFinishedChanged, this, [download] {
        if (download->state() == QWebEngineDownloadRequest::DownloadCompleted) {
            ZELK_WEB_LOG(
                QStringLiteral("client_handler"),
                QStringLiteral("download complete: ") +
                    QDir(download->downloadDirectory()).filePath(download->downloadFileName()));
        }
    });
    download->accept();
}
