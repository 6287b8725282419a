#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>
#include <memory>

class QSocketNotifier;

// Lines up processes that open the same file for writing: the file is a FIFO, whose opening for
// writing blocks until a reader opens it, so every process waits there until open() lets them
// all go at the same instant. Keeps reading what they write, so they never block on it later.
class FifoStartGate {
public:
    // Creates the FIFO at path; isValid() says whether that worked.
    explicit FifoStartGate(const QString& path);
    ~FifoStartGate();
    FifoStartGate(const FifoStartGate&) = delete;
    FifoStartGate& operator=(const FifoStartGate&) = delete;

    bool isValid() const { return m_created; }
    QString errorString() const { return m_error; }

    // True while process pid waits in the kernel for the other end of a FIFO.
    static bool isWaitingAtGate(qint64 pid);
    // Opens the reading end, which releases every process waiting to write.
    bool open();
    // What the processes wrote so far.
    QByteArray written() const { return m_written; }

private:
    QString m_path;
    QString m_error;
    bool m_created = false;
    int m_readFd = -1;
    std::unique_ptr<QSocketNotifier> m_notifier;
    QByteArray m_written;

    void readAvailable();
};
