#pragma once

#include <QString>

// One line on standard error, prefixed "dc-sim:", as a foreign library would report trouble
// (the host's Qt message handler is not ours to use).
void simLog(const QString& message);
