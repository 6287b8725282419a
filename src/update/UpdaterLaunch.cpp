#include "update/UpdaterLaunch.h"

#include "update/UpdateLog.h"

bool launchUpdater() {
    qCWarning(lcUpdate) << "a client update was prepared, but this build has no updater to start";
    return false;
}
