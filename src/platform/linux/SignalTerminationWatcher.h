#pragma once

#include "platform/TerminationWatcher.h"

class QSocketNotifier;

// Turns SIGTERM, SIGINT and SIGHUP into terminationRequested() through a self-pipe, so the signal
// handler itself does nothing but one write.
class SignalTerminationWatcher : public TerminationWatcher {
    Q_OBJECT
public:
    SignalTerminationWatcher();
    ~SignalTerminationWatcher() override;

    bool isWatching() const { return m_notifier != nullptr; }

private:
    void readSignal();

    QSocketNotifier* m_notifier = nullptr;
};
