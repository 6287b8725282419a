#pragma once

#include "SimWorld.h"

#include <QByteArray>

// The control protocol: one request per line, one reply per line.
//
// A request is a JSON object {"cmd": NAME, ...} or the text "NAME ARGUMENT":
//   attach  {"cmd":"attach","device":{...}}     attach {...}
//   detach  {"cmd":"detach","hardwareId":ID}    detach ID
//   event   {"cmd":"event","code":N|"0x.."}      event CODE
//   data    {"cmd":"data","hex":"16 digits"}     data HEX16
//   state   {"cmd":"state"}                     state
//   reset   {"cmd":"reset"}                     reset
// The reply is {"ok":true, ...} or {"ok":false,"error":TEXT}; state adds "state":{...}.
// Callbacks a command causes have been fired when its reply is sent.
namespace ControlCommands {

// Runs on the control thread. The reply has no line end.
QByteArray execute(SimWorld& world, const QByteArray& line);

}  // namespace ControlCommands
