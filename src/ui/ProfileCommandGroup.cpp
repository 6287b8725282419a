#include "ui/ProfileCommandGroup.h"

#include "profiles/ProfileCommands.h"
#include "ui/CommandDispatcher.h"

namespace ProfileCommandGroup {

void registerInto(CommandDispatcher& dispatcher, ProfileCommands* commands) {
    for (const ProfileCommands::Command& command : ProfileCommands::commands()) {
        dispatcher.add(
            command.name, command.requiredMembers,
            [commands, &command](const QVariantMap& members, const QueryCallbackPtr& reply) {
                const ProfileReply result = commands->run(command, members);
                switch (result.kind) {
                    case ProfileReply::Kind::Success:
                        reply->Success(result.text);
                        break;
                    case ProfileReply::Kind::Failure:
                        reply->Failure(0, result.text);
                        break;
                    case ProfileReply::Kind::None:
                        break;
                }
            });
    }
}

}  // namespace ProfileCommandGroup
