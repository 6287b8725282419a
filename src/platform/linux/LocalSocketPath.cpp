#include "platform/LocalSocketPath.h"

#include <QCryptographicHash>
#include <QFile>

#include <sys/un.h>
#include <unistd.h>

QString usableLocalSocketPath(const QString& preferredPath) {
    const QByteArray encoded = QFile::encodeName(preferredPath);
    if (static_cast<size_t>(encoded.size()) < sizeof(sockaddr_un::sun_path)) {
        return preferredPath;
    }
    const QByteArray digest =
        QCryptographicHash::hash(encoded, QCryptographicHash::Sha1).toHex().left(20);
    return QStringLiteral("/tmp/zelk-%1-%2").arg(getuid()).arg(QString::fromLatin1(digest));
}
