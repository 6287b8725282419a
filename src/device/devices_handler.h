#pragma once

#include "device/DeviceLibraryApi.h"
#include "device/DeviceList.h"

#include <QLibrary>
#include <QObject>
#include <QString>

// The one way to the device library: loads it, keeps its entry points (null when absent) and
// turns its callbacks, which arrive on the library's own thread, into signals on this object's
// thread.
class devices_handler : public QObject {
    Q_OBJECT
public:
    // Loads the library from libraryPath; an unloadable library leaves every entry point null.
    explicit devices_handler(const QString& libraryPath, QObject* parent = nullptr);
    ~devices_handler() override;

    static QString defaultLibraryPath();
    bool isLoaded() const { return m_loaded; }

    // Enumerates the devices; a non-empty list re-targets the data callback to its first device.
    DeviceList getDevices();
    bool notify(const QString& hardwareId, int type, int data);
    void read(unsigned char* buffer, const QString& hardwareId, int size, int address);
    bool write(const QString& hardwareId, unsigned char* buffer, int size, int address);

    // The entry points, in the library's order; each is null when the library lacks it.
    DcDeviceExistFn dcDeviceExist = nullptr;
    DcDevicesFn dcDevices = nullptr;
    DcOnDeviceEventFn dcOnDeviceEvent = nullptr;
    DcOnDeviceDataFn dconDeviceData = nullptr;
    DcAskFn dcAsk = nullptr;
    DcNotifyFn dcReset = nullptr;
    DcNotifyFn dcNotify = nullptr;
    DcTransferFn dcRead = nullptr;
    DcTransferFn dcWrite = nullptr;
    DcTransferFn dcReadProp = nullptr;
    DcTransferFn dcWriteProp = nullptr;
    DcAskFn dcScriptOut = nullptr;
    DcAskFn dcIDWrite = nullptr;
    DcRomFn dcRebootRom = nullptr;
    DcRomFn dcFinishUpdateRom = nullptr;
    DcCheckRomFn dcCheckRom = nullptr;
    DcBornRomFn dcBornRom = nullptr;
    DcRomFn dcEraseRom = nullptr;

    // What the callbacks do, callable directly (the library's callbacks land here).
    static int onDeviceEvent(std::uint32_t code);
    static int onDeviceBytes(const unsigned char* const* data, void* unused);
    // Calls 1, 6, 11, ... of the device-change callback are acted on; the rest only count.
    static bool takeEventTurn();
    static QString hexOfEightBytes(const unsigned char* bytes);

signals:
    // Emitted on this object's thread, after the library reported a change of devices.
    void devicesChanged(int code);
    void deviceData(const QString& hex);

private:
    QLibrary m_library;
    bool m_loaded = false;
};
