#pragma once

#include "browser/QueryCallback.h"
#include "profiles/CommandReply.h"
#include "ui/CommandDispatcher.h"

// Answers a page query the way a command ended.
void deliverReply(const CommandReply& reply, const QueryCallbackPtr& callback);

// Puts every command of a command group (a class with a static commands() table of name,
// required members and member function) into the page's command table.
template <typename Group>
void registerCommandTable(CommandDispatcher& dispatcher, Group* group) {
    for (const typename Group::Command& command : Group::commands()) {
        dispatcher.add(
            command.name, command.requiredMembers,
            [group, &command](const QVariantMap& members, const QueryCallbackPtr& callback) {
                deliverReply(group->run(command, members), callback);
            });
    }
}
