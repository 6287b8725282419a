#pragma once

#include "BenchResults.h"

#include <QString>

class devices_handler;
class zelk;

// The texts of the device queries the page sends, and where they go.
struct DeviceRequests {
    QString read;
    QString write;
    QString hardwareId;
    int size = 0;
    int address = 0;
};

// Times each native step of the two device calls on its own, then the window's whole handling
// of each request (the answer is made, then dropped: the callback has no bridge).
DeviceNativeCosts measureDeviceNativeCosts(zelk& window, devices_handler& handler,
                                           const DeviceRequests& requests, int iterations);
