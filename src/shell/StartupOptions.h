#pragma once

#include <QString>

// What the command line says before the application object exists.
struct StartupOptions {
    int logSeverity = 0;

    // Reads "--log-severity=info|warning|error|disable|<number>".
    static StartupOptions parse(int argc, char** argv);
};
