#pragma once

class CommandDispatcher;
class ProfileCommands;

// Puts the profile commands into the page's command table.
namespace ProfileCommandGroup {

void registerInto(CommandDispatcher& dispatcher, ProfileCommands* commands);

}  // namespace ProfileCommandGroup
