#pragma once

#include "device/DeviceLibraryApi.h"

#include <QLibrary>
#include <QString>

// libdc.so loaded as the client loads it, by path with QLibrary, and all eighteen names
// resolved. The library is never unloaded.
struct DcApi {
    DcDeviceExistFn deviceExist = nullptr;
    DcDevicesFn devices = nullptr;
    DcOnDeviceEventFn onDeviceEvent = nullptr;
    DcOnDeviceDataFn onDeviceData = nullptr;
    DcAskFn ask = nullptr;
    DcNotifyFn reset = nullptr;
    DcNotifyFn notify = nullptr;
    DcTransferFn read = nullptr;
    DcTransferFn write = nullptr;
    DcTransferFn readProp = nullptr;
    DcTransferFn writeProp = nullptr;
    DcAskFn scriptOut = nullptr;
    DcAskFn idWrite = nullptr;
    DcRomFn rebootRom = nullptr;
    DcRomFn finishUpdateRom = nullptr;
    DcCheckRomFn checkRom = nullptr;
    DcBornRomFn bornRom = nullptr;
    DcRomFn eraseRom = nullptr;

    // False with *error when the library does not load or a name does not resolve.
    bool load(const QString& path, QString* error);

private:
    QLibrary m_library;
};
