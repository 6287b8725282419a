#include "device/devices_handler.h"

#include "device/DeviceLog.h"

#include <QCoreApplication>
#include <QMutex>
#include <QMutexLocker>
#include <cstring>

namespace {

// The callbacks reach the handler through this pointer; the lock keeps the handler alive while
// a callback posts to it.
QMutex callbackLock;
devices_handler* callbackTarget = nullptr;
int eventDivider = 0;

template <typename Fn>
void resolve(QLibrary& library, const char* name, Fn* entry) {
    *entry = reinterpret_cast<Fn>(library.resolve(name));
    if (!*entry) {
        qCDebug(lcDevice) << "device library lacks" << name;
    }
}

}  // namespace

devices_handler::devices_handler(const QString& libraryPath, QObject* parent)
    : QObject(parent), m_library(libraryPath) {
    {
        QMutexLocker lock(&callbackLock);
        callbackTarget = this;
    }
    m_loaded = m_library.load();
    if (!m_loaded) {
        qCDebug(lcDevice) << "no device library:" << m_library.errorString();
        return;
    }
    resolve(m_library, "dcDeviceExist", &dcDeviceExist);
    resolve(m_library, "dcDevices", &dcDevices);
    resolve(m_library, "dcOnDeviceEvent", &dcOnDeviceEvent);
    resolve(m_library, "dconDeviceData", &dconDeviceData);
    resolve(m_library, "dcAsk", &dcAsk);
    resolve(m_library, "dcReset", &dcReset);
    resolve(m_library, "dcNotify", &dcNotify);
    resolve(m_library, "dcRead", &dcRead);
    resolve(m_library, "dcWrite", &dcWrite);
    resolve(m_library, "dcReadProp", &dcReadProp);
    resolve(m_library, "dcWriteProp", &dcWriteProp);
    resolve(m_library, "dcScriptOut", &dcScriptOut);
    resolve(m_library, "dcIDWrite", &dcIDWrite);
    resolve(m_library, "dcRebootRom", &dcRebootRom);
    resolve(m_library, "dcFinishUpdateRom", &dcFinishUpdateRom);
    resolve(m_library, "dcCheckRom", &dcCheckRom);
    resolve(m_library, "dcBornRom", &dcBornRom);
    resolve(m_library, "dcEraseRom", &dcEraseRom);

    if (dcOnDeviceEvent) {
        DeviceEventCallback cell = &devices_handler::onDeviceEvent;
        dcOnDeviceEvent(&cell);
    }
}

devices_handler::~devices_handler() {
    // The library stays loaded and keeps its callbacks; they find no handler from now on.
    QMutexLocker lock(&callbackLock);
    if (callbackTarget == this) {
        callbackTarget = nullptr;
    }
}

QString devices_handler::defaultLibraryPath() {
    return QCoreApplication::applicationDirPath() + QStringLiteral("/libdc.so");
}

DeviceList devices_handler::getDevices() {
    DeviceList list;
    if (!dcDevices) {
        return list;
    }
    DeviceFilter filter{};
    filter.words[0] = 0xFFA00001u;
    filter.words[1] = 0xFFAA0001u;
    dcDevices(filter, list.bytes, static_cast<int>(DeviceList::kSize));
    if (list.reportedCount() > 0 && dconDeviceData) {
        const unsigned char* first = list.record(0);
        // Copied out and terminated: the library gets aligned strings that end inside their
        // buffers whatever the record holds.
        const std::u16string hardwareId =
            decodeUtf16Field(first, DeviceRecord::kHardwareIdOffset, DeviceRecord::kHardwareIdSize);
        const std::u16string devicePath =
            decodeUtf16Field(first, DeviceRecord::kDevicePathOffset, DeviceRecord::kDevicePathSize);
        DeviceDataCallback cell = &devices_handler::onDeviceBytes;
        dconDeviceData(hardwareId.c_str(), devicePath.c_str(), kDeviceCallMagic, &cell);
    }
    return list;
}

bool devices_handler::notify(const QString& hardwareId, int type, int data) {
    if (!dcNotify) {
        return false;
    }
    const std::uint32_t bytes =
        static_cast<std::uint32_t>(type & 0xff) | (static_cast<std::uint32_t>(data & 0xff) << 8);
    unsigned char cell = 0;
    return dcNotify(reinterpret_cast<const char16_t*>(hardwareId.utf16()), u"", kDeviceCallMagic,
                    bytes, &cell, 0) == 0;
}

void devices_handler::read(unsigned char* buffer, const QString& hardwareId, int size,
                           int address) {
    if (dcRead) {
        dcRead(reinterpret_cast<const char16_t*>(hardwareId.utf16()), u"", kDeviceCallMagic, buffer,
               size, address);
    }
}

bool devices_handler::write(const QString& hardwareId, unsigned char* buffer, int size,
                            int address) {
    return dcWrite && dcWrite(reinterpret_cast<const char16_t*>(hardwareId.utf16()), u"",
                              kDeviceCallMagic, buffer, size, address) == 0;
}

bool devices_handler::takeEventTurn() {
    const bool acted = eventDivider == 0;
    eventDivider = (eventDivider + 1) % 5;
    return acted;
}

QString devices_handler::hexOfEightBytes(const unsigned char* bytes) {
    static const char digits[] = "0123456789abcdef";
    QString hex(16, QLatin1Char('0'));
    for (int i = 0; i < 8; ++i) {
        hex[2 * i] = QLatin1Char(digits[bytes[i] >> 4]);
        hex[2 * i + 1] = QLatin1Char(digits[bytes[i] & 0x0f]);
    }
    return hex;
}

int devices_handler::onDeviceEvent(std::uint32_t code) {
    QMutexLocker lock(&callbackLock);
    if (!callbackTarget || !takeEventTurn()) {
        return 1;
    }
    devices_handler* target = callbackTarget;
    const int lowBits = static_cast<int>(code & 0xffffu);
    QMetaObject::invokeMethod(
        target, [target, lowBits] { emit target->devicesChanged(lowBits); }, Qt::QueuedConnection);
    return 1;
}

int devices_handler::onDeviceBytes(const unsigned char* const* data, void* unused) {
    Q_UNUSED(unused);
    if (!data || !*data) {
        return 1;
    }
    unsigned char bytes[8];
    std::memcpy(bytes, *data, sizeof bytes);
    const QString hex = hexOfEightBytes(bytes);
    QMutexLocker lock(&callbackLock);
    if (devices_handler* target = callbackTarget) {
        QMetaObject::invokeMethod(
            target, [target, hex] { emit target->deviceData(hex); }, Qt::QueuedConnection);
    }
    return 1;
}
