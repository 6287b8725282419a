#pragma once

#include <QMap>
#include <QString>

// The client settings as read from conf.xml at start-up.
struct ClientConfiguration {
    // Attributes of root/client in document order, then the computed network identity.
    QMap<QString, QString> values;
    // The whole file text, read separately, for commands that rewrite the file.
    QString text;
    // False when the file is missing, unreadable or does not parse; values and text are empty.
    bool loaded = false;
    QString error;
};

// Reads conf.xml. On success the detected MAC and IP addresses are stored under "MacAddress" and
// "IpAddress", replacing attributes of the same names.
ClientConfiguration loadClientConfiguration(const QString& path, const QString& macAddress,
                                            const QString& ipAddress);
