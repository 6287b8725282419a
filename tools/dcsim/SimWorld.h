#pragma once

#include "SimConfig.h"
#include "SimDevice.h"
#include "SimSettings.h"
#include "StateFile.h"
#include "WakeSignal.h"
#include "device/DeviceLibraryApi.h"

#include <QJsonObject>
#include <QString>
#include <array>
#include <chrono>
#include <deque>
#include <mutex>
#include <optional>
#include <vector>

// Everything the simulator knows, behind one mutex: the devices, the registered callbacks, the
// callbacks waiting to be fired and the bookkeeping of the state file. Entry points and control
// commands change it under the lock; the control thread fires the callbacks, brings devices
// back after a restart and writes the state file, each outside the lock.
class SimWorld {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds kStateWriteInterval{200};
    // Device-change codes of arrivals and removals.
    static constexpr std::uint32_t kDeviceArrived = 0x0001;
    static constexpr std::uint32_t kDeviceRemoved = 0x0002;

    struct DataRegistration {
        DeviceDataCallback callback = nullptr;
        QString hardwareId;
        QString devicePath;
    };

    // Loads the configuration, then the state file saved for it if there is one.
    SimWorld(const QString& configPath, const QString& statePath, const QString& socketPath);

    std::unique_lock<std::mutex> lock() { return std::unique_lock<std::mutex>(m_mutex); }
    WakeSignal& wakeSignal() { return m_wake; }

    // --- With the lock held ---
    std::vector<SimDevice>& devices() { return m_devices; }
    const SimSettings& settings() const { return m_settings; }
    // The present device listed under hardwareId, or null.
    SimDevice* listedDevice(const QString& hardwareId);
    void setEventCallback(DeviceEventCallback callback) { m_eventCallback = callback; }
    void setDataRegistration(DataRegistration registration) { m_data = std::move(registration); }
    const DataRegistration& dataRegistration() const { return m_data; }
    // An arrival or removal: eventsPerChange device-change callbacks.
    void queueDeviceChange(std::uint32_t code);
    void queueEvent(std::uint32_t code);
    void queueData(const std::array<unsigned char, 8>& bytes);
    // Something the state file holds has changed; it is written within kStateWriteInterval.
    void markChanged();
    // The device vanishes now and comes back after delayMs; fires the removal callbacks.
    void restartDevice(SimDevice& device, int delayMs);
    // Back to the configuration: reloads it and replaces all devices. Fires a removal and an
    // arrival as the listed devices differ. Empty, or why nothing changed.
    QString replaceWithConfig();
    // The whole picture for `dcsim state`.
    QJsonObject report() const;

    // --- Without the lock (the control thread, and the exit path for writeState) ---
    void deliverCallbacks();
    void bringBackRestartedDevices();
    // When the control thread must next act on its own.
    std::optional<Clock::time_point> nextWakeUp();
    // Writes the state file if anything changed, at most every kStateWriteInterval unless forced.
    void writeState(bool force);

private:
    struct PendingCallback {
        bool isData = false;
        std::uint32_t code = 0;
        std::array<unsigned char, 8> bytes{};
    };

    QStringList listedIds() const;

    std::mutex m_mutex;
    std::mutex m_writeMutex;  // taken before m_mutex; orders state writes
    WakeSignal m_wake;

    QString m_configPath;
    QString m_socketPath;
    StateFile m_stateFile;
    QString m_configError;
    QString m_stateNote;
    QString m_stateWriteError;
    QByteArray m_configDigest;
    SimSettings m_settings;
    std::vector<SimDevice> m_devices;

    DeviceEventCallback m_eventCallback = nullptr;
    DataRegistration m_data;
    std::deque<PendingCallback> m_pending;

    bool m_changed = false;
    Clock::time_point m_lastWrite{};
};
