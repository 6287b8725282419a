#pragma once

#include "SimWorld.h"

// The simulator of this process, created at the first entry-point call: it loads the
// configuration and the saved state and starts the control thread. At process exit it stops
// the thread, writes the state file and removes the control socket.
namespace SimRuntime {

SimWorld& world();

}  // namespace SimRuntime
