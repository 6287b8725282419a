#pragma once

// Starts the updater program that replaces the client after it has quit; false when it could not
// be started.
bool launchUpdater();
