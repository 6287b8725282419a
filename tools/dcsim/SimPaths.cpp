#include "SimPaths.h"

#include <unistd.h>
#include <QDir>
#include <QFileInfo>

namespace SimPaths {

QString socketPath() {
    const QString explicitPath = qEnvironmentVariable("DC_SIM_SOCKET");
    if (!explicitPath.isEmpty()) {
        return explicitPath;
    }
    const QString runtimeDir = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtimeDir.isEmpty()) {
        return QDir(runtimeDir).filePath(QStringLiteral("dc-sim.sock"));
    }
    return QStringLiteral("/tmp/dc-sim-%1.sock").arg(getuid());
}

QString configPath(const QString& libraryDirectory) {
    const QString explicitPath = qEnvironmentVariable("DC_SIM_CONFIG");
    if (!explicitPath.isEmpty()) {
        return QFileInfo(explicitPath).absoluteFilePath();
    }
    return QDir(libraryDirectory).filePath(QStringLiteral("dc-sim.json"));
}

QString statePath(const QString& configPath) {
    const QString explicitPath = qEnvironmentVariable("DC_SIM_STATE");
    if (!explicitPath.isEmpty()) {
        return QFileInfo(explicitPath).absoluteFilePath();
    }
    return QFileInfo(configPath).absoluteDir().filePath(QStringLiteral("dc-sim-state.json"));
}

}  // namespace SimPaths
