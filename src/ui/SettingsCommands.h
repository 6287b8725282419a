#pragma once

class CommandDispatcher;
class zelk;

// The page's commands for the client settings and the program itself.
namespace SettingsCommands {

void registerInto(CommandDispatcher& dispatcher, zelk* window);

}  // namespace SettingsCommands
