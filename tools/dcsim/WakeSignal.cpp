#include "WakeSignal.h"

#include <fcntl.h>
#include <unistd.h>
#include <cerrno>

WakeSignal::WakeSignal() {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) == 0) {
        m_read = fds[0];
        m_write = fds[1];
    }
}

WakeSignal::~WakeSignal() {
    if (m_read >= 0) {
        close(m_read);
        close(m_write);
    }
}

void WakeSignal::raise() {
    if (m_write < 0) {
        return;
    }
    const char byte = 1;
    // A full pipe already holds a wake-up, so EAGAIN is fine.
    while (::write(m_write, &byte, 1) < 0 && errno == EINTR) {
        continue;
    }
}

void WakeSignal::drain() {
    if (m_read < 0) {
        return;
    }
    char buffer[64];
    for (;;) {
        const ssize_t n = ::read(m_read, buffer, sizeof buffer);
        if (n > 0 || (n < 0 && errno == EINTR)) {
            continue;
        }
        return;
    }
}
