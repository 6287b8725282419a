#pragma once

#include "FirmwareImage.h"

#include <QByteArray>
#include <QString>
#include <chrono>
#include <map>
#include <optional>

// One simulated device: what it reports in the device list, its memory and properties, and
// where it stands in a firmware update.
struct SimDevice {
    static constexpr int kDefaultMemorySize = 65536;
    static constexpr int kMaxMemorySize = 16 * 1024 * 1024;

    struct Notification {
        int type = 0;
        int data = 0;
    };

    QString deviceId;
    QString version;
    QString sn;
    QString mask;
    QString devicePath;
    QString hardwareId;  // the id in normal mode
    // The version after a successful update; empty: the last number of version counts up.
    QString versionAfterUpdate;

    QByteArray memory;
    std::map<int, QByteArray> properties;
    std::optional<Notification> lastNotification;

    // In boot-loader mode the device is listed under the boot-loader hardware id.
    bool bootLoader = false;
    // False while the device restarts: it is not listed until reappearAt.
    bool present = true;
    std::optional<std::chrono::steady_clock::time_point> reappearAt;
    FirmwareImage image;

    // The hardware id the device is listed and addressed under right now.
    QString listedHardwareId() const;
    // The version the device runs after a verified update.
    QString updatedVersion() const;
};

// The last run of digits counted up by one ("1.0.9" gives "1.0.10"); ".1" appended when there
// are no digits.
QString nextVersion(const QString& version);
