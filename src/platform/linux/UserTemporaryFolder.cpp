#include "platform/UserTemporaryFolder.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>

namespace {

// A folder only this user can enter, made now or made before by this user.
bool isPrivateFolder(const QString& path) {
    const QByteArray native = QFile::encodeName(path);
    if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST) {
        return false;
    }
    struct stat info = {};
    return ::lstat(native.constData(), &info) == 0 && S_ISDIR(info.st_mode) &&
           info.st_uid == ::getuid() && (info.st_mode & 0077) == 0;
}

}  // namespace

QString userTemporaryFolder() {
    if (!qEnvironmentVariableIsEmpty("TMPDIR")) {
        return QDir::tempPath();
    }
    const QString folder = QDir::tempPath() + QStringLiteral("/zelk-%1").arg(::getuid());
    if (isPrivateFolder(folder)) {
        return folder;
    }
    return QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
}
