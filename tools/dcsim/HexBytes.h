#pragma once

#include <QByteArray>
#include <QJsonValue>
#include <QString>
#include <optional>

// Byte blocks as the simulator's files spell them.
namespace HexBytes {

// Accepts a text with separators ("01 02 ff", "0x01,0x02", "01:02"; each item one byte of one
// or two digits, optionally prefixed 0x), a run of an even number of digits ("0102ff"), or a
// JSON array of numbers 0..255. The empty text is the empty block. Nothing for anything else.
std::optional<QByteArray> parse(const QJsonValue& value);
std::optional<QByteArray> parseText(const QString& text);

// Lowercase digits, two per byte, no separators.
QString format(const QByteArray& bytes);

}  // namespace HexBytes
