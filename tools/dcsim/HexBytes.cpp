#include "HexBytes.h"

#include <QJsonArray>
#include <QRegularExpression>

namespace HexBytes {

namespace {

int digitValue(QChar c) {
    if (c >= QLatin1Char('0') && c <= QLatin1Char('9')) {
        return c.unicode() - '0';
    }
    const QChar lower = c.toLower();
    if (lower >= QLatin1Char('a') && lower <= QLatin1Char('f')) {
        return lower.unicode() - 'a' + 10;
    }
    return -1;
}

std::optional<char> parseItem(QString item) {
    if (item.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)) {
        item = item.mid(2);
    }
    if (item.isEmpty() || item.size() > 2) {
        return std::nullopt;
    }
    int value = 0;
    for (QChar c : item) {
        const int digit = digitValue(c);
        if (digit < 0) {
            return std::nullopt;
        }
        value = value * 16 + digit;
    }
    return static_cast<char>(value);
}

}  // namespace

std::optional<QByteArray> parseText(const QString& text) {
    const QString trimmed = text.trimmed();
    static const QRegularExpression separators(QStringLiteral("[\\s,:;]+"));
    QByteArray bytes;
    if (trimmed.contains(separators) ||
        trimmed.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)) {
        for (const QString& item : trimmed.split(separators, Qt::SkipEmptyParts)) {
            const std::optional<char> byte = parseItem(item);
            if (!byte) {
                return std::nullopt;
            }
            bytes.append(*byte);
        }
        return bytes;
    }
    if (trimmed.size() % 2 != 0) {
        return std::nullopt;
    }
    for (int i = 0; i < trimmed.size(); i += 2) {
        const int high = digitValue(trimmed[i]);
        const int low = digitValue(trimmed[i + 1]);
        if (high < 0 || low < 0) {
            return std::nullopt;
        }
        bytes.append(static_cast<char>(high * 16 + low));
    }
    return bytes;
}

std::optional<QByteArray> parse(const QJsonValue& value) {
    if (value.isString()) {
        return parseText(value.toString());
    }
    if (!value.isArray()) {
        return std::nullopt;
    }
    QByteArray bytes;
    for (const QJsonValue& item : value.toArray()) {
        const double number = item.toDouble(-1);
        if (!item.isDouble() || number < 0 || number > 255 || number != static_cast<int>(number)) {
            return std::nullopt;
        }
        bytes.append(static_cast<char>(static_cast<int>(number)));
    }
    return bytes;
}

QString format(const QByteArray& bytes) {
    return QString::fromLatin1(bytes.toHex());
}

}  // namespace HexBytes
