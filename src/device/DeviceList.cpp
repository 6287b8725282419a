#include "DeviceList.h"

#include <cstring>

namespace {

QString narrowField(const unsigned char* record, std::size_t offset, std::size_t size) {
    const char* begin = reinterpret_cast<const char*>(record + offset);
    const void* zero = std::memchr(begin, 0, size);
    const std::size_t length = zero ? static_cast<const char*>(zero) - begin : size;
    return QString::fromUtf8(begin, static_cast<qsizetype>(length));
}

QString wideField(const unsigned char* record, std::size_t offset, std::size_t size) {
    return QString::fromStdU16String(decodeUtf16Field(record, offset, size));
}

}  // namespace

DeviceList::DeviceList() {
    std::memset(bytes, 0, sizeof bytes);
}

quint16 DeviceList::reportedCount() const {
    return static_cast<quint16>(bytes[0] | (bytes[1] << 8));
}

int DeviceList::usableCount() const {
    const int count = reportedCount();
    return count > kMaxRecords ? kMaxRecords : count;
}

const unsigned char* DeviceList::record(int index) const {
    return bytes + 2 + static_cast<std::size_t>(index) * DeviceRecord::kSize;
}

unsigned char* DeviceList::mutableRecord(int index) {
    return bytes + 2 + static_cast<std::size_t>(index) * DeviceRecord::kSize;
}

void DeviceList::setReportedCount(quint16 count) {
    bytes[0] = static_cast<unsigned char>(count & 0xff);
    bytes[1] = static_cast<unsigned char>(count >> 8);
}

bool DeviceSnapshotEntry::operator==(const DeviceSnapshotEntry& other) const {
    return deviceId == other.deviceId && sn == other.sn && version == other.version &&
           hardwareId == other.hardwareId && devicePath == other.devicePath && mask == other.mask;
}

DeviceSnapshotEntry decodeDeviceRecord(const unsigned char* record) {
    using R = DeviceRecord;
    DeviceSnapshotEntry entry;
    entry.deviceId = narrowField(record, R::kDeviceIdOffset, R::kDeviceIdSize);
    entry.sn = narrowField(record, R::kSnOffset, R::kSnSize);
    entry.version = narrowField(record, R::kVersionOffset, R::kVersionSize);
    entry.mask = narrowField(record, R::kMaskOffset, R::kMaskSize);
    entry.hardwareId = wideField(record, R::kHardwareIdOffset, R::kHardwareIdSize);
    entry.devicePath = wideField(record, R::kDevicePathOffset, R::kDevicePathSize);
    return entry;
}

QVector<DeviceSnapshotEntry> decodeDeviceList(const DeviceList& list) {
    QVector<DeviceSnapshotEntry> entries;
    const int count = list.usableCount();
    entries.reserve(count);
    for (int i = 0; i < count; ++i) {
        entries.append(decodeDeviceRecord(list.record(i)));
    }
    return entries;
}

std::u16string decodeUtf16Field(const unsigned char* record, std::size_t offset, std::size_t size) {
    std::u16string text;
    for (std::size_t i = 0; i + 1 < size; i += 2) {
        const char16_t unit =
            static_cast<char16_t>(record[offset + i] | (record[offset + i + 1] << 8));
        if (unit == 0) {
            break;
        }
        text.push_back(unit);
    }
    return text;
}
