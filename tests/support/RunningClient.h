#pragma once

#include "ClientAppDir.h"
#include "DevToolsClient.h"

#include <QJsonObject>
#include <QProcess>
#include <QStringList>
#include <memory>

// The real client as a child process of a test, its page attached over the DevTools protocol
// with a few helpers installed: every query sent through send() is recorded in the page, and
// every event the page's own setMessageCallback functions log is copied.
class RunningClient {
public:
    explicit RunningClient(std::unique_ptr<ClientAppDir> dir);
    ~RunningClient();

    ClientAppDir& dir() { return *m_dir; }
    DevToolsClient& page() { return m_page; }
    bool isRunning() const { return m_process.state() != QProcess::NotRunning; }

    // Starts the program and waits until its page is up and has its settings.
    bool start(QString* error);
    // SIGTERM, then SIGKILL when the program has not ended in time.
    void stop();
    // The program's exit code once it has ended by itself within timeoutMs; -1 otherwise.
    int waitForExit(int timeoutMs);
    // The last part of what the program printed.
    QString output();

    // Sends one query from the page; its record index there, -1 when it could not be sent.
    int send(const QJsonObject& request);
    int sendText(const QString& request);
    // {"state": "pending" | "success" | "failure", "code", "text"} of a query sent before.
    QJsonObject record(int index);
    // Waits for the query's answer (the record stays pending when none comes).
    QJsonObject answer(int index);
    QJsonObject ask(const QJsonObject& request);

    // Every page event seen so far, from `from` on, as "name data".
    QStringList events(int from = 0);
    int eventCount();

private:
    void keepOutput();

    std::unique_ptr<ClientAppDir> m_dir;
    QProcess m_process;
    QByteArray m_output;
    DevToolsClient m_page;
};

// Compact JSON text, and the same as a JavaScript string literal.
QString compactJson(const QJsonObject& object);
QString jsString(const QString& text);
// The record of an answered query, for comparisons.
QJsonObject successRecord(const QString& text);
QJsonObject failureRecord(const QString& text);
