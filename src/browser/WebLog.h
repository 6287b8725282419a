#pragma once

#include <QDateTime>
#include <QString>

// The browser engine's log file "web.log": one record a line,
// "[MMDD/HHMMSS.mmm:SEVERITY:source(line)] text", written only when the minimum severity admits
// the record. Safe to use from any thread.
class WebLog {
public:
    enum Severity { Verbose = -1, Info = 0, Warning = 1, Error = 2, Fatal = 3, Disabled = 99 };

    // Opens (appends to) the log file. Records below minSeverity are not written.
    static bool open(const QString& path, int minSeverity);
    static void close();
    static int minSeverity();
    static bool admits(int severity);
    static QString path();
    static void write(int severity, const QString& source, int line, const QString& text);

    static QString formatLine(const QDateTime& when, int severity, const QString& source, int line,
                              const QString& text);
    // "verbose", "info", "warning", "error", "fatal", "disable" or a number; unknown text gives
    // defaultSeverity.
    static int parseSeverity(const QString& text, int defaultSeverity);
};

#define ZELK_WEB_LOG(source, text)                               \
    do {                                                         \
        if (WebLog::admits(WebLog::Info)) {                      \
            WebLog::write(WebLog::Info, source, __LINE__, text); \
        }                                                        \
    } while (false)
