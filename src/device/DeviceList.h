#pragma once

#include <QString>
#include <QVector>
#include <cstddef>
#include <cstdint>
#include <string>

// The device library's enumeration buffer, byte for byte as the library fills it: a 16-bit
// little-endian count followed by 20 fixed slots of 2105 bytes each, no padding.
struct DeviceRecord {
    static constexpr std::size_t kSize = 2105;
    static constexpr std::size_t kDeviceIdOffset = 0, kDeviceIdSize = 40;
    static constexpr std::size_t kVersionOffset = 40, kVersionSize = 17;
    static constexpr std::size_t kSnOffset = 57, kSnSize = 14;
    static constexpr std::size_t kMaskOffset = 71, kMaskSize = 2;
    static constexpr std::size_t kDevicePathOffset = 1085, kDevicePathSize = 510;
    static constexpr std::size_t kHardwareIdOffset = 1595, kHardwareIdSize = 510;

    unsigned char bytes[kSize];
};
static_assert(sizeof(DeviceRecord) == DeviceRecord::kSize, "device record must be packed");

struct DeviceList {
    static constexpr int kMaxRecords = 20;
    static constexpr std::size_t kSize = 2 + kMaxRecords * DeviceRecord::kSize;  // 42102

    unsigned char bytes[kSize];

    DeviceList();
    quint16 reportedCount() const;
    // The count the library reported, clamped to the slots that exist.
    int usableCount() const;
    const unsigned char* record(int index) const;
    unsigned char* mutableRecord(int index);
    void setReportedCount(quint16 count);
};
static_assert(sizeof(DeviceList) == DeviceList::kSize, "device list must be packed");

// The six texts of one record, decoded without ever reading past a field.
struct DeviceSnapshotEntry {
    QString deviceId;
    QString sn;
    QString version;
    QString hardwareId;
    QString devicePath;
    QString mask;

    bool operator==(const DeviceSnapshotEntry& other) const;
};

DeviceSnapshotEntry decodeDeviceRecord(const unsigned char* record);
// A UTF-16LE field of a record up to its first zero unit, never past the field.
std::u16string decodeUtf16Field(const unsigned char* record, std::size_t offset, std::size_t size);
QVector<DeviceSnapshotEntry> decodeDeviceList(const DeviceList& list);
