#include "SimWorld.h"

#include "DeviceJson.h"
#include "SimLog.h"

#include <QJsonArray>

SimWorld::SimWorld(const QString& configPath, const QString& statePath, const QString& socketPath)
    : m_configPath(configPath), m_socketPath(socketPath), m_stateFile(statePath) {
    std::optional<SimConfig> config = SimConfig::load(configPath, &m_configError);
    if (config) {
        m_settings = config->settings;
        m_devices = std::move(config->devices);
        m_configDigest = config->digest;
    } else {
        simLog(m_configError + QStringLiteral("; no devices configured"));
    }
    std::optional<std::vector<SimDevice>> saved = m_stateFile.load(m_configDigest, &m_stateNote);
    if (saved) {
        m_devices = std::move(*saved);
    } else if (!m_stateNote.isEmpty()) {
        simLog(m_stateNote);
    }
}

SimDevice* SimWorld::listedDevice(const QString& hardwareId) {
    for (SimDevice& device : m_devices) {
        if (device.present && device.listedHardwareId() == hardwareId) {
            return &device;
        }
    }
    return nullptr;
}

void SimWorld::queueDeviceChange(std::uint32_t code) {
    for (int i = 0; i < m_settings.eventsPerChange; ++i) {
        queueEvent(code);
    }
}

void SimWorld::queueEvent(std::uint32_t code) {
    PendingCallback item;
    item.code = code;
    m_pending.push_back(item);
    m_wake.raise();
}

void SimWorld::queueData(const std::array<unsigned char, 8>& bytes) {
    PendingCallback item;
    item.isData = true;
    item.bytes = bytes;
    m_pending.push_back(item);
    m_wake.raise();
}

void SimWorld::markChanged() {
    if (!m_changed) {
        m_changed = true;
        m_wake.raise();
    }
}

void SimWorld::restartDevice(SimDevice& device, int delayMs) {
    device.present = false;
    device.reappearAt = Clock::now() + std::chrono::milliseconds(delayMs);
    queueDeviceChange(kDeviceRemoved);
    markChanged();
}

QString SimWorld::replaceWithConfig() {
    QString error;
    std::optional<SimConfig> config = SimConfig::load(m_configPath, &error);
    if (!config) {
        return error;
    }
    const QStringList before = listedIds();
    m_settings = config->settings;
    m_devices = std::move(config->devices);
    m_configDigest = config->digest;
    m_configError.clear();
    m_stateNote.clear();
    m_data = DataRegistration{};
    const QStringList after = listedIds();
    for (const QString& id : before) {
        if (!after.contains(id)) {
            queueDeviceChange(kDeviceRemoved);
            break;
        }
    }
    for (const QString& id : after) {
        if (!before.contains(id)) {
            queueDeviceChange(kDeviceArrived);
            break;
        }
    }
    m_changed = true;
    return QString();
}

QStringList SimWorld::listedIds() const {
    QStringList ids;
    for (const SimDevice& device : m_devices) {
        if (device.present) {
            ids.append(device.listedHardwareId());
        }
    }
    return ids;
}

QJsonObject SimWorld::report() const {
    QJsonArray devices;
    for (const SimDevice& device : m_devices) {
        devices.append(DeviceJson::toReportJson(device));
    }
    QJsonValue data = QJsonValue::Null;
    if (m_data.callback) {
        data = QJsonObject{
            {QStringLiteral("hardwareId"), m_data.hardwareId},
            {QStringLiteral("devicePath"), m_data.devicePath},
        };
    }
    auto textOrNull = [](const QString& text) {
        return text.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(text);
    };
    return QJsonObject{
        {QStringLiteral("config"), m_configPath},
        {QStringLiteral("configError"), textOrNull(m_configError)},
        {QStringLiteral("stateFile"), m_stateFile.path()},
        {QStringLiteral("stateNote"), textOrNull(m_stateNote)},
        {QStringLiteral("stateWriteError"), textOrNull(m_stateWriteError)},
        {QStringLiteral("socket"), m_socketPath},
        {QStringLiteral("bootLoaderDelayMs"), m_settings.bootLoaderDelayMs},
        {QStringLiteral("restartDelayMs"), m_settings.restartDelayMs},
        {QStringLiteral("eventsPerChange"), m_settings.eventsPerChange},
        {QStringLiteral("eventCallback"), m_eventCallback != nullptr},
        {QStringLiteral("dataCallback"), data},
        {QStringLiteral("devices"), devices},
    };
}

void SimWorld::deliverCallbacks() {
    for (;;) {
        PendingCallback item;
        DeviceEventCallback eventCallback = nullptr;
        DeviceDataCallback dataCallback = nullptr;
        {
            std::lock_guard<std::mutex> guard(m_mutex);
            if (m_pending.empty()) {
                return;
            }
            item = m_pending.front();
            m_pending.pop_front();
            eventCallback = m_eventCallback;
            dataCallback = m_data.callback;
        }
        // Outside the lock: the host may call back into the library from its callback.
        if (!item.isData && eventCallback) {
            eventCallback(item.code);
        } else if (item.isData && dataCallback) {
            const unsigned char* bytes = item.bytes.data();
            dataCallback(&bytes, nullptr);
        }
    }
}

void SimWorld::bringBackRestartedDevices() {
    std::lock_guard<std::mutex> guard(m_mutex);
    const Clock::time_point now = Clock::now();
    for (SimDevice& device : m_devices) {
        if (device.reappearAt && *device.reappearAt <= now) {
            device.reappearAt.reset();
            device.present = true;
            queueDeviceChange(kDeviceArrived);
        }
    }
}

std::optional<SimWorld::Clock::time_point> SimWorld::nextWakeUp() {
    std::lock_guard<std::mutex> guard(m_mutex);
    std::optional<Clock::time_point> next;
    if (m_changed) {
        next = m_lastWrite + kStateWriteInterval;
    }
    for (const SimDevice& device : m_devices) {
        if (device.reappearAt && (!next || *device.reappearAt < *next)) {
            next = device.reappearAt;
        }
    }
    return next;
}

void SimWorld::writeState(bool force) {
    std::lock_guard<std::mutex> writeGuard(m_writeMutex);
    QByteArray content;
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        const Clock::time_point now = Clock::now();
        if (!m_changed || (!force && now < m_lastWrite + kStateWriteInterval)) {
            return;
        }
        content = StateFile::serialize(m_devices, m_configDigest);
        m_changed = false;
        m_lastWrite = now;
    }
    QString error;
    const bool written = m_stateFile.write(content, &error);
    std::lock_guard<std::mutex> guard(m_mutex);
    if (written) {
        m_stateWriteError.clear();
    } else if (error != m_stateWriteError) {
        m_stateWriteError = error;
        simLog(error);
    }
}
