#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// dcsim's side of the control socket: one request line out, one reply line back.
class ControlClient {
public:
    explicit ControlClient(QString socketPath) : m_socketPath(std::move(socketPath)) {}

    // The reply without its line end, or nothing with *error set.
    std::optional<QByteArray> request(const QByteArray& line, QString* error) const;

private:
    QString m_socketPath;
};
