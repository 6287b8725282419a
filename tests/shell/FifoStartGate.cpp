#include "FifoStartGate.h"

#include <QFile>
#include <QSocketNotifier>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>

FifoStartGate::FifoStartGate(const QString& path) : m_path(path) {
    if (::mkfifo(QFile::encodeName(path).constData(), 0600) != 0) {
        m_error =
            QStringLiteral("mkfifo %1: %2").arg(path, QString::fromLocal8Bit(strerror(errno)));
        return;
    }
    m_created = true;
}

FifoStartGate::~FifoStartGate() {
    m_notifier.reset();
    if (m_readFd >= 0) {
        ::close(m_readFd);
    }
}

bool FifoStartGate::isWaitingAtGate(qint64 pid) {
    // The kernel function a FIFO opener sleeps in until the other end is opened.
    QFile wchan(QStringLiteral("/proc/%1/wchan").arg(pid));
    return wchan.open(QIODevice::ReadOnly) && wchan.readAll() == "wait_for_partner";
}

bool FifoStartGate::open() {
    if (!m_created) {
        return false;
    }
    // Read-write (Linux opens a FIFO so without waiting), so the reading end never sees an end of
    // file when the writers come and go.
    m_readFd = ::open(QFile::encodeName(m_path).constData(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (m_readFd < 0) {
        m_error =
            QStringLiteral("open %1: %2").arg(m_path, QString::fromLocal8Bit(strerror(errno)));
        return false;
    }
    m_notifier = std::make_unique<QSocketNotifier>(m_readFd, QSocketNotifier::Read);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, m_notifier.get(),
                     [this] { readAvailable(); });
    return true;
}

void FifoStartGate::readAvailable() {
    char chunk[4096];
    for (;;) {
        const ssize_t count = ::read(m_readFd, chunk, sizeof(chunk));
        if (count <= 0) {
            return;
        }
        m_written.append(chunk, static_cast<int>(count));
    }
}
