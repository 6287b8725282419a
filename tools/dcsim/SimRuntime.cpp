#include "SimRuntime.h"

#include "ControlServer.h"
#include "SimPaths.h"

#include <dlfcn.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace SimRuntime {

namespace {

QString libraryDirectory() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&libraryDirectory), &info) != 0 && info.dli_fname) {
        return QFileInfo(QFile::decodeName(info.dli_fname)).absolutePath();
    }
    return QDir::currentPath();
}

class Runtime {
public:
    Runtime() {
        const QString config = SimPaths::configPath(libraryDirectory());
        const QString socket = SimPaths::socketPath();
        m_world = new SimWorld(config, SimPaths::statePath(config), socket);
        m_server = new ControlServer(*m_world, socket);
        m_server->start();
    }

    ~Runtime() {
        const bool stopped = m_server->stop();
        m_world->writeState(true);
        // A thread stuck in a host callback may still touch both; leave them to the exiting
        // process in that case.
        if (stopped) {
            delete m_server;
            delete m_world;
        }
    }

    SimWorld& world() { return *m_world; }

private:
    SimWorld* m_world = nullptr;
    ControlServer* m_server = nullptr;
};

}  // namespace

SimWorld& world() {
    static Runtime runtime;
    return runtime.world();
}

}  // namespace SimRuntime
