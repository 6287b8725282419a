#pragma once

#include <QByteArray>
#include <QLocalSocket>
#include <QObject>
#include <QString>

// A raw connection to a running instance's socket, writing protocol text byte for byte and
// keeping everything the instance answers.
class InstanceChannelClient : public QObject {
    Q_OBJECT
public:
    explicit InstanceChannelClient(QObject* parent = nullptr);

    // socketPath is the full path of the socket file.
    bool connectTo(const QString& socketPath, int timeoutMs);
    // Writes and flushes; false when not every byte went out.
    bool send(const QByteArray& bytes);
    // Waits until at least `count` complete replies ("...;") have arrived.
    bool waitForReplies(int count, int timeoutMs);
    // Takes in whatever has already arrived, without waiting.
    void collectPending();

    QByteArray received() const { return m_received; }
    int replyCount() const { return m_received.count(';'); }
    QString errorString() const { return m_socket.errorString(); }

private:
    QLocalSocket m_socket;
    QByteArray m_received;
};
