#include "platform/linux/SignalTerminationWatcher.h"

#include <QSocketNotifier>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>
#include <csignal>

namespace {

int signalPipe[2] = {-1, -1};
const int kSignals[] = {SIGTERM, SIGINT, SIGHUP};

void onSignal(int number) {
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(number);
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
    errno = saved;
}

}  // namespace

std::unique_ptr<TerminationWatcher> TerminationWatcher::create() {
    auto watcher = std::make_unique<SignalTerminationWatcher>();
    if (!watcher->isWatching()) {
        return nullptr;
    }
    return watcher;
}

SignalTerminationWatcher::SignalTerminationWatcher() {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, signalPipe) != 0) {
        return;
    }
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int number : kSignals) {
        sigaction(number, &action, nullptr);
    }
    m_notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &SignalTerminationWatcher::readSignal);
}

SignalTerminationWatcher::~SignalTerminationWatcher() {
    struct sigaction action = {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    for (int number : kSignals) {
        sigaction(number, &action, nullptr);
    }
    delete m_notifier;
    for (int& fd : signalPipe) {
        if (fd >= 0) {
            ::close(fd);
            fd = -1;
        }
    }
}

void SignalTerminationWatcher::readSignal() {
    unsigned char buffer[16];
    while (::read(signalPipe[0], buffer, sizeof buffer) > 0) {
    }
    emit terminationRequested();
}
