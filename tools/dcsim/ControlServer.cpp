#include "ControlServer.h"

#include "ControlCommands.h"
#include "SimLog.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <QFile>
#include <cerrno>
#include <cstring>

namespace {

// A request longer than this without a line end is refused.
constexpr int kMaxRequestBytes = 4 * 1024 * 1024;
constexpr int kSendTimeoutMs = 5000;
constexpr auto kStopGrace = std::chrono::seconds(3);

bool socketAddress(const QString& path, sockaddr_un* address) {
    const QByteArray encoded = QFile::encodeName(path);
    std::memset(address, 0, sizeof *address);
    address->sun_family = AF_UNIX;
    if (encoded.isEmpty() || static_cast<std::size_t>(encoded.size()) >= sizeof address->sun_path) {
        return false;
    }
    std::memcpy(address->sun_path, encoded.constData(), static_cast<std::size_t>(encoded.size()));
    return true;
}

QString errnoText() {
    return QString::fromLocal8Bit(std::strerror(errno));
}

}  // namespace

ControlServer::ControlServer(SimWorld& world, QString socketPath)
    : m_world(world), m_socketPath(std::move(socketPath)) {}

ControlServer::~ControlServer() {
    if (m_thread.joinable()) {
        stop();
    }
}

void ControlServer::start() {
    openSocket();
    m_thread = std::thread([this] { run(); });
}

bool ControlServer::stop() {
    if (!m_thread.joinable()) {
        return true;
    }
    m_stopping = true;
    m_world.wakeSignal().raise();
    if (m_thread.get_id() == std::this_thread::get_id()) {
        // The process is ending from inside one of our callbacks.
        m_thread.detach();
        return false;
    }
    std::unique_lock<std::mutex> lock(m_doneMutex);
    if (!m_doneCondition.wait_for(lock, kStopGrace, [this] { return m_done; })) {
        m_thread.detach();
        return false;
    }
    lock.unlock();
    m_thread.join();
    return true;
}

bool ControlServer::openSocket() {
    sockaddr_un address;
    if (!socketAddress(m_socketPath, &address)) {
        simLog(QStringLiteral("control socket path %1 is too long; dcsim cannot reach this process")
                   .arg(m_socketPath));
        return false;
    }
    struct stat status;
    if (lstat(address.sun_path, &status) == 0) {
        if (!S_ISSOCK(status.st_mode)) {
            simLog(QStringLiteral("%1 exists and is not a socket; no control channel")
                       .arg(m_socketPath));
            return false;
        }
        const int probe = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const bool live = probe >= 0 && connect(probe, reinterpret_cast<sockaddr*>(&address),
                                                sizeof address) == 0;
        if (probe >= 0) {
            close(probe);
        }
        if (live) {
            simLog(QStringLiteral("control socket %1 belongs to another running simulator; "
                                  "dcsim cannot reach this process")
                       .arg(m_socketPath));
            return false;
        }
        unlink(address.sun_path);  // left behind by a process that ended without cleaning up
    }
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        simLog(QStringLiteral("cannot create the control socket: %1").arg(errnoText()));
        return false;
    }
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        chmod(address.sun_path, 0600) != 0 || listen(fd, 16) != 0 ||
        stat(address.sun_path, &status) != 0) {
        simLog(QStringLiteral("cannot listen on %1: %2").arg(m_socketPath, errnoText()));
        close(fd);
        return false;
    }
    m_listenFd = fd;
    m_socketInode = status.st_ino;
    return true;
}

void ControlServer::closeSocket() {
    for (const Client& client : m_clients) {
        close(client.fd);
    }
    m_clients.clear();
    if (m_listenFd < 0) {
        return;
    }
    close(m_listenFd);
    m_listenFd = -1;
    // Remove the file only if it is still ours and not a successor's.
    const QByteArray path = QFile::encodeName(m_socketPath);
    struct stat status;
    if (stat(path.constData(), &status) == 0 && status.st_ino == m_socketInode) {
        unlink(path.constData());
    }
}

void ControlServer::run() {
    while (!m_stopping) {
        m_world.bringBackRestartedDevices();
        m_world.deliverCallbacks();
        m_world.writeState(false);

        std::vector<pollfd> fds;
        fds.push_back({m_world.wakeSignal().fd(), POLLIN, 0});
        if (m_listenFd >= 0) {
            fds.push_back({m_listenFd, POLLIN, 0});
        }
        const std::size_t firstClient = fds.size();
        for (const Client& client : m_clients) {
            fds.push_back({client.fd, POLLIN, 0});
        }
        if (poll(fds.data(), fds.size(), pollTimeoutMs()) < 0) {
            if (errno != EINTR) {
                simLog(QStringLiteral("control thread: poll failed: %1").arg(errnoText()));
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            }
            continue;
        }
        if (fds[0].revents != 0) {
            m_world.wakeSignal().drain();
        }
        // Clients first: accepting may grow m_clients past the descriptors just polled.
        std::vector<Client> kept;
        for (std::size_t i = 0; i < m_clients.size(); ++i) {
            Client& client = m_clients[i];
            const short events = fds[firstClient + i].revents;
            if (events == 0 || (!m_stopping && readClient(client))) {
                kept.push_back(std::move(client));
            } else {
                close(client.fd);
            }
        }
        m_clients = std::move(kept);
        if (m_listenFd >= 0 && fds[1].revents != 0) {
            acceptClients();
        }
    }
    closeSocket();
    {
        std::lock_guard<std::mutex> lock(m_doneMutex);
        m_done = true;
    }
    m_doneCondition.notify_all();
}

int ControlServer::pollTimeoutMs() {
    const std::optional<SimWorld::Clock::time_point> next = m_world.nextWakeUp();
    if (!next) {
        return -1;
    }
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(*next - SimWorld::Clock::now());
    return static_cast<int>(std::clamp<long long>(wait.count(), 0, 60000));
}

void ControlServer::acceptClients() {
    for (;;) {
        const int fd = accept4(m_listenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            return;
        }
        m_clients.push_back(Client{fd, QByteArray()});
    }
}

bool ControlServer::readClient(Client& client) {
    char buffer[65536];
    bool open = true;
    for (;;) {
        const ssize_t n = recv(client.fd, buffer, sizeof buffer, 0);
        if (n > 0) {
            client.input.append(buffer, static_cast<int>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        open = n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
        break;
    }
    qsizetype end;
    while ((end = client.input.indexOf('\n')) >= 0) {
        QByteArray line = client.input.left(end);
        client.input.remove(0, end + 1);
        if (line.endsWith('\r')) {
            line.chop(1);
        }
        if (line.trimmed().isEmpty()) {
            continue;
        }
        if (!sendLine(client.fd, ControlCommands::execute(m_world, line))) {
            return false;
        }
    }
    if (client.input.size() > kMaxRequestBytes) {
        sendLine(client.fd, R"({"ok":false,"error":"request too long"})");
        return false;
    }
    return open;
}

bool ControlServer::sendLine(int fd, const QByteArray& line) {
    const QByteArray data = line + '\n';
    qsizetype sent = 0;
    while (sent < data.size()) {
        const ssize_t n = send(fd, data.constData() + sent,
                               static_cast<std::size_t>(data.size() - sent), MSG_NOSIGNAL);
        if (n > 0) {
            sent += n;
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd writable{fd, POLLOUT, 0};
            if (poll(&writable, 1, kSendTimeoutMs) > 0) {
                continue;
            }
        }
        return false;
    }
    return true;
}
