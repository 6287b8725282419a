#pragma once

#include "profiles/ProfileReply.h"
#include "profiles/ProfileStore.h"

#include <QStringList>
#include <QVariantMap>
#include <QVector>

// The page's commands on XML profiles: query and edit documents by XPath, copy nodes between
// documents, reset, save, export a node to an exchange file and import one.
class ProfileCommands {
public:
    using Run = ProfileReply (ProfileCommands::*)(const QVariantMap& members);
    struct Command {
        QString name;
        QStringList requiredMembers;
        Run run;
    };

    explicit ProfileCommands(ProfileStore* store) : m_store(store) {}

    static const QVector<Command>& commands();
    ProfileReply run(const Command& command, const QVariantMap& members) {
        return (this->*command.run)(members);
    }

    ProfileReply queryProfile(const QVariantMap& members);
    ProfileReply nodeCounterProfile(const QVariantMap& members);
    ProfileReply modifyProfile(const QVariantMap& members);
    ProfileReply modifyProfileEx(const QVariantMap& members);
    ProfileReply modifyRemoveProfile(const QVariantMap& members);
    ProfileReply modifyAddProfile(const QVariantMap& members);
    ProfileReply modifyReplaceProfile(const QVariantMap& members);
    ProfileReply modifyReplaceProfileEx(const QVariantMap& members);
    ProfileReply resetProfile(const QVariantMap& members);
    ProfileReply queryHexByte(const QVariantMap& members);
    ProfileReply savexml(const QVariantMap& members);
    ProfileReply saveXmlAs(const QVariantMap& members);

    // Fills the "%" fields among the first four fields of code with the arguments, in order.
    static QString fillHexCode(const QString& code, const QString& args);

private:
    ProfileStore* m_store;
};
