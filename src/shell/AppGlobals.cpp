#include "shell/AppGlobals.h"

#include "shell/cefApplication.h"

#include <QCoreApplication>

bool quitRequested = false;
bool installUpdateOnExit = false;
bool updaterNeedsElevation = false;
QString programDir;
QString dataDir;

void requestQuit() {
    if (quitRequested) {
        return;
    }
    quitRequested = true;
    if (appInstance) {
        // Queued, so a quit asked for before the event loop runs still ends it.
        QMetaObject::invokeMethod(appInstance, &QCoreApplication::quit, Qt::QueuedConnection);
    }
}
