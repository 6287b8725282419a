#include "shell/StartupOptions.h"

#include "browser/WebLog.h"

#include <cstring>

StartupOptions StartupOptions::parse(int argc, char** argv) {
    StartupOptions options;
    static const char kSeverity[] = "--log-severity=";
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], kSeverity, sizeof kSeverity - 1) == 0) {
            options.logSeverity = WebLog::parseSeverity(
                QString::fromLocal8Bit(argv[i] + sizeof kSeverity - 1), WebLog::Info);
        }
    }
    return options;
}
