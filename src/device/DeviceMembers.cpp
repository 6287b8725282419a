#include "device/DeviceMembers.h"

#include <QStringView>
#include <array>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace DeviceMembers {

namespace {

// Digit values of ASCII, -1 for anything that is no hex digit: a lookup instead of branches that
// mispredict on every mix of letters and numbers.
constexpr std::array<signed char, 128> kHexDigits = [] {
    std::array<signed char, 128> digits{};
    for (int c = 0; c < 128; ++c) {
        digits[c] = c >= '0' && c <= '9'   ? static_cast<signed char>(c - '0')
                    : c >= 'a' && c <= 'f' ? static_cast<signed char>(c - 'a' + 10)
                    : c >= 'A' && c <= 'F' ? static_cast<signed char>(c - 'A' + 10)
                                           : -1;
    }
    return digits;
}();

int hexDigit(char16_t c) {
    return c < kHexDigits.size() ? kHexDigits[c] : -1;
}

// Digits that always fit a long, so reading them cannot overflow.
constexpr qsizetype kSafeHexDigits = static_cast<qsizetype>(sizeof(long)) * 2 - 1;

// The value of an item that is nothing but hex digits, with or without "0x": the shape the page
// sends, for which strtol cannot give anything else. Nothing for every other shape.
std::optional<long> plainHex(QStringView item) {
    if (item.size() > 2 && item[0] == u'0' && (item[1] == u'x' || item[1] == u'X')) {
        item = item.mid(2);
    }
    if (item.isEmpty() || item.size() > kSafeHexDigits) {
        return std::nullopt;
    }
    long value = 0;
    for (const QChar c : item) {
        const int digit = hexDigit(c.unicode());
        if (digit < 0) {
            return std::nullopt;
        }
        value = value * 16 + digit;
    }
    return value;
}

// strtol(item, nullptr, 16): blanks, signs, overflow and stray characters go to strtol itself.
long itemValue(QStringView item) {
    if (item.isEmpty()) {
        return 0;
    }
    if (const std::optional<long> value = plainHex(item)) {
        return *value;
    }
    return hexOfText(item.toString());
}

}  // namespace

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
    if (count < 0) {
        return std::nullopt;
    }
    // One pass over the text instead of a list of item strings: this runs for every write of up
    // to 2048 items.
    const QString text = value.toString();
    const QStringView items(text);
    QByteArray result(count, '\0');
    char* out = result.data();
    qsizetype start = 0;
    for (int i = 0; i < count; ++i) {
        if (start > items.size()) {
            return std::nullopt;  // fewer than count items
        }
        qsizetype end = start;
        while (end < items.size() && items[end] != u',') {
            ++end;
        }
        out[i] = static_cast<char>(itemValue(items.mid(start, end - start)) & 0xff);
        start = end + 1;
    }
    return result;
}

QString hexByteList(const unsigned char* bytes, int count) {
    if (count <= 0) {
        return QString();
    }
    static const char16_t digits[] = u"0123456789abcdef";
    QString text(count * 5 - 1, Qt::Uninitialized);
    char16_t* out = reinterpret_cast<char16_t*>(text.data());
    for (int i = 0; i < count; ++i) {
        if (i > 0) {
            *out++ = u',';
        }
        *out++ = u'0';
        *out++ = u'x';
        *out++ = digits[bytes[i] >> 4];
        *out++ = digits[bytes[i] & 0x0f];
    }
    return text;
}

}  // namespace DeviceMembers
