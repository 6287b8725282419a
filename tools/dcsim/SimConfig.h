#pragma once

#include "SimDevice.h"
#include "SimSettings.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <optional>
#include <vector>

// The configuration file: {"devices": [...], "bootLoaderDelayMs": 1500, ...}.
struct SimConfig {
    static constexpr int kMaxDevices = 20;

    SimSettings settings;
    std::vector<SimDevice> devices;
    // SHA-256 of the file's bytes; a state file saved under another digest is not used.
    QByteArray digest;

    // Nothing, with *error set, when the file is missing, malformed or describes devices that
    // cannot coexist.
    static std::optional<SimConfig> load(const QString& path, QString* error);
    static std::optional<SimConfig> fromJson(const QJsonObject& object, QString* error);
};

// Empty when the devices can be listed together: at most 20, no hardware id twice, none in
// normal mode under the boot-loader id, at most one in boot-loader mode.
QString devicesConflict(const std::vector<SimDevice>& devices);
