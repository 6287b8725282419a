#pragma once

#include <QObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

// The real client executable run as a child process, its output kept for failure reports.
class ZelkProcess : public QObject {
    Q_OBJECT
public:
    ZelkProcess(const QString& executable, const QProcessEnvironment& environment,
                const QString& workingDirectory, QObject* parent = nullptr);
    ~ZelkProcess() override;

    // Runs the program as that user and group; only root may.
    void runAsUser(unsigned int uid, unsigned int gid);
    // Returns once the program runs (or could not be run), long before it is ready.
    bool start(const QStringList& arguments = {});

    qint64 pid() const { return m_pid; }
    bool isRunning() const { return m_process.state() != QProcess::NotRunning; }
    // Meaningful once the program has ended.
    bool exitedNormallyWithZero() const;
    QString exitDescription() const;
    QString output() const { return QString::fromLocal8Bit(m_output); }

    // Asks the program to end, then kills it if it has not ended within a few seconds.
    void stop();
    // SIGKILL, as a crash would end it; waits until it is gone.
    void killHard();

private:
    void collectOutput();

    QProcess m_process;
    QByteArray m_output;
    qint64 m_pid = 0;
};
