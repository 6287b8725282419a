#pragma once

#include <QByteArray>
#include <QString>
#include <QVariant>
#include <optional>

// How the device commands read their request members and write device bytes as text.
namespace DeviceMembers {

// A JSON number rounded to the nearest integer, true as 1, a string holding a decimal integer;
// anything else is 0.
int integer(const QVariant& value);
// The member's text parsed as strtol does in base 16 ("0x" accepted, stops at the first
// non-digit, no digits give 0). A JSON number is read through its decimal text: 4096 is 0x4096.
long hex(const QVariant& value);
long hexOfText(const QString& text);
// The first count items of a comma-separated list (empty items are 0), low 8 bits each; nothing
// when the list has fewer than count items.
std::optional<QByteArray> bytes(const QVariant& value, int count);
// "0x0a,0xff,0x00": two lower-case digits a byte, comma-separated.
QString hexByteList(const unsigned char* bytes, int count);

}  // namespace DeviceMembers
