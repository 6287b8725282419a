#pragma once

#include "SimDevice.h"

#include <QByteArray>
#include <QString>
#include <optional>
#include <vector>

// The file that carries the devices (memory, properties, versions, update state) from one
// process to the next: {"format": 1, "configDigest": "...", "devices": [...]}.
class StateFile {
public:
    explicit StateFile(QString path) : m_path(std::move(path)) {}

    const QString& path() const { return m_path; }

    static QByteArray serialize(const std::vector<SimDevice>& devices,
                                const QByteArray& configDigest);

    // The saved devices if the file exists, is intact and was saved under configDigest.
    // Nothing otherwise; *note says why unless the file simply does not exist.
    std::optional<std::vector<SimDevice>> load(const QByteArray& configDigest, QString* note) const;

    // Replaces the file atomically.
    bool write(const QByteArray& content, QString* error) const;

private:
    QString m_path;
};
