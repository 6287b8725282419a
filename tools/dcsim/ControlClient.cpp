#include "ControlClient.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <QElapsedTimer>
#include <QFile>
#include <cerrno>
#include <cstring>

namespace {

// Replies come after the callbacks a command fires, so allow the host some time.
constexpr int kReplyTimeoutMs = 30000;

class Descriptor {
public:
    explicit Descriptor(int fd) : m_fd(fd) {}
    ~Descriptor() {
        if (m_fd >= 0) {
            close(m_fd);
        }
    }
    int get() const { return m_fd; }

private:
    int m_fd;
};

QString errnoText() {
    return QString::fromLocal8Bit(std::strerror(errno));
}

}  // namespace

std::optional<QByteArray> ControlClient::request(const QByteArray& line, QString* error) const {
    const QByteArray path = QFile::encodeName(m_socketPath);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.isEmpty() || static_cast<std::size_t>(path.size()) >= sizeof address.sun_path) {
        *error = QStringLiteral("socket path %1 is too long").arg(m_socketPath);
        return std::nullopt;
    }
    std::memcpy(address.sun_path, path.constData(), static_cast<std::size_t>(path.size()));

    const Descriptor socketFd(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (socketFd.get() < 0) {
        *error = QStringLiteral("cannot create a socket: %1").arg(errnoText());
        return std::nullopt;
    }
    if (connect(socketFd.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        *error = QStringLiteral(
                     "cannot reach the simulator at %1: %2 (is a program using "
                     "libdc.so running?)")
                     .arg(m_socketPath, errnoText());
        return std::nullopt;
    }
    const QByteArray data = line + '\n';
    qsizetype sent = 0;
    while (sent < data.size()) {
        const ssize_t n = send(socketFd.get(), data.constData() + sent,
                               static_cast<std::size_t>(data.size() - sent), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            *error = QStringLiteral("cannot send to the simulator: %1").arg(errnoText());
            return std::nullopt;
        }
        sent += n;
    }

    QByteArray reply;
    QElapsedTimer timer;
    timer.start();
    for (;;) {
        const qsizetype end = reply.indexOf('\n');
        if (end >= 0) {
            return reply.left(end);
        }
        const qint64 left = kReplyTimeoutMs - timer.elapsed();
        pollfd readable{socketFd.get(), POLLIN, 0};
        const int ready = left > 0 ? poll(&readable, 1, static_cast<int>(left)) : 0;
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready == 0) {
            *error = QStringLiteral("no reply from the simulator within %1 s")
                         .arg(kReplyTimeoutMs / 1000);
            return std::nullopt;
        }
        char buffer[65536];
        const ssize_t n = ready > 0 ? recv(socketFd.get(), buffer, sizeof buffer, 0) : -1;
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            *error = n == 0 ? QStringLiteral("the simulator closed the connection without a reply")
                            : QStringLiteral("cannot read from the simulator: %1").arg(errnoText());
            return std::nullopt;
        }
        reply.append(buffer, static_cast<int>(n));
    }
}
