#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// The profile exchange file (".pfd"): the magic 0x0A0B0C0D, then a data stream (version 14)
// byte array holding the Base64 of the UTF-8 XML text.
namespace ExportFile {

constexpr quint32 kMagic = 0x0A0B0C0D;

QByteArray encode(const QByteArray& xmlUtf8);
// The XML text inside, or nothing for a wrong magic, a truncated stream or bad Base64.
std::optional<QByteArray> decode(const QByteArray& fileBytes);

// Writes the file atomically; false with a reason when it cannot.
bool write(const QString& path, const QByteArray& xmlUtf8, QString* error);
std::optional<QByteArray> read(const QString& path);

}  // namespace ExportFile
