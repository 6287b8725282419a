#pragma once

#include <QObject>
#include <memory>

// Reports a request from the system to end the program (a session ending, a service manager or
// a user stopping it), on the main thread, so the program can save its data and quit in order.
class TerminationWatcher : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~TerminationWatcher() override = default;

    // Only one watcher may exist at a time; null when the system offers no way to watch.
    static std::unique_ptr<TerminationWatcher> create();

signals:
    void terminationRequested();
};
