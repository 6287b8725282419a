#pragma once

#include <QString>

// The user's own temporary folder: $TMPDIR when the user set one; otherwise a folder private to
// the user inside the shared temporary folder, since other users' programs write there too.
// Falls back to the user's runtime folder when the private folder cannot be had safely.
QString userTemporaryFolder();
