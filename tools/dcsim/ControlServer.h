#pragma once

#include "SimWorld.h"

#include <sys/types.h>
#include <QByteArray>
#include <QString>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

// The simulator's own thread. It serves the control socket (one request line, one reply line,
// see ControlCommands), fires the queued callbacks, brings restarted devices back and writes
// the state file. Without a socket (path in use, too long) it does all but the first.
class ControlServer {
public:
    ControlServer(SimWorld& world, QString socketPath);
    ~ControlServer();
    ControlServer(const ControlServer&) = delete;
    ControlServer& operator=(const ControlServer&) = delete;

    void start();
    // True when the thread has ended; false when it is stuck (in a host callback, say) and has
    // been left running on its own.
    bool stop();

private:
    struct Client {
        int fd = -1;
        QByteArray input;
    };

    void run();
    bool openSocket();
    void closeSocket();
    void acceptClients();
    // False when the client is gone or misbehaved and must be closed.
    bool readClient(Client& client);
    bool sendLine(int fd, const QByteArray& line);
    int pollTimeoutMs();

    SimWorld& m_world;
    QString m_socketPath;
    int m_listenFd = -1;
    ino_t m_socketInode = 0;
    std::vector<Client> m_clients;

    std::thread m_thread;
    std::atomic<bool> m_stopping{false};
    std::mutex m_doneMutex;
    std::condition_variable m_doneCondition;
    bool m_done = false;
};
