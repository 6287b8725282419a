#pragma once

#include "device/DeviceList.h"
#include "device/devices_handler.h"
#include "shell/MainWindowHost.h"

#include <QApplication>
#include <QByteArray>
#include <QList>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QMap>
#include <functional>
#include <memory>

// The client's application object: keeps one instance running, holds the client settings of
// conf.xml and the snapshot of connected devices, and owns the main window.
class cefApplication : public QApplication {
    Q_OBJECT
public:
    using MainWindowFactory = std::function<MainWindowHost*()>;

    cefApplication(int& argc, char** argv);
    ~cefApplication() override;

    static QString instanceServerName();
    // The user's private runtime folder: the instance socket and lock of one user never meet
    // another user's, even where all users share one temporary folder.
    static QString instanceFolder();
    // Where the running instance listens: the server name in the instance folder, or a short
    // path derived from it when that would be too long for a local socket.
    static QString instanceSocketPath();
    static QString confPath();

    void setMainWindowFactory(MainWindowFactory factory) {
        m_mainWindowFactory = std::move(factory);
    }

    // Start-up wiring: directories, style sheet, then the instance check, which decides later
    // whether this process becomes the running instance or hands over to it.
    void initInstance();
    // Deletes the main window and what else the application owns; the destructor does it too.
    void releaseOwnedObjects();

    QString clientValue(const QString& key) const { return m_clientValues.value(key); }
    QMap<QString, QString> clientValues() const { return m_clientValues; }
    // Replaces the value of an existing key; never adds a key.
    bool setClientValue(const QString& key, const QString& value);
    QString confText() const { return m_confText; }
    void setConfText(const QString& text) { m_confText = text; }
    // Writes confText to conf.xml atomically; false (and a log record) when it cannot.
    bool saveConfText();

    QMap<QString, DeviceSnapshotEntry> deviceSnapshot() const { return m_deviceSnapshot; }
    void refreshDevices();

    MainWindowHost* mainWindow() const { return m_mainWindow.get(); }
    devices_handler* deviceHandler() const { return m_deviceHandler.get(); }
    bool startHidden() const { return m_startHidden; }
    void requestUpdateCheck(bool manual);

private slots:
    void socketConnected();
    void socketError(QLocalSocket::LocalSocketError error);
    void socketDisconnected();
    void socketWritten(qint64 bytes);
    void socketReading();
    void newInstanceConnected();
    void readClients();
    void removeClients();

public slots:
    // Writes the pending profile files, then ends the program.
    void on_closeApp();

private slots:
    void onDevicesChanged(int code);
    void onDeviceData(const QString& hex);

private:
    struct InstanceClient {
        QLocalSocket* socket;
        QByteArray buffer;
    };

    void loadClientConfiguration();
    void createMainWindow();
    void bringToFrontByPid(quint64 pid);
    void releaseInstanceLock();

    QMap<QString, DeviceSnapshotEntry> m_deviceSnapshot;
    QMap<QString, QString> m_clientValues;
    QString m_confText;
    std::unique_ptr<MainWindowHost> m_mainWindow;
    std::unique_ptr<devices_handler> m_deviceHandler;
    QLocalSocket m_instanceSocket;
    QString m_replyBuffer;
    QLocalServer m_instanceServer;
    QList<InstanceClient> m_clients;
    bool m_connectedToRunning = false;
    bool m_startHidden = false;
    // Held from the connection attempt until this process knows its role, so two simultaneous
    // starts cannot both become the running instance.
    std::unique_ptr<QLockFile> m_instanceLock;
    MainWindowFactory m_mainWindowFactory;
};

// The one application object; null until initInstance.
extern cefApplication* appInstance;

// The device handler of appInstance; null while there is no application object.
devices_handler* currentDeviceHandler();
