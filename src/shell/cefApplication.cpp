#include "shell/cefApplication.h"

#include "browser/ClientHandler.h"
#include "browser/WebLog.h"
#include "platform/LocalSocketPath.h"
#include "platform/WindowActivator.h"
#include "profiles/ClientConfiguration.h"
#include "profiles/ProfileCache.h"
#include "shell/AppGlobals.h"
#include "shell/InstanceProtocol.h"
#include "shell/NetworkIdentity.h"
#include "shell/ShellLog.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QWidget>

cefApplication* appInstance = nullptr;

devices_handler* currentDeviceHandler() {
    return appInstance ? appInstance->deviceHandler() : nullptr;
}

namespace {
constexpr int kInstanceLockWaitMs = 20000;
const QString kLogTag = QStringLiteral("cefapplication");
}  // namespace

cefApplication::cefApplication(int& argc, char** argv) : QApplication(argc, argv) {
    loadClientConfiguration();
    m_deviceHandler = std::make_unique<devices_handler>(devices_handler::defaultLibraryPath());
    connect(m_deviceHandler.get(), &devices_handler::devicesChanged, this,
            &cefApplication::onDevicesChanged);
    connect(m_deviceHandler.get(), &devices_handler::deviceData, this,
            &cefApplication::onDeviceData);
    refreshDevices();
    for (int i = 0; i < argc; ++i) {
        if (qstrcmp(argv[i], "-autostart") == 0) {
            m_startHidden = true;
        }
    }
}

cefApplication::~cefApplication() {
    releaseOwnedObjects();
    if (appInstance == this) {
        appInstance = nullptr;
    }
}

void cefApplication::releaseOwnedObjects() {
    m_instanceSocket.close();
    m_mainWindow.reset();
    m_deviceHandler.reset();
    releaseInstanceLock();
}

QString cefApplication::instanceServerName() {
    return QStringLiteral("Global\\{71CBE35F-A129-4792-AEE6-92AB6864A918}");
}

QString cefApplication::instanceFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
}

QString cefApplication::instanceSocketPath() {
    return usableLocalSocketPath(instanceFolder() + QLatin1Char('/') + instanceServerName());
}

QString cefApplication::confPath() {
    return QCoreApplication::applicationDirPath() + QStringLiteral("/Resources/profiles/conf.xml");
}

void cefApplication::loadClientConfiguration() {
    const ClientConfiguration config = ::loadClientConfiguration(
        confPath(), NetworkIdentity::macAddress(), NetworkIdentity::ipAddress());
    if (!config.loaded) {
        qCWarning(lcShell) << "running without client settings:" << config.error;
        return;
    }
    m_clientValues = config.values;
    m_confText = config.text;
}

bool cefApplication::setClientValue(const QString& key, const QString& value) {
    auto it = m_clientValues.find(key);
    if (it == m_clientValues.end()) {
        return false;
    }
    it.value() = value;
    return true;
}

bool cefApplication::saveConfText() {
    const FlushResult result = writeTextFileAtomically(confPath(), m_confText);
    if (!result.ok) {
        qCWarning(lcShell) << result.error;
        ZELK_WEB_LOG(kLogTag, result.error);
    }
    return result.ok;
}

void cefApplication::refreshDevices() {
    m_deviceSnapshot.clear();
    if (!m_deviceHandler) {
        return;
    }
    const QVector<DeviceSnapshotEntry> entries = decodeDeviceList(m_deviceHandler->getDevices());
    for (const DeviceSnapshotEntry& entry : entries) {
        m_deviceSnapshot.insert(entry.deviceId, entry);
    }
}

void cefApplication::requestUpdateCheck(bool manual) {
    ZELK_WEB_LOG(kLogTag,
                 QStringLiteral("update check requested (%1); no update service is "
                                "configured in this build")
                     .arg(manual ? QStringLiteral("manual") : QStringLiteral("automatic")));
}

void cefApplication::initInstance() {
    programDir = QCoreApplication::applicationDirPath() + QStringLiteral("/");
    dataDir = QCoreApplication::applicationDirPath() + QStringLiteral("/");

    QFile styleSheet(QStringLiteral(":/qss/zelk"));
    if (styleSheet.open(QIODevice::ReadOnly)) {
        setStyleSheet(QString::fromUtf8(styleSheet.readAll()));
    } else {
        qCWarning(lcShell) << "style sheet missing:" << styleSheet.errorString();
    }

    appInstance = this;

    connect(&m_instanceSocket, &QLocalSocket::connected, this, &cefApplication::socketConnected);
    connect(&m_instanceSocket, &QLocalSocket::disconnected, this,
            &cefApplication::socketDisconnected);
    connect(&m_instanceSocket, &QLocalSocket::errorOccurred, this, &cefApplication::socketError);
    connect(&m_instanceSocket, &QLocalSocket::bytesWritten, this, &cefApplication::socketWritten);
    connect(&m_instanceSocket, &QLocalSocket::readyRead, this, &cefApplication::socketReading);
    connect(&m_instanceServer, &QLocalServer::newConnection, this,
            &cefApplication::newInstanceConnected);

    m_instanceLock =
        std::make_unique<QLockFile>(instanceFolder() + QStringLiteral("/zelk-instance.lock"));
    if (!m_instanceLock->tryLock(kInstanceLockWaitMs)) {
        qCWarning(lcShell) << "instance lock not taken, error" << m_instanceLock->error();
    }
    m_instanceSocket.connectToServer(instanceSocketPath(), QIODevice::ReadWrite);
}

