#pragma once

#include "profiles/CommandReply.h"
#include "profiles/ProfileStore.h"

#include <QStringList>
#include <QVariantMap>
#include <QVector>

// The page's commands on XML profiles: query and edit documents by XPath, copy nodes between
// documents, reset, save, export a node to an exchange file and import one.
class ProfileCommands {
public:
    using Run = CommandReply (ProfileCommands::*)(const QVariantMap& members);
    struct Command {
        QString name;
        QStringList requiredMembers;
        Run run;
    };

    explicit ProfileCommands(ProfileStore* store) : m_store(store) {}

    static const QVector<Command>& commands();
    CommandReply run(const Command& command, const QVariantMap& members) {
        return (this->*command.run)(members);
    }

    CommandReply queryProfile(const QVariantMap& members);
    CommandReply nodeCounterProfile(const QVariantMap& members);
    CommandReply modifyProfile(const QVariantMap& members);
    CommandReply modifyProfileEx(const QVariantMap& members);
    CommandReply modifyRemoveProfile(const QVariantMap& members);
    CommandReply modifyAddProfile(const QVariantMap& members);
    CommandReply modifyReplaceProfile(const QVariantMap& members);
    CommandReply modifyReplaceProfileEx(const QVariantMap& members);
    CommandReply resetProfile(const QVariantMap& members);
    CommandReply queryHexByte(const QVariantMap& members);
    CommandReply savexml(const QVariantMap& members);
    CommandReply saveXmlAs(const QVariantMap& members);

    // Fills the "%" fields among the first four fields of code with the arguments, in order.
    static QString fillHexCode(const QString& code, const QString& args);

private:
    ProfileStore* m_store;
};
