#pragma once

// A self-pipe that lets any thread interrupt the control thread's poll().
class WakeSignal {
public:
    WakeSignal();
    ~WakeSignal();
    WakeSignal(const WakeSignal&) = delete;
    WakeSignal& operator=(const WakeSignal&) = delete;

    bool valid() const { return m_read >= 0; }
    // The descriptor to poll for reading.
    int fd() const { return m_read; }
    void raise();
    void drain();

private:
    int m_read = -1;
    int m_write = -1;
};
