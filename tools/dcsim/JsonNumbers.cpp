#include "JsonNumbers.h"

#include <cmath>

std::optional<qint64> integerFromText(const QString& text, qint64 minimum, qint64 maximum) {
    const QString trimmed = text.trimmed();
    bool ok = false;
    qint64 value = 0;
    if (trimmed.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)) {
        value = static_cast<qint64>(trimmed.mid(2).toULongLong(&ok, 16));
        ok = ok && trimmed.size() <= 18 && value >= 0;
    } else {
        value = trimmed.toLongLong(&ok, 10);
    }
    if (!ok || value < minimum || value > maximum) {
        return std::nullopt;
    }
    return value;
}

std::optional<qint64> integerFromJson(const QJsonValue& value, qint64 minimum, qint64 maximum) {
    if (value.isString()) {
        return integerFromText(value.toString(), minimum, maximum);
    }
    if (!value.isDouble()) {
        return std::nullopt;
    }
    const double number = value.toDouble();
    if (std::floor(number) != number || number < static_cast<double>(minimum) ||
        number > static_cast<double>(maximum)) {
        return std::nullopt;
    }
    return static_cast<qint64>(number);
}
