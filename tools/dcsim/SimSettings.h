#pragma once

// The configuration's top-level values besides the devices.
struct SimSettings {
    // How long a device takes to reappear in boot-loader mode after dcReset {1, 0}.
    int bootLoaderDelayMs = 1500;
    // How long a device takes to reappear in normal mode after dcFinishUpdateRom.
    int restartDelayMs = 500;
    // Device-change callbacks per arrival or removal (a real device may raise several).
    int eventsPerChange = 1;
};
