#pragma once

#include <QString>

// Where the simulator's files and its control socket live. Each has an environment variable
// that overrides the default.
namespace SimPaths {

// DC_SIM_SOCKET, else $XDG_RUNTIME_DIR/dc-sim.sock, else /tmp/dc-sim-<uid>.sock.
QString socketPath();
// DC_SIM_CONFIG, else dc-sim.json in libraryDirectory.
QString configPath(const QString& libraryDirectory);
// DC_SIM_STATE, else dc-sim-state.json beside the configuration.
QString statePath(const QString& configPath);

}  // namespace SimPaths
