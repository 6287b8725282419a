#pragma once

#include <QString>

// Local sockets are named by a file path of limited length. Returns preferredPath when it fits;
// otherwise a short path in the system's temporary folder derived from preferredPath, so every
// process that starts from the same preferred path arrives at the same socket.
QString usableLocalSocketPath(const QString& preferredPath);
