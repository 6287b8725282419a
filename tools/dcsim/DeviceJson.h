#pragma once

#include "SimDevice.h"

#include <QJsonObject>
#include <QString>
#include <optional>

// A device as a JSON object. The same keys describe a device in the configuration, in a
// `dcsim attach` file and in the state file:
//   DeviceID, Version, SN, MASK, DevicePath, HardwareID   texts of the device list record
//   memorySize                     bytes of memory, at least 65536 (the default)
//   memory                         [{"address": N, "data": HEX}, ...] initial contents
//   properties                     {"ID": HEX, ...}
//   firmwareVersionAfterUpdate     version after a verified update
//   bootLoader, firmwareImage, lastNotification   update and notification state
// Keys starting with "_" are comments and ignored.
namespace DeviceJson {

// Nothing, with *error set, when a key is unknown or a value does not fit its record field.
std::optional<SimDevice> fromJson(const QJsonObject& object, QString* error);

// Everything fromJson reads back; memory as runs of non-zero bytes.
QJsonObject toStateJson(const SimDevice& device);

// What `dcsim state` shows: memory as a SHA-256 digest and a count of non-zero bytes, the
// firmware image as its size and CRC-32.
QJsonObject toReportJson(const SimDevice& device);

}  // namespace DeviceJson
