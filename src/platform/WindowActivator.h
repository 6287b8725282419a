#pragma once

#include <QString>
#include <QtGlobal>
#include <functional>
#include <memory>

// Brings a top-level window of another process to the front, where the desktop allows it.
class WindowActivator {
public:
    virtual ~WindowActivator() = default;

    // Activates the first top-level window of process pid whose title satisfies titleMatches.
    // Returns false when no such window was found or the desktop offers no way to activate it.
    virtual bool activateWindowOf(
        qint64 pid, const std::function<bool(const QString& title)>& titleMatches) = 0;

    static std::unique_ptr<WindowActivator> create();
};
