#pragma once

#include "browser/MoveCommand.h"

class QWidget;

// The page's own window controls act on the top-level window that hosts it.
namespace WindowPlacement {

// Moves the window by the offsets and gives it the new outer size. A minimised or maximised
// window is restored first, at its current top-left corner, with the new size.
void move(QWidget* window, const MoveCommand& command);

// Minimises the window without activating it, or restores it when it is minimised.
void toggleMinimised(QWidget* window);

}  // namespace WindowPlacement
