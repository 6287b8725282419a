#pragma once

#include "device/DeviceLibraryApi.h"
#include "device/devices_handler.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>

// A device library stand-in behind plain function pointers: one device memory and property
// table, and a record of every call, so tests see exactly what reached the library.
struct FakeDeviceLibrary {
    struct Call {
        QString function;
        QString id;
        int size;
        int where;
    };

    static FakeDeviceLibrary* current;

    QByteArray memory = QByteArray(0x10000, '\0');
    QByteArray property = QByteArray(64, '\0');
    QVector<Call> calls;
    int writeResult = 0;
    int notifyResult = 0;
    quint32 lastNotifyBytes = 0;
    QVector<QByteArray> records;  // raw records dcDevices reports
    int reportedCount = -1;       // -1: the number of records
    QString dataCallbackFor;

    FakeDeviceLibrary() { current = this; }
    ~FakeDeviceLibrary() { current = nullptr; }

    // Points every entry point of handler at this library.
    void install(devices_handler* handler);
    static QByteArray record(const QByteArray& deviceId, const QString& hardwareId,
                             const QString& devicePath);
};
