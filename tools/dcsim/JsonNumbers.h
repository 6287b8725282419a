#pragma once

#include <QJsonValue>
#include <QString>
#include <optional>

// An integer given as a JSON number or as a text in decimal or with a 0x prefix in hexadecimal.
// Nothing for fractions, other types and values outside [minimum, maximum].
std::optional<qint64> integerFromJson(const QJsonValue& value, qint64 minimum, qint64 maximum);
std::optional<qint64> integerFromText(const QString& text, qint64 minimum, qint64 maximum);