void cefApplication::releaseInstanceLock() {
    if (m_instanceLock) {
        m_instanceLock->unlock();
        m_instanceLock.reset();
    }
}

void cefApplication::socketConnected() {
    m_connectedToRunning = true;
    releaseInstanceLock();
    m_instanceSocket.write(InstanceProtocol::showCommand());
}

void cefApplication::socketError(QLocalSocket::LocalSocketError error) {
    if (m_connectedToRunning) {
        requestQuit();
        return;
    }
    m_instanceSocket.abort();
    // Nobody answered: a socket file left here belongs to an instance that has died.
    if (error == QLocalSocket::ConnectionRefusedError ||
        error == QLocalSocket::ServerNotFoundError) {
        QLocalServer::removeServer(instanceSocketPath());
    }
    m_instanceServer.setSocketOptions(QLocalServer::UserAccessOption);
    const bool listening = m_instanceServer.listen(instanceSocketPath());
    releaseInstanceLock();
    if (!listening) {
        qCWarning(lcShell) << "cannot listen for later instances:"
                           << m_instanceServer.errorString();
        requestQuit();
        return;
    }
    createMainWindow();
}

void cefApplication::socketDisconnected() {
    if (m_connectedToRunning) {
        requestQuit();
    }
}

void cefApplication::socketWritten(qint64 bytes) {
    Q_UNUSED(bytes);
}

void cefApplication::socketReading() {
    if (m_instanceSocket.state() != QLocalSocket::ConnectedState) {
        return;
    }
    m_replyBuffer += QString::fromUtf8(m_instanceSocket.readAll());
    if (!InstanceProtocol::isCompleteReply(m_replyBuffer)) {
        return;
    }
    const quint64 pid = InstanceProtocol::replyPid(m_replyBuffer);
    if (pid != 0) {
        bringToFrontByPid(pid);
    }
    requestQuit();
}

void cefApplication::bringToFrontByPid(quint64 pid) {
    static const QRegularExpression title(QStringLiteral("^zelk(\\s*\\(\\d+\\))?$"));
    const std::unique_ptr<WindowActivator> activator = WindowActivator::create();
    activator->activateWindowOf(static_cast<qint64>(pid), [](const QString& text) {
        return text.size() >= 1 && text.size() <= 1023 &&
               (title.match(text).hasMatch() || text == kMainWindowTitle);
    });
}

void cefApplication::newInstanceConnected() {
    while (QLocalSocket* socket = m_instanceServer.nextPendingConnection()) {
        m_clients.append({socket, QByteArray()});
        connect(socket, &QLocalSocket::readyRead, this, &cefApplication::readClients);
        connect(socket, &QLocalSocket::disconnected, this, &cefApplication::removeClients);
    }
}

void cefApplication::readClients() {
    const QByteArray pidReply = InstanceProtocol::reply(QCoreApplication::applicationPid());
    for (InstanceClient& client : m_clients) {
        client.buffer.append(client.socket->readAll());
        if (client.buffer.isEmpty()) {
            continue;
        }
        const QStringList pieces = InstanceProtocol::takeCompletePieces(&client.buffer);
        for (const QString& piece : pieces) {
            const std::optional<QString> name = InstanceProtocol::commandName(piece);
            if (!name) {
                continue;
            }
            if (*name == QLatin1String("show") && m_mainWindow) {
                m_mainWindow->bringToFront();
            }
            client.socket->write(pidReply);
        }
    }
}

void cefApplication::removeClients() {
    for (auto it = m_clients.begin(); it != m_clients.end();) {
        if (it->socket->state() != QLocalSocket::ConnectedState) {
            it = m_clients.erase(it);
        } else {
            ++it;
        }
    }
}

void cefApplication::onDevicesChanged(int code) {
    refreshDevices();
    if (globalClientHandler) {
        globalClientHandler->sendDevicesChanged(code);
    }
}

void cefApplication::onDeviceData(const QString& hex) {
    if (globalClientHandler) {
        globalClientHandler->sendDeviceData(hex);
    }
}

void cefApplication::on_closeApp() {
    if (m_mainWindow) {
        m_mainWindow->flushProfiles();
    }
    requestQuit();
}

void cefApplication::createMainWindow() {
    if (!m_mainWindowFactory) {
        qCCritical(lcShell) << "no main window factory";
        requestQuit();
        return;
    }
    m_mainWindow.reset(m_mainWindowFactory());
    if (globalClientHandler) {
        globalClientHandler->setMainWindowHandle(m_mainWindow->widget());
    }
    m_mainWindow->setUpTray();
    if (!m_startHidden) {
        m_mainWindow->widget()->show();
    }
    requestUpdateCheck(false);
    ZELK_WEB_LOG(kLogTag, QStringLiteral("mainwindow show!"));
}
