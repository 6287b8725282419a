#include "profiles/ExportFile.h"

#include <QDataStream>
#include <QFile>
#include <QSaveFile>

namespace ExportFile {

namespace {

void prepare(QDataStream& stream) {
    stream.setVersion(QDataStream::Qt_5_1);
    stream.setByteOrder(QDataStream::BigEndian);
}

}  // namespace

QByteArray encode(const QByteArray& xmlUtf8) {
    QByteArray bytes;
    QDataStream stream(&bytes, QIODevice::WriteOnly);
    prepare(stream);
    stream << kMagic << xmlUtf8.toBase64();
    return bytes;
}

std::optional<QByteArray> decode(const QByteArray& fileBytes) {
    QDataStream stream(fileBytes);
    prepare(stream);
    quint32 magic = 0;
    stream >> magic;
    if (stream.status() != QDataStream::Ok || magic != kMagic) {
        return std::nullopt;
    }
    QByteArray base64;
    stream >> base64;
    if (stream.status() != QDataStream::Ok) {
        return std::nullopt;
    }
    QByteArray::FromBase64Result decoded =
        QByteArray::fromBase64Encoding(base64, QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded) {
        return std::nullopt;
    }
    return std::move(decoded.decoded);
}

bool write(const QString& path, const QByteArray& xmlUtf8, QString* error) {
    QSaveFile file(path);
    const QByteArray bytes = encode(xmlUtf8);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        *error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

std::optional<QByteArray> read(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    return decode(file.readAll());
}

}  // namespace ExportFile
