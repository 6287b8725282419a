#include "FakeDeviceLibrary.h"

#include "device/DeviceList.h"

#include <cstring>

FakeDeviceLibrary* FakeDeviceLibrary::current = nullptr;

namespace {

QString text(const char16_t* s) {
    return s ? QString::fromUtf16(s) : QString();
}

bool inMemory(int size, int address) {
    return size >= 0 && size <= 2048 && address >= 0 &&
           address + size <= FakeDeviceLibrary::current->memory.size();
}

int fakeRead(const char16_t* id, const char16_t*, int, unsigned char* buffer, int size, int at) {
    auto* lib = FakeDeviceLibrary::current;
    lib->calls.append({"dcRead", text(id), size, at});
    if (!inMemory(size, at)) {
        return 1;
    }
    std::memcpy(buffer, lib->memory.constData() + at, static_cast<size_t>(size));
    return 0;
}

int fakeWrite(const char16_t* id, const char16_t*, int, unsigned char* buffer, int size, int at) {
    auto* lib = FakeDeviceLibrary::current;
    lib->calls.append({"dcWrite", text(id), size, at});
    if (!inMemory(size, at) || lib->writeResult != 0) {
        return lib->writeResult ? lib->writeResult : 1;
    }
    std::memcpy(lib->memory.data() + at, buffer, static_cast<size_t>(size));
    return 0;
}

int fakeReadProp(const char16_t* id, const char16_t*, int, unsigned char* buffer, int size,
                 int prop) {
    auto* lib = FakeDeviceLibrary::current;
    lib->calls.append({"dcReadProp", text(id), size, prop});
    std::memcpy(buffer, lib->property.constData(),
                static_cast<size_t>(qMin(size, int(lib->property.size()))));
    return 0;
}

int fakeWriteProp(const char16_t* id, const char16_t*, int, unsigned char* buffer, int size,
                  int prop) {
    auto* lib = FakeDeviceLibrary::current;
    lib->calls.append({"dcWriteProp", text(id), size, prop});
    if (lib->writeResult != 0) {
        return lib->writeResult;
    }
    lib->property = QByteArray(reinterpret_cast<const char*>(buffer), size);
    return 0;
}

int fakeNotify(const char16_t* id, const char16_t*, int, std::uint32_t bytes, unsigned char*, int) {
    auto* lib = FakeDeviceLibrary::current;
    lib->calls.append({"dcNotify", text(id), 0, 0});
    lib->lastNotifyBytes = bytes;
    return lib->notifyResult;
}

int fakeDevices(DeviceFilter filter, unsigned char* list, int size) {
    auto* lib = FakeDeviceLibrary::current;
    lib->calls.append({"dcDevices", QString(), size, static_cast<int>(filter.words[0])});
    DeviceList* out = reinterpret_cast<DeviceList*>(list);
    for (int i = 0; i < lib->records.size() && i < DeviceList::kMaxRecords; ++i) {
        std::memcpy(out->mutableRecord(i), lib->records.at(i).constData(), DeviceRecord::kSize);
    }
    out->setReportedCount(
        static_cast<quint16>(lib->reportedCount >= 0 ? lib->reportedCount : lib->records.size()));
    return 0;
}

int fakeOnDeviceData(const char16_t* hardwareId, const char16_t*, int, DeviceDataCallback*) {
    FakeDeviceLibrary::current->dataCallbackFor = text(hardwareId);
    return 0;
}

}  // namespace

void FakeDeviceLibrary::install(devices_handler* handler) {
    handler->dcRead = fakeRead;
    handler->dcWrite = fakeWrite;
    handler->dcReadProp = fakeReadProp;
    handler->dcWriteProp = fakeWriteProp;
    handler->dcNotify = fakeNotify;
    handler->dcDevices = fakeDevices;
    handler->dconDeviceData = fakeOnDeviceData;
}

QByteArray FakeDeviceLibrary::record(const QByteArray& deviceId, const QString& hardwareId,
                                     const QString& devicePath) {
    QByteArray bytes(DeviceRecord::kSize, '\0');
    std::memcpy(bytes.data(), deviceId.constData(), static_cast<size_t>(deviceId.size()));
    for (int i = 0; i < hardwareId.size(); ++i) {
        bytes[int(DeviceRecord::kHardwareIdOffset) + 2 * i] =
            char(hardwareId.at(i).unicode() & 0xff);
        bytes[int(DeviceRecord::kHardwareIdOffset) + 2 * i + 1] =
            char(hardwareId.at(i).unicode() >> 8);
    }
    for (int i = 0; i < devicePath.size(); ++i) {
        bytes[int(DeviceRecord::kDevicePathOffset) + 2 * i] =
            char(devicePath.at(i).unicode() & 0xff);
        bytes[int(DeviceRecord::kDevicePathOffset) + 2 * i + 1] =
            char(devicePath.at(i).unicode() >> 8);
    }
    return bytes;
}
