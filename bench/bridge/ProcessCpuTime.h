#pragma once

#include <QtGlobal>
#include <optional>

// CPU time (user + system, all threads) a process has used so far, read from /proc/<pid>/stat,
// in milliseconds; nothing when the process cannot be read. Resolution is one clock tick.
std::optional<double> processCpuMilliseconds(qint64 pid);
