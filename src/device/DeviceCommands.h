#pragma once

#include "profiles/CommandReply.h"

#include <QStringList>
#include <QVariantMap>
#include <QVector>
#include <functional>

class devices_handler;

// The page's commands that reach the device: list devices, read and write properties and memory,
// notify, test an area for emptiness, write and clear macros. A size outside the 2048-byte
// transfer buffer, or data with fewer items than the size, is refused with the command's failure
// text before the library is called.
class DeviceCommands {
public:
    using Run = CommandReply (DeviceCommands::*)(const QVariantMap& members);
    struct Command {
        QString name;
        QStringList requiredMembers;
        Run run;
    };

    // handler may be null (no library); confText gives the current conf.xml text.
    DeviceCommands(devices_handler* handler, std::function<QString()> confText)
        : m_handler(handler), m_confText(std::move(confText)) {}

    static const QVector<Command>& commands();
    CommandReply run(const Command& command, const QVariantMap& members) {
        return (this->*command.run)(members);
    }

    CommandReply getDevicesList(const QVariantMap& members);
    CommandReply readDevicesProp(const QVariantMap& members);
    CommandReply writeDevicesProp(const QVariantMap& members);
    CommandReply readByAddr(const QVariantMap& members);
    CommandReply writeByAddr(const QVariantMap& members);
    CommandReply notifyDevice(const QVariantMap& members);
    CommandReply isPropEmpty(const QVariantMap& members);
    CommandReply cleanMacroByAddr(const QVariantMap& members);
    CommandReply writeMacroByAddr(const QVariantMap& members);

private:
    devices_handler* m_handler;
    std::function<QString()> m_confText;
};
