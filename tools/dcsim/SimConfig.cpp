#include "SimConfig.h"

#include "DeviceJson.h"
#include "JsonNumbers.h"
#include "device/DeviceLibraryApi.h"

#include <QCryptographicHash>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSet>

namespace {

bool readSetting(const QJsonObject& object, const QString& key, qint64 minimum, qint64 maximum,
                 int* out, QString* error) {
    const QJsonValue value = object.value(key);
    if (value.isUndefined()) {
        return true;
    }
    const std::optional<qint64> number = integerFromJson(value, minimum, maximum);
    if (!number) {
        *error = QStringLiteral("%1 must be an integer from %2 to %3")
                     .arg(key)
                     .arg(minimum)
                     .arg(maximum);
        return false;
    }
    *out = static_cast<int>(*number);
    return true;
}

}  // namespace

std::optional<SimConfig> SimConfig::load(const QString& path, QString* error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return std::nullopt;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        *error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return std::nullopt;
    }
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &parseError);
    if (!document.isObject()) {
        *error = QStringLiteral("%1 is not a JSON object: %2").arg(path, parseError.errorString());
        return std::nullopt;
    }
    std::optional<SimConfig> config = fromJson(document.object(), error);
    if (!config) {
        *error = QStringLiteral("%1: %2").arg(path, *error);
        return std::nullopt;
    }
    config->digest = QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
    return config;
}

std::optional<SimConfig> SimConfig::fromJson(const QJsonObject& object, QString* error) {
    static const QSet<QString> known = {
        QStringLiteral("devices"), QStringLiteral("bootLoaderDelayMs"),
        QStringLiteral("restartDelayMs"), QStringLiteral("eventsPerChange")};
    for (auto it = object.begin(); it != object.end(); ++it) {
        if (!known.contains(it.key()) && !it.key().startsWith(QLatin1Char('_'))) {
            *error = QStringLiteral("unknown key '%1'").arg(it.key());
            return std::nullopt;
        }
    }
    SimConfig config;
    if (!readSetting(object, QStringLiteral("bootLoaderDelayMs"), 0, 600000,
                     &config.settings.bootLoaderDelayMs, error) ||
        !readSetting(object, QStringLiteral("restartDelayMs"), 0, 600000,
                     &config.settings.restartDelayMs, error) ||
        !readSetting(object, QStringLiteral("eventsPerChange"), 1, 10,
                     &config.settings.eventsPerChange, error)) {
        return std::nullopt;
    }
    const QJsonValue devices = object.value(QStringLiteral("devices"));
    if (!devices.isUndefined() && !devices.isArray()) {
        *error = QStringLiteral("devices must be a list");
        return std::nullopt;
    }
    const QJsonArray list = devices.toArray();
    for (int i = 0; i < list.size(); ++i) {
        std::optional<SimDevice> device = DeviceJson::fromJson(list[i].toObject(), error);
        if (!device) {
            *error = QStringLiteral("device %1: %2").arg(i).arg(*error);
            return std::nullopt;
        }
        config.devices.push_back(std::move(*device));
    }
    *error = devicesConflict(config.devices);
    if (!error->isEmpty()) {
        return std::nullopt;
    }
    return config;
}

QString devicesConflict(const std::vector<SimDevice>& devices) {
    if (devices.size() > static_cast<std::size_t>(SimConfig::kMaxDevices)) {
        return QStringLiteral("at most %1 devices").arg(SimConfig::kMaxDevices);
    }
    const QString bootLoaderId = QString::fromUtf16(kBootLoaderHardwareId);
    QSet<QString> seen;
    int inBootLoader = 0;
    for (const SimDevice& device : devices) {
        if (device.hardwareId == bootLoaderId) {
            return QStringLiteral("%1 is the boot-loader id; give the device's normal id")
                .arg(bootLoaderId);
        }
        if (seen.contains(device.hardwareId)) {
            return QStringLiteral("hardware id %1 is used twice").arg(device.hardwareId);
        }
        seen.insert(device.hardwareId);
        inBootLoader += device.bootLoader ? 1 : 0;
    }
    if (inBootLoader > 1) {
        return QStringLiteral("only one device can be in boot-loader mode");
    }
    return QString();
}
