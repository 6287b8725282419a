#pragma once

// What the simulated entry points return: 0 for success, a distinct positive number for each
// kind of refusal so that a developer reading a log can tell them apart.
enum SimResult : int {
    kSimOk = 0,
    kSimBadArgument = 1,  // wrong magic, null pointer, size or length out of range
    kSimNoDevice = 2,     // no present device is listed under the hardware id
    kSimWrongMode = 3,    // the call needs the other mode (normal or boot-loader)
    kSimOutOfRange = 4,   // address, offset or property beyond what the device holds
    kSimRefused = 5,      // the device refuses in its current state
    kSimCheckFailed = 6,  // the firmware image does not match the size and check value
};
