#include "ControlCommands.h"

#include "DeviceJson.h"
#include "HexBytes.h"
#include "JsonNumbers.h"

#include <QJsonDocument>
#include <QRegularExpression>

namespace ControlCommands {

namespace {

struct Reply {
    QString error;
    QJsonObject fields;
};

Reply failure(const QString& error) {
    return Reply{error, {}};
}

// The text form "NAME ARGUMENT" as the equivalent JSON request.
QJsonObject requestFromText(const QString& line) {
    const QString trimmed = line.trimmed();
    const qsizetype space = trimmed.indexOf(QLatin1Char(' '));
    const QString name = space < 0 ? trimmed : trimmed.left(space);
    const QString argument = space < 0 ? QString() : trimmed.mid(space + 1).trimmed();
    QJsonObject request{{QStringLiteral("cmd"), name}};
    if (name == QLatin1String("attach")) {
        request.insert(QStringLiteral("device"),
                       QJsonDocument::fromJson(argument.toUtf8()).object());
    } else if (name == QLatin1String("detach")) {
        request.insert(QStringLiteral("hardwareId"), argument);
    } else if (name == QLatin1String("event")) {
        request.insert(QStringLiteral("code"), argument);
    } else if (name == QLatin1String("data")) {
        request.insert(QStringLiteral("hex"), argument);
    }
    return request;
}

Reply attach(SimWorld& world, const QJsonObject& request) {
    const QJsonValue value = request.value(QStringLiteral("device"));
    if (!value.isObject() || value.toObject().isEmpty()) {
        return failure(QStringLiteral("attach needs a device object"));
    }
    QString error;
    std::optional<SimDevice> device = DeviceJson::fromJson(value.toObject(), &error);
    if (!device) {
        return failure(error);
    }
    auto guard = world.lock();
    std::vector<SimDevice> candidate = world.devices();  // memory is shared, not copied
    candidate.push_back(*device);
    error = devicesConflict(candidate);
    if (!error.isEmpty()) {
        return failure(error);
    }
    const QString listedId = device->listedHardwareId();
    world.devices().push_back(std::move(*device));
    world.queueDeviceChange(SimWorld::kDeviceArrived);
    world.markChanged();
    return Reply{QString(), QJsonObject{{QStringLiteral("hardwareId"), listedId}}};
}

Reply detach(SimWorld& world, const QJsonObject& request) {
    const QString id = request.value(QStringLiteral("hardwareId")).toString();
    if (id.isEmpty()) {
        return failure(QStringLiteral("detach needs a hardware id"));
    }
    auto guard = world.lock();
    std::vector<SimDevice>& devices = world.devices();
    for (auto it = devices.begin(); it != devices.end(); ++it) {
        if (it->hardwareId == id || it->listedHardwareId() == id) {
            const bool wasListed = it->present;
            devices.erase(it);
            if (wasListed) {
                world.queueDeviceChange(SimWorld::kDeviceRemoved);
            }
            world.markChanged();
            return Reply{};
        }
    }
    return failure(QStringLiteral("no device %1").arg(id));
}

Reply event(SimWorld& world, const QJsonObject& request) {
    const std::optional<qint64> code =
        integerFromJson(request.value(QStringLiteral("code")), 0, 0xFFFFFFFFLL);
    if (!code) {
        return failure(QStringLiteral("event needs a code from 0 to 0xffffffff"));
    }
    auto guard = world.lock();
    world.queueEvent(static_cast<std::uint32_t>(*code));
    return Reply{};
}

Reply data(SimWorld& world, const QJsonObject& request) {
    static const QRegularExpression sixteenDigits(QStringLiteral("^[0-9A-Fa-f]{16}$"));
    const QString hex = request.value(QStringLiteral("hex")).toString();
    if (!sixteenDigits.match(hex).hasMatch()) {
        return failure(QStringLiteral("data needs exactly 16 hex digits (8 bytes)"));
    }
    const QByteArray bytes = *HexBytes::parseText(hex);
    auto guard = world.lock();
    const SimWorld::DataRegistration& registration = world.dataRegistration();
    if (!registration.callback) {
        return failure(QStringLiteral("no data callback registered (dconDeviceData)"));
    }
    if (!world.listedDevice(registration.hardwareId)) {
        return failure(QStringLiteral("the registered device %1 is not attached")
                           .arg(registration.hardwareId));
    }
    std::array<unsigned char, 8> report{};
    std::copy(bytes.begin(), bytes.end(), report.begin());
    world.queueData(report);
    return Reply{};
}

Reply state(SimWorld& world) {
    world.writeState(true);
    auto guard = world.lock();
    return Reply{QString(), QJsonObject{{QStringLiteral("state"), world.report()}}};
}

Reply resetToConfig(SimWorld& world) {
    QString error;
    {
        auto guard = world.lock();
        error = world.replaceWithConfig();
    }
    if (!error.isEmpty()) {
        return failure(error);
    }
    world.writeState(true);
    return Reply{};
}

Reply run(SimWorld& world, const QJsonObject& request) {
    const QString name = request.value(QStringLiteral("cmd")).toString();
    if (name == QLatin1String("attach")) {
        return attach(world, request);
    }
    if (name == QLatin1String("detach")) {
        return detach(world, request);
    }
    if (name == QLatin1String("event")) {
        return event(world, request);
    }
    if (name == QLatin1String("data")) {
        return data(world, request);
    }
    if (name == QLatin1String("state")) {
        return state(world);
    }
    if (name == QLatin1String("reset")) {
        return resetToConfig(world);
    }
    return failure(QStringLiteral("unknown command '%1'").arg(name));
}

}  // namespace

QByteArray execute(SimWorld& world, const QByteArray& line) {
    QJsonObject request;
    if (line.trimmed().startsWith('{')) {
        QJsonParseError parseError;
        const QJsonDocument document = QJsonDocument::fromJson(line, &parseError);
        if (!document.isObject()) {
            const QJsonObject reply{
                {QStringLiteral("ok"), false},
                {QStringLiteral("error"),
                 QStringLiteral("bad request: %1").arg(parseError.errorString())}};
            return QJsonDocument(reply).toJson(QJsonDocument::Compact);
        }
        request = document.object();
    } else {
        request = requestFromText(QString::fromUtf8(line));
    }
    const Reply result = run(world, request);
    world.deliverCallbacks();

    QJsonObject reply = result.fields;
    reply.insert(QStringLiteral("ok"), result.error.isEmpty());
    if (!result.error.isEmpty()) {
        reply.insert(QStringLiteral("error"), result.error);
    }
    return QJsonDocument(reply).toJson(QJsonDocument::Compact);
}

}  // namespace ControlCommands
