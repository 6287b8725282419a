#include "DeviceJson.h"

#include "HexBytes.h"
#include "JsonNumbers.h"
#include "device/DeviceList.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QSet>
#include <cstring>

namespace DeviceJson {

namespace {

// Zero bytes shorter than this do not split a run of memory in the state file.
constexpr int kRunGap = 16;

const QSet<QString>& knownKeys() {
    static const QSet<QString> keys = {
        QStringLiteral("DeviceID"),
        QStringLiteral("Version"),
        QStringLiteral("SN"),
        QStringLiteral("MASK"),
        QStringLiteral("DevicePath"),
        QStringLiteral("HardwareID"),
        QStringLiteral("memorySize"),
        QStringLiteral("memory"),
        QStringLiteral("properties"),
        QStringLiteral("firmwareVersionAfterUpdate"),
        QStringLiteral("bootLoader"),
        QStringLiteral("firmwareImage"),
        QStringLiteral("lastNotification"),
    };
    return keys;
}

bool readText(const QJsonObject& object, const QString& key, int maxUtf8Bytes, bool required,
              QString* out, QString* error) {
    const QJsonValue value = object.value(key);
    if (value.isUndefined()) {
        if (required) {
            *error = QStringLiteral("%1 is missing").arg(key);
        }
        return !required;
    }
    if (!value.isString()) {
        *error = QStringLiteral("%1 must be a text").arg(key);
        return false;
    }
    const QString text = value.toString();
    if (text.toUtf8().size() > maxUtf8Bytes || text.contains(QChar(0))) {
        *error = QStringLiteral("%1 does not fit its %2-byte field").arg(key).arg(maxUtf8Bytes);
        return false;
    }
    *out = text;
    return true;
}

bool readWideText(const QJsonObject& object, const QString& key, bool required, QString* out,
                  QString* error) {
    constexpr int kMaxUnits = static_cast<int>(DeviceRecord::kHardwareIdSize / 2);
    const QJsonValue value = object.value(key);
    if (value.isUndefined() && !required) {
        return true;
    }
    if (!value.isString() || value.toString().isEmpty()) {
        *error = QStringLiteral("%1 must be a non-empty text").arg(key);
        return false;
    }
    const QString text = value.toString();
    if (text.size() > kMaxUnits || text.contains(QChar(0))) {
        *error = QStringLiteral("%1 is longer than %2 UTF-16 units").arg(key).arg(kMaxUnits);
        return false;
    }
    *out = text;
    return true;
}

bool readMemory(const QJsonObject& object, SimDevice* device, QString* error) {
    const QJsonValue sizeValue = object.value(QStringLiteral("memorySize"));
    qint64 size = SimDevice::kDefaultMemorySize;
    if (!sizeValue.isUndefined()) {
        const std::optional<qint64> parsed =
            integerFromJson(sizeValue, SimDevice::kDefaultMemorySize, SimDevice::kMaxMemorySize);
        if (!parsed) {
            *error = QStringLiteral("memorySize must be an integer from %1 to %2")
                         .arg(SimDevice::kDefaultMemorySize)
                         .arg(SimDevice::kMaxMemorySize);
            return false;
        }
        size = *parsed;
    }
    device->memory = QByteArray(static_cast<int>(size), '\0');

    const QJsonValue runs = object.value(QStringLiteral("memory"));
    if (runs.isUndefined()) {
        return true;
    }
    if (!runs.isArray()) {
        *error = QStringLiteral("memory must be a list of {\"address\", \"data\"} objects");
        return false;
    }
    for (const QJsonValue& run : runs.toArray()) {
        const QJsonObject item = run.toObject();
        const std::optional<qint64> address =
            integerFromJson(item.value(QStringLiteral("address")), 0, size);
        const std::optional<QByteArray> data = HexBytes::parse(item.value(QStringLiteral("data")));
        if (!address || !data) {
            *error = QStringLiteral("memory: each item needs an address and hex data");
            return false;
        }
        if (*address + data->size() > size) {
            *error = QStringLiteral("memory: data at %1 runs past memorySize").arg(*address);
            return false;
        }
        std::memcpy(device->memory.data() + *address, data->constData(),
                    static_cast<std::size_t>(data->size()));
    }
    return true;
}

bool readProperties(const QJsonObject& object, SimDevice* device, QString* error) {
    const QJsonValue value = object.value(QStringLiteral("properties"));
    if (value.isUndefined()) {
        return true;
    }
    if (!value.isObject()) {
        *error = QStringLiteral("properties must map ids to hex bytes");
        return false;
    }
    const QJsonObject properties = value.toObject();
    for (auto it = properties.begin(); it != properties.end(); ++it) {
        const std::optional<qint64> id = integerFromText(it.key(), 0, 0x7fffffff);
        const std::optional<QByteArray> bytes = HexBytes::parse(it.value());
        if (!id) {
            *error = QStringLiteral("property id '%1' is not an integer >= 0").arg(it.key());
            return false;
        }
        if (!bytes) {
            *error = QStringLiteral("property %1 is not a hex byte list").arg(it.key());
            return false;
        }
        device->properties[static_cast<int>(*id)] = *bytes;
    }
    return true;
}

bool readUpdateState(const QJsonObject& object, SimDevice* device, QString* error) {
    device->bootLoader = object.value(QStringLiteral("bootLoader")).toBool(false);

    const QJsonValue image = object.value(QStringLiteral("firmwareImage"));
    if (!image.isUndefined()) {
        const QJsonObject item = image.toObject();
        const std::optional<QByteArray> data =
            HexBytes::parse(item.value(QStringLiteral("data")).toString());
        if (!data ||
            !device->image.restore(item.value(QStringLiteral("erased")).toBool(),
                                   item.value(QStringLiteral("verified")).toBool(), *data)) {
            *error = QStringLiteral("firmwareImage is not a valid image");
            return false;
        }
    }

    const QJsonValue notification = object.value(QStringLiteral("lastNotification"));
    if (notification.isObject()) {
        const QJsonObject item = notification.toObject();
        const std::optional<qint64> type =
            integerFromJson(item.value(QStringLiteral("type")), 0, 255);
        const std::optional<qint64> data =
            integerFromJson(item.value(QStringLiteral("data")), 0, 255);
        if (!type || !data) {
            *error = QStringLiteral("lastNotification needs a type and data of 0..255");
            return false;
        }
        device->lastNotification =
            SimDevice::Notification{static_cast<int>(*type), static_cast<int>(*data)};
    }
    return true;
}

QJsonArray memoryRuns(const QByteArray& memory) {
    QJsonArray runs;
    const int size = static_cast<int>(memory.size());
    int i = 0;
    while (i < size) {
        if (memory[i] == '\0') {
            ++i;
            continue;
        }
        const int start = i;
        int end = i;  // one past the last non-zero byte of the run
        while (i < size && i - end < kRunGap) {
            if (memory[i] != '\0') {
                end = i + 1;
            }
            ++i;
        }
        runs.append(QJsonObject{
            {QStringLiteral("address"), start},
            {QStringLiteral("data"), HexBytes::format(memory.mid(start, end - start))},
        });
        i = end;
    }
    return runs;
}

QJsonObject propertiesJson(const SimDevice& device) {
    QJsonObject properties;
    for (const auto& [id, bytes] : device.properties) {
        properties.insert(QString::number(id), HexBytes::format(bytes));
    }
    return properties;
}

QJsonValue notificationJson(const SimDevice& device) {
    if (!device.lastNotification) {
        return QJsonValue::Null;
    }
    return QJsonObject{
        {QStringLiteral("type"), device.lastNotification->type},
        {QStringLiteral("data"), device.lastNotification->data},
    };
}

QJsonObject recordJson(const SimDevice& device) {
    QJsonObject object{
        {QStringLiteral("DeviceID"), device.deviceId},
        {QStringLiteral("Version"), device.version},
        {QStringLiteral("SN"), device.sn},
        {QStringLiteral("MASK"), device.mask},
        {QStringLiteral("DevicePath"), device.devicePath},
        {QStringLiteral("HardwareID"), device.hardwareId},
        {QStringLiteral("memorySize"), static_cast<int>(device.memory.size())},
        {QStringLiteral("properties"), propertiesJson(device)},
        {QStringLiteral("bootLoader"), device.bootLoader},
        {QStringLiteral("lastNotification"), notificationJson(device)},
    };
    if (!device.versionAfterUpdate.isEmpty()) {
        object.insert(QStringLiteral("firmwareVersionAfterUpdate"), device.versionAfterUpdate);
    }
    return object;
}

}  // namespace

std::optional<SimDevice> fromJson(const QJsonObject& object, QString* error) {
    for (auto it = object.begin(); it != object.end(); ++it) {
        if (!knownKeys().contains(it.key()) && !it.key().startsWith(QLatin1Char('_'))) {
            *error = QStringLiteral("unknown key '%1'").arg(it.key());
            return std::nullopt;
        }
    }
    SimDevice device;
    const bool ok =
        readText(object, QStringLiteral("DeviceID"), DeviceRecord::kDeviceIdSize, true,
                 &device.deviceId, error) &&
        readText(object, QStringLiteral("Version"), DeviceRecord::kVersionSize, false,
                 &device.version, error) &&
        readText(object, QStringLiteral("SN"), DeviceRecord::kSnSize, false, &device.sn, error) &&
        readText(object, QStringLiteral("MASK"), DeviceRecord::kMaskSize, false, &device.mask,
                 error) &&
        readText(object, QStringLiteral("firmwareVersionAfterUpdate"), DeviceRecord::kVersionSize,
                 false, &device.versionAfterUpdate, error) &&
        readWideText(object, QStringLiteral("HardwareID"), true, &device.hardwareId, error) &&
        readWideText(object, QStringLiteral("DevicePath"), false, &device.devicePath, error) &&
        readMemory(object, &device, error) && readProperties(object, &device, error) &&
        readUpdateState(object, &device, error);
    if (!ok) {
        return std::nullopt;
    }
    return device;
}

QJsonObject toStateJson(const SimDevice& device) {
    QJsonObject object = recordJson(device);
    object.insert(QStringLiteral("memory"), memoryRuns(device.memory));
    object.insert(QStringLiteral("firmwareImage"),
                  QJsonObject{
                      {QStringLiteral("erased"), device.image.erased()},
                      {QStringLiteral("verified"), device.image.verified()},
                      {QStringLiteral("data"), HexBytes::format(device.image.writtenBytes())},
                  });
    return object;
}

QJsonObject toReportJson(const SimDevice& device) {
    QJsonObject object = recordJson(device);
    object.insert(QStringLiteral("listedHardwareId"), device.listedHardwareId());
    object.insert(QStringLiteral("present"), device.present);
    object.insert(QStringLiteral("memorySha256"),
                  QString::fromLatin1(
                      QCryptographicHash::hash(device.memory, QCryptographicHash::Sha256).toHex()));
    qint64 nonZero = 0;
    for (char byte : device.memory) {
        nonZero += byte != '\0' ? 1 : 0;
    }
    object.insert(QStringLiteral("memoryNonZeroBytes"), nonZero);
    object.insert(
        QStringLiteral("firmwareImage"),
        QJsonObject{
            {QStringLiteral("erased"), device.image.erased()},
            {QStringLiteral("verified"), device.image.verified()},
            {QStringLiteral("size"), device.image.writtenSize()},
            {QStringLiteral("crc32"),
             QStringLiteral("0x%1").arg(device.image.writtenCrc(), 8, 16, QLatin1Char('0'))},
        });
    return object;
}

}  // namespace DeviceJson
