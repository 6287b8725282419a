#pragma once

#include <QString>

// Process-wide state of the client process.
extern bool quitRequested;
// Set when a downloaded client update waits to be installed after the client has quit.
extern bool installUpdateOnExit;
extern bool updaterNeedsElevation;
// The application directory followed by "/": base of the executable and the updater.
extern QString programDir;
// The same directory: base of the page assets "view/" and the update work area.
extern QString dataDir;

// The one way to end the program: ends the event loop once, however often it is asked.
void requestQuit();
