#pragma once

#include "device/DeviceList.h"
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
    // Fills a device list the way the device library does; false when no library answers.
    using DeviceListSource = std::function<bool(DeviceList*)>;

    cefApplication(int& argc, char** argv);
    ~cefApplication() override;

    static QString instanceServerName();
    static QString confPath();

    void setMainWindowFactory(MainWindowFactory factory) {
        m_mainWindowFactory = std::move(factory);
    }
    void setDeviceListSource(DeviceListSource source) { m_deviceListSource = std::move(source); }

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
    DeviceListSource m_deviceListSource;
};

// The one application object; null until initInstance.
extern cefApplication* appInstance;
