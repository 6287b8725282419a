#include "device/DeviceMembers.h"

#include <QStringList>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace DeviceMembers {

int integer(const QVariant& value) {
    switch (value.typeId()) {
        case QMetaType::Bool:
            return value.toBool() ? 1 : 0;
        case QMetaType::Int:
        case QMetaType::LongLong:
        case QMetaType::UInt:
        case QMetaType::ULongLong:
        case QMetaType::Double: {
            const double rounded = std::round(value.toDouble());
            if (!(rounded >= std::numeric_limits<int>::min() &&
                  rounded <= std::numeric_limits<int>::max())) {
                return 0;
            }
            return static_cast<int>(rounded);
        }
        case QMetaType::QString: {
            bool ok = false;
            const int number = value.toString().toInt(&ok, 10);
            return ok ? number : 0;
        }
        default:
            return 0;
    }
}

long hexOfText(const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    return std::strtol(utf8.constData(), nullptr, 16);
}

long hex(const QVariant& value) {
    if (value.typeId() == QMetaType::Double) {
        // A JSON number's decimal text, without a fraction for whole numbers.
        return hexOfText(QString::number(value.toDouble(), 'g', 17));
    }
    return hexOfText(value.toString());
}

std::optional<QByteArray> bytes(const QVariant& value, int count) {
    const QStringList items = value.toString().split(QLatin1Char(','), Qt::KeepEmptyParts);
    if (count < 0 || items.size() < count) {
        return std::nullopt;
    }
    QByteArray result(count, '\0');
    for (int i = 0; i < count; ++i) {
        result[i] = static_cast<char>(hexOfText(items.at(i)) & 0xff);
    }
    return result;
}

QString hexByteList(const unsigned char* bytes, int count) {
    static const char digits[] = "0123456789abcdef";
    QString text;
    text.reserve(count * 5);
    for (int i = 0; i < count; ++i) {
        if (i > 0) {
            text += QLatin1Char(',');
        }
        text += QLatin1String("0x");
        text += QLatin1Char(digits[bytes[i] >> 4]);
        text += QLatin1Char(digits[bytes[i] & 0x0f]);
    }
    return text;
}

}  // namespace DeviceMembers
