#include "SimLog.h"

#include <cstdio>

void simLog(const QString& message) {
    std::fprintf(stderr, "dc-sim: %s\n", message.toLocal8Bit().constData());
    std::fflush(stderr);
}
