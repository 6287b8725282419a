#include "ZelkProcess.h"

#include <grp.h>
#include <unistd.h>

namespace {
constexpr int kStartTimeoutMs = 10000;
constexpr int kStopTimeoutMs = 5000;
}  // namespace

ZelkProcess::ZelkProcess(const QString& executable, const QProcessEnvironment& environment,
                         const QString& workingDirectory, QObject* parent)
    : QObject(parent) {
    m_process.setProgram(executable);
    m_process.setProcessEnvironment(environment);
    m_process.setWorkingDirectory(workingDirectory);
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    connect(&m_process, &QProcess::readyRead, this, &ZelkProcess::collectOutput);
}

ZelkProcess::~ZelkProcess() {
    stop();
}

void ZelkProcess::runAsUser(unsigned int uid, unsigned int gid) {
    m_process.setChildProcessModifier([uid, gid] {
        // Between fork and exec: a failure ends the child with a code the test reports.
        if (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0) {
            ::_exit(126);
        }
    });
}

bool ZelkProcess::start(const QStringList& arguments) {
    m_process.setArguments(arguments);
    m_process.start();
    if (!m_process.waitForStarted(kStartTimeoutMs)) {
        return false;
    }
    m_pid = m_process.processId();
    return true;
}

bool ZelkProcess::exitedNormallyWithZero() const {
    return !isRunning() && m_process.exitStatus() == QProcess::NormalExit &&
           m_process.exitCode() == 0;
}

QString ZelkProcess::exitDescription() const {
    if (isRunning()) {
        return QStringLiteral("pid %1 still running").arg(m_pid);
    }
    return QStringLiteral("pid %1 %2 with code %3")
        .arg(m_pid)
        .arg(m_process.exitStatus() == QProcess::NormalExit ? QStringLiteral("exited")
                                                            : QStringLiteral("crashed"))
        .arg(m_process.exitCode());
}

void ZelkProcess::stop() {
    if (!isRunning()) {
        return;
    }
    m_process.terminate();
    if (!m_process.waitForFinished(kStopTimeoutMs)) {
        killHard();
    }
    collectOutput();
}

void ZelkProcess::killHard() {
    if (!isRunning()) {
        return;
    }
    m_process.kill();
    m_process.waitForFinished(kStopTimeoutMs);
    collectOutput();
}

void ZelkProcess::collectOutput() {
    m_output.append(m_process.readAll());
}
