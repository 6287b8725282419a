#include "DeviceCalls.h"

#include "SimResult.h"
#include "device/DeviceList.h"

#include <algorithm>
#include <cstring>
#include <optional>

namespace DeviceCalls {

namespace {

// Longer texts are not hardware ids; the limit keeps a missing terminator from running far.
constexpr std::size_t kMaxIdUnits = 1024;

enum class Mode { Any, Normal, BootLoader };

std::optional<QString> wideText(const char16_t* text) {
    if (!text) {
        return std::nullopt;
    }
    std::size_t length = 0;
    while (length < kMaxIdUnits && text[length] != 0) {
        ++length;
    }
    if (length == kMaxIdUnits) {
        return std::nullopt;
    }
    return QString::fromUtf16(text, static_cast<qsizetype>(length));
}

// The device a per-device call addresses, or null with *result saying why.
SimDevice* target(SimWorld& world, const char16_t* id, const char16_t* empty, int magic, Mode mode,
                  int* result) {
    const std::optional<QString> hardwareId = wideText(id);
    if (magic != kDeviceCallMagic || !hardwareId || !empty) {
        *result = kSimBadArgument;
        return nullptr;
    }
    SimDevice* device = world.listedDevice(*hardwareId);
    if (!device) {
        *result = kSimNoDevice;
        return nullptr;
    }
    if ((mode == Mode::Normal && device->bootLoader) ||
        (mode == Mode::BootLoader && !device->bootLoader)) {
        *result = kSimWrongMode;
        return nullptr;
    }
    *result = kSimOk;
    return device;
}

bool transferSizeValid(const void* buffer, int size) {
    return buffer && size >= 0 && size <= kDeviceBufferSize;
}

void putText(unsigned char* record, std::size_t offset, std::size_t size, const QString& text) {
    const QByteArray bytes = text.toUtf8();
    std::memcpy(record + offset, bytes.constData(),
                std::min(size, static_cast<std::size_t>(bytes.size())));
}

void putWideText(unsigned char* record, std::size_t offset, std::size_t size, const QString& text) {
    for (qsizetype i = 0; i < text.size() && static_cast<std::size_t>(2 * i + 1) < size; ++i) {
        const char16_t unit = text[i].unicode();
        record[offset + 2 * i] = static_cast<unsigned char>(unit & 0xFF);
        record[offset + 2 * i + 1] = static_cast<unsigned char>(unit >> 8);
    }
}

void putRecord(unsigned char* record, const SimDevice& device) {
    putText(record, DeviceRecord::kDeviceIdOffset, DeviceRecord::kDeviceIdSize, device.deviceId);
    putText(record, DeviceRecord::kVersionOffset, DeviceRecord::kVersionSize, device.version);
    putText(record, DeviceRecord::kSnOffset, DeviceRecord::kSnSize, device.sn);
    putText(record, DeviceRecord::kMaskOffset, DeviceRecord::kMaskSize, device.mask);
    putWideText(record, DeviceRecord::kDevicePathOffset, DeviceRecord::kDevicePathSize,
                device.devicePath);
    putWideText(record, DeviceRecord::kHardwareIdOffset, DeviceRecord::kHardwareIdSize,
                device.listedHardwareId());
}

// Runs work on the device a call names, under the world's lock; the refusal when the call names
// no device in the right mode.
template <typename Work>
int onDevice(SimWorld& world, const char16_t* id, const char16_t* empty, int magic, Mode mode,
             Work work) {
    auto guard = world.lock();
    int result = kSimOk;
    SimDevice* device = target(world, id, empty, magic, mode, &result);
    return device ? work(device) : result;
}

}  // namespace

int deviceExist(SimWorld& world, const char16_t* hardwareId) {
    const std::optional<QString> id = wideText(hardwareId);
    if (!id) {
        return kSimBadArgument;
    }
    auto guard = world.lock();
    return world.listedDevice(*id) ? kSimOk : kSimNoDevice;
}

int devices(SimWorld& world, const DeviceFilter& filter, unsigned char* list, int size) {
    if (!list || size < static_cast<int>(DeviceList::kSize) || filter.words[0] != 0xFFA00001u ||
        filter.words[1] != 0xFFAA0001u) {
        return kSimBadArgument;
    }
    auto guard = world.lock();
    std::memset(list, 0, DeviceList::kSize);
    int count = 0;
    for (const SimDevice& device : world.devices()) {
        if (!device.present || count == DeviceList::kMaxRecords) {
            continue;
        }
        putRecord(list + 2 + DeviceRecord::kSize * static_cast<std::size_t>(count), device);
        ++count;
    }
    list[0] = static_cast<unsigned char>(count & 0xFF);
    list[1] = static_cast<unsigned char>(count >> 8);
    return kSimOk;
}

int onDeviceEvent(SimWorld& world, DeviceEventCallback* cell) {
    if (!cell) {
        return kSimBadArgument;
    }
    const DeviceEventCallback callback = *cell;
    auto guard = world.lock();
    world.setEventCallback(callback);
    return kSimOk;
}

int onDeviceData(SimWorld& world, const char16_t* hardwareId, const char16_t* devicePath, int magic,
                 DeviceDataCallback* cell) {
    const std::optional<QString> id = wideText(hardwareId);
    const std::optional<QString> path = wideText(devicePath);
    if (magic != kDeviceCallMagic || !id || !path || !cell) {
        return kSimBadArgument;
    }
    const DeviceDataCallback callback = *cell;
    auto guard = world.lock();
    if (!world.listedDevice(*id)) {
        return kSimNoDevice;
    }
    world.setDataRegistration({callback, *id, *path});
    return kSimOk;
}

int ask(SimWorld& world, const char16_t* id, const char16_t* empty, int magic) {
    auto guard = world.lock();
    int result = kSimOk;
    target(world, id, empty, magic, Mode::Any, &result);
    return result;
}

int notify(SimWorld& world, const char16_t* id, const char16_t* empty, int magic,
           std::uint32_t bytes, unsigned char* cell, int zero) {
    if (!cell) {
        return kSimBadArgument;
    }
    return onDevice(world, id, empty, magic, Mode::Normal, [&](SimDevice* device) {
        device->lastNotification = SimDevice::Notification{static_cast<int>(bytes & 0xFF),
                                                           static_cast<int>((bytes >> 8) & 0xFF)};
        world.markChanged();
        return kSimOk;
    });
}

int reset(SimWorld& world, const char16_t* id, const char16_t* empty, int magic,
          std::uint32_t bytes, unsigned char* cell, int zero) {
    if (!cell) {
        return kSimBadArgument;
    }
    return onDevice(world, id, empty, magic, Mode::Normal, [&](SimDevice* device) {
        const bool toBootLoader = (bytes & 0xFFFFu) == 0x0001u;
        if (!toBootLoader) {
            return kSimOk;
        }
        // Two devices under the one boot-loader id could not be told apart.
        for (const SimDevice& other : world.devices()) {
            if (other.bootLoader) {
                return kSimRefused;
            }
        }
        device->bootLoader = true;
        device->image = FirmwareImage();
        world.restartDevice(*device, world.settings().bootLoaderDelayMs);
        return kSimOk;
    });
}

namespace {

enum class Transfer { Read, Write };

int transferMemory(SimWorld& world, const char16_t* id, const char16_t* empty, int magic,
                   unsigned char* buffer, int size, int address, Transfer direction) {
    if (!transferSizeValid(buffer, size) || address < 0) {
        return kSimBadArgument;
    }
    return onDevice(world, id, empty, magic, Mode::Normal, [&](SimDevice* device) {
        if (static_cast<qint64>(address) + size > device->memory.size()) {
            return kSimOutOfRange;
        }
        if (direction == Transfer::Read) {
            std::memcpy(buffer, device->memory.constData() + address,
                        static_cast<std::size_t>(size));
        } else {
            std::memcpy(device->memory.data() + address, buffer, static_cast<std::size_t>(size));
            world.markChanged();
        }
        return kSimOk;
    });
}

}  // namespace

int read(SimWorld& world, const char16_t* id, const char16_t* empty, int magic,
         unsigned char* buffer, int size, int address) {
    return transferMemory(world, id, empty, magic, buffer, size, address, Transfer::Read);
}

int write(SimWorld& world, const char16_t* id, const char16_t* empty, int magic,
          unsigned char* buffer, int size, int address) {
    return transferMemory(world, id, empty, magic, buffer, size, address, Transfer::Write);
}

int readProperty(SimWorld& world, const char16_t* id, const char16_t* empty, int magic,
                 unsigned char* buffer, int size, int property) {
    if (!transferSizeValid(buffer, size) || property < 0) {
        return kSimBadArgument;
    }
    return onDevice(world, id, empty, magic, Mode::Normal, [&](SimDevice* device) {
        const auto found = device->properties.find(property);
        if (found == device->properties.end()) {
            return kSimOutOfRange;
        }
        const QByteArray& value = found->second;
        const std::size_t copied =
            std::min(static_cast<std::size_t>(size), static_cast<std::size_t>(value.size()));
        std::memcpy(buffer, value.constData(), copied);
        std::memset(buffer + copied, 0, static_cast<std::size_t>(size) - copied);
        return kSimOk;
    });
}

int writeProperty(SimWorld& world, const char16_t* id, const char16_t* empty, int magic,
                  unsigned char* buffer, int size, int property) {
    if (!transferSizeValid(buffer, size) || property < 0) {
        return kSimBadArgument;
    }
    return onDevice(world, id, empty, magic, Mode::Normal, [&](SimDevice* device) {
        device->properties[property] = QByteArray(reinterpret_cast<const char*>(buffer), size);
        world.markChanged();
        return kSimOk;
    });
}

int rebootRom(SimWorld& world, const char16_t* id, const char16_t* empty, int magic) {
    return ask(world, id, empty, magic);
}

int eraseRom(SimWorld& world, const char16_t* id, const char16_t* empty, int magic) {
    return onDevice(world, id, empty, magic, Mode::BootLoader, [&](SimDevice* device) {
        device->image.erase();
        world.markChanged();
        return kSimOk;
    });
}

int bornRom(SimWorld& world, const char16_t* id, const char16_t* empty, int magic,
            const unsigned char* block, int length, int offset) {
    if (!block || length < 0 || length > kFirmwareBlockSize || offset < 0) {
        return kSimBadArgument;
    }
    return onDevice(world, id, empty, magic, Mode::BootLoader, [&](SimDevice* device) {
        if (offset > FirmwareImage::kCapacity - length) {
            return kSimOutOfRange;
        }
        if (!device->image.writeBlock(block, length, offset)) {
            return kSimRefused;  // not erased yet
        }
        world.markChanged();
        return kSimOk;
    });
}

int checkRom(SimWorld& world, const char16_t* id, const char16_t* empty, int magic,
             std::uint32_t size, std::uint32_t checkValue) {
    return onDevice(world, id, empty, magic, Mode::BootLoader, [&](SimDevice* device) {
        const bool valid = device->image.check(size, checkValue);
        world.markChanged();
        return valid ? kSimOk : kSimCheckFailed;
    });
}

int finishUpdateRom(SimWorld& world, const char16_t* id, const char16_t* empty, int magic) {
    return onDevice(world, id, empty, magic, Mode::BootLoader, [&](SimDevice* device) {
        // An erased program that was not verified cannot start: the device stays in its
        // boot-loader. Without an erase the old program is intact and starts again.
        if (device->image.erased() && !device->image.verified()) {
            return kSimRefused;
        }
        if (device->image.verified()) {
            device->version = device->updatedVersion();
        }
        device->bootLoader = false;
        device->image = FirmwareImage();
        world.restartDevice(*device, world.settings().restartDelayMs);
        return kSimOk;
    });
}

}  // namespace DeviceCalls
