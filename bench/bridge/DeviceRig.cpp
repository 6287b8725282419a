#include "DeviceRig.h"

#include "TestEnvironment.h"

#include "device/DeviceCommands.h"
#include "device/devices_handler.h"
#include "ui/CommandDispatcher.h"
#include "ui/CommandTable.h"

#include <QDir>
#include <QFileInfo>

const QString DeviceRig::kHardwareId = QStringLiteral("HID\\Vid_04d9&Pid_a0f1");
const QString DeviceRig::kDevicePath = QStringLiteral("/dev/hidraw-sim0");

DeviceRig::DeviceRig() = default;

// The commands point at the handler; the library stays loaded after the handler has gone.
DeviceRig::~DeviceRig() {
    m_commands.reset();
    m_handler.reset();
}

QString DeviceRig::commandName(const QString& name) {
    return QStringLiteral("bench.") + name;
}

QString DeviceRig::filesFolder(QString* error) {
    // The simulator writes its state once more when the process exits, after this object has
    // gone; the moved temporary folder outlives that, a folder of our own is left behind.
    QString base = TestEnvironment::temporaryRoot();
    if (base.isEmpty()) {
        m_ownFolder = std::make_unique<QTemporaryDir>(QDir::tempPath() + "/bench-dcsim-XXXXXX");
        m_ownFolder->setAutoRemove(false);
        if (!m_ownFolder->isValid()) {
            *error = QStringLiteral("no folder for the simulator: ") + m_ownFolder->errorString();
            return QString();
        }
        return m_ownFolder->path();
    }
    const QString folder = QDir(base).filePath(QStringLiteral("dc-sim"));
    if (!QDir().mkpath(folder)) {
        *error = QStringLiteral("cannot create ") + folder;
        return QString();
    }
    return folder;
}

bool DeviceRig::start(QString* error) {
    const QString library = QStringLiteral(DC_LIBRARY_PATH);
    const QString config = QStringLiteral(DC_SIM_CONFIG_PATH);
    if (!QFileInfo::exists(library) || !QFileInfo::exists(config)) {
        *error = QStringLiteral("the simulator is not built: %1, %2").arg(library, config);
        return false;
    }
    const QString folder = filesFolder(error);
    if (folder.isEmpty()) {
        return false;
    }
    // Read by the simulator at the first call of any entry point: the handler's constructor.
    qputenv("DC_SIM_CONFIG", QFile::encodeName(config));
    qputenv("DC_SIM_STATE", QFile::encodeName(QDir(folder).filePath("dc-sim-state.json")));
    qputenv("DC_SIM_SOCKET", QFile::encodeName(QDir(folder).filePath("dc-sim.sock")));

    m_handler = std::make_unique<devices_handler>(library);
    if (!m_handler->isLoaded() || !m_handler->dcRead || !m_handler->dcWrite) {
        *error = QStringLiteral("cannot load the simulator from ") + library;
        return false;
    }
    m_commands = std::make_unique<DeviceCommands>(m_handler.get(), [] { return QString(); });
    return true;
}

bool DeviceRig::registerInto(CommandDispatcher& dispatcher, QString* error) {
    DeviceCommands* commands = m_commands.get();
    for (const DeviceCommands::Command& command : DeviceCommands::commands()) {
        // What registerCommandTable adds, under the bench name.
        const bool added = dispatcher.add(
            commandName(command.name), command.requiredMembers,
            [commands, &command](const QVariantMap& members, const QueryCallbackPtr& callback) {
                deliverReply(commands->run(command, members), callback);
            });
        if (!added) {
            *error = commandName(command.name) + QStringLiteral(" is taken");
            return false;
        }
    }
    return true;
}
