#include "browser/WebLog.h"

#include <QFile>
#include <QMutex>
#include <QMutexLocker>
#include <atomic>

namespace {

QMutex logMutex;
QFile* logFile = nullptr;
std::atomic<int> minimum{WebLog::Info};

const char* severityName(int severity) {
    switch (severity) {
        case WebLog::Verbose:
            return "VERBOSE1";
        case WebLog::Info:
            return "INFO";
        case WebLog::Warning:
            return "WARNING";
        case WebLog::Error:
            return "ERROR";
        default:
            return "FATAL";
    }
}

}  // namespace

bool WebLog::open(const QString& path, int minSeverity) {
    QMutexLocker lock(&logMutex);
    minimum = minSeverity;
    delete logFile;
    logFile = new QFile(path);
    if (!logFile->open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text)) {
        delete logFile;
        logFile = nullptr;
        return false;
    }
    return true;
}

void WebLog::close() {
    QMutexLocker lock(&logMutex);
    delete logFile;
    logFile = nullptr;
}

int WebLog::minSeverity() {
    return minimum;
}

bool WebLog::admits(int severity) {
    return severity >= minimum && minimum != Disabled;
}

QString WebLog::path() {
    QMutexLocker lock(&logMutex);
    return logFile ? logFile->fileName() : QString();
}

void WebLog::write(int severity, const QString& source, int line, const QString& text) {
    if (!admits(severity)) {
        return;
    }
    const QByteArray record =
        formatLine(QDateTime::currentDateTime(), severity, source, line, text).toUtf8();
    QMutexLocker lock(&logMutex);
    if (logFile) {
        logFile->write(record);
        logFile->flush();
    }
}

QString WebLog::formatLine(const QDateTime& when, int severity, const QString& source, int line,
                           const QString& text) {
    return QStringLiteral("[%1:%2:%3(%4)] %5\n")
        .arg(when.toString(QStringLiteral("MMdd/HHmmss.zzz")),
             QString::fromLatin1(severityName(severity)), source, QString::number(line), text);
}

int WebLog::parseSeverity(const QString& text, int defaultSeverity) {
    const QString name = text.trimmed().toLower();
    if (name == QLatin1String("verbose")) {
        return Verbose;
    }
    if (name == QLatin1String("info")) {
        return Info;
    }
    if (name == QLatin1String("warning")) {
        return Warning;
    }
    if (name == QLatin1String("error")) {
        return Error;
    }
    if (name == QLatin1String("fatal")) {
        return Fatal;
    }
    if (name == QLatin1String("disable")) {
        return Disabled;
    }
    bool ok = false;
    const int number = name.toInt(&ok);
    return ok ? number : defaultSeverity;
}
