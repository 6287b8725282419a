#include "StateFile.h"

#include "DeviceJson.h"
#include "SimConfig.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

namespace {

constexpr int kFormat = 1;

}  // namespace

QByteArray StateFile::serialize(const std::vector<SimDevice>& devices,
                                const QByteArray& configDigest) {
    QJsonArray list;
    for (const SimDevice& device : devices) {
        list.append(DeviceJson::toStateJson(device));
    }
    const QJsonObject root{
        {QStringLiteral("format"), kFormat},
        {QStringLiteral("configDigest"), QString::fromLatin1(configDigest)},
        {QStringLiteral("devices"), list},
    };
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

std::optional<std::vector<SimDevice>> StateFile::load(const QByteArray& configDigest,
                                                      QString* note) const {
    QFile file(m_path);
    if (!file.exists()) {
        return std::nullopt;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        *note = QStringLiteral("cannot read %1: %2").arg(m_path, file.errorString());
        return std::nullopt;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        *note = QStringLiteral("cannot read %1: %2").arg(m_path, file.errorString());
        return std::nullopt;
    }
    const QJsonObject root = QJsonDocument::fromJson(bytes).object();
    if (root.value(QStringLiteral("format")).toInt() != kFormat) {
        *note = QStringLiteral("%1 is not a state file of this simulator; ignored").arg(m_path);
        return std::nullopt;
    }
    if (root.value(QStringLiteral("configDigest")).toString().toLatin1() != configDigest) {
        *note = QStringLiteral(
                    "%1 was saved for another configuration; starting from the "
                    "configuration")
                    .arg(m_path);
        return std::nullopt;
    }
    std::vector<SimDevice> devices;
    const QJsonArray list = root.value(QStringLiteral("devices")).toArray();
    for (const QJsonValue& item : list) {
        QString error;
        std::optional<SimDevice> device = DeviceJson::fromJson(item.toObject(), &error);
        if (!device) {
            *note = QStringLiteral("%1: %2; ignored").arg(m_path, error);
            return std::nullopt;
        }
        devices.push_back(std::move(*device));
    }
    const QString conflict = devicesConflict(devices);
    if (!conflict.isEmpty()) {
        *note = QStringLiteral("%1: %2; ignored").arg(m_path, conflict);
        return std::nullopt;
    }
    return devices;
}

bool StateFile::write(const QByteArray& content, QString* error) const {
    QSaveFile file(m_path);
    if (!file.open(QIODevice::WriteOnly)) {
        *error = QStringLiteral("cannot write %1: %2").arg(m_path, file.errorString());
        return false;
    }
    if (file.write(content) != content.size() || !file.commit()) {
        *error = QStringLiteral("cannot write %1: %2").arg(m_path, file.errorString());
        file.cancelWriting();
        return false;
    }
    return true;
}
