#pragma once

#include <QString>
#include <QTemporaryDir>
#include <memory>

class CommandDispatcher;
class DeviceCommands;
class devices_handler;

// The device side of the benchmark: the simulator library built with the project, loaded by a
// devices_handler of our own, and the page's device commands over it.
//
// The main window registers its device commands with the application's handler, which does not
// exist without an application object, and a command table keeps the first handler of a name.
// So the commands are published again as "bench.<name>": a page query reaches them by the very
// path the real names take (bridge, zelk::onJsMessage, PageRequest::parse, the dispatcher's
// member check, the command, deliverReply); only the name differs.
class DeviceRig {
public:
    // The keyboard of the shipped simulator configuration.
    static const QString kHardwareId;
    static const QString kDevicePath;

    DeviceRig();
    ~DeviceRig();

    static QString commandName(const QString& name);

    // Points the simulator at the shipped configuration and at state and socket files of its
    // own, then loads it. Must run before anything else calls the library in this process.
    bool start(QString* error);
    // Adds every device command under its bench name.
    bool registerInto(CommandDispatcher& dispatcher, QString* error);

    devices_handler& handler() const { return *m_handler; }

private:
    QString filesFolder(QString* error);

    std::unique_ptr<QTemporaryDir> m_ownFolder;  // only when the user folders were not moved
    std::unique_ptr<devices_handler> m_handler;
    std::unique_ptr<DeviceCommands> m_commands;
};
