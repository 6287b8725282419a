#include "InstanceChannelClient.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

InstanceChannelClient::InstanceChannelClient(QObject* parent) : QObject(parent) {
    connect(&m_socket, &QLocalSocket::readyRead, this,
            [this] { m_received.append(m_socket.readAll()); });
}

bool InstanceChannelClient::connectTo(const QString& socketPath, int timeoutMs) {
    m_socket.connectToServer(socketPath, QIODevice::ReadWrite);
    return m_socket.waitForConnected(timeoutMs);
}

bool InstanceChannelClient::send(const QByteArray& bytes) {
    if (m_socket.write(bytes) != bytes.size()) {
        return false;
    }
    while (m_socket.bytesToWrite() > 0) {
        if (!m_socket.waitForBytesWritten(5000)) {
            return false;
        }
    }
    return true;
}

bool InstanceChannelClient::waitForReplies(int count, int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs);
    while (replyCount() < count && !deadline.hasExpired()) {
        if (m_socket.state() != QLocalSocket::ConnectedState) {
            m_received.append(m_socket.readAll());
            break;
        }
        QEventLoop loop;
        connect(&m_socket, &QLocalSocket::readyRead, &loop, &QEventLoop::quit);
        connect(&m_socket, &QLocalSocket::disconnected, &loop, &QEventLoop::quit);
        QTimer::singleShot(qMax<qint64>(1, deadline.remainingTime()), &loop, &QEventLoop::quit);
        loop.exec();
    }
    return replyCount() >= count;
}

void InstanceChannelClient::collectPending() {
    m_socket.waitForReadyRead(0);
    m_received.append(m_socket.readAll());
}
