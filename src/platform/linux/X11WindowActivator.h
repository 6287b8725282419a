#pragma once

#include "platform/WindowActivator.h"

// Asks an EWMH window manager to activate the window (_NET_ACTIVE_WINDOW), found through the
// manager's client list, _NET_WM_PID and _NET_WM_NAME.
class X11WindowActivator : public WindowActivator {
public:
    bool activateWindowOf(qint64 pid,
                          const std::function<bool(const QString& title)>& titleMatches) override;
};
