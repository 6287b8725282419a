#pragma once

#include <QHash>
#include <QJsonObject>
#include <QJsonValue>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QWebSocket>
#include <functional>

class QJsonArray;
class QNetworkAccessManager;

// Drives one page of the in-process browser over the DevTools protocol for end-to-end tests.
// Every method blocks the test by spinning a local event loop until its answer or its timeout,
// so the browser keeps running meanwhile. Failures are described by lastError().
class DevToolsClient : public QObject {
    Q_OBJECT
public:
    explicit DevToolsClient(QObject* parent = nullptr);
    ~DevToolsClient() override;

    // Polls http://127.0.0.1:port/json until a "page" target whose url satisfies `matches`
    // appears, then attaches to it. The target shows the new url as soon as navigation starts,
    // so wait for the document (waitFor) before reading it. Pages filled by setHtml() are
    // listed as about:blank.
    bool connectToPage(int port, const std::function<bool(const QString& url)>& matches,
                       int timeoutMs = 15000);
    void disconnectFromPage();
    bool isConnected() const;

    // The command's "result" object, or {"error": {...}} when the browser rejected the command,
    // the connection is missing or the answer did not come in time.
    QJsonObject call(const QString& method, const QJsonObject& params = {}, int timeoutMs = 10000);

    // Runtime.evaluate, awaiting promises and returning the value as JSON. An exception,
    // rejection or failed call gives an undefined value and sets lastError().
    QJsonValue evaluate(const QString& expression, int timeoutMs = 10000);

    // Evaluates jsCondition every 50 ms until it is truthy. Exceptions while polling count as
    // "not yet" (the page may still be building what the condition reads).
    bool waitFor(const QString& jsCondition, int timeoutMs = 10000);

    // Page.* and Runtime.* notifications received so far (each the whole message).
    QList<QJsonObject> events() const { return m_events; }
    void clearEvents() { m_events.clear(); }

    // Empty after a successful operation.
    QString lastError() const { return m_lastError; }

private:
    void onTextMessage(const QString& message);
    bool fetchTargets(int port, int timeoutMs, QJsonArray* targets);
    bool openSocket(const QString& webSocketUrl, int timeoutMs);
    QJsonObject fail(const QString& message);

    QNetworkAccessManager* m_network = nullptr;
    QWebSocket m_socket;
    int m_nextId = 1;
    QSet<int> m_awaitedIds;
    QHash<int, QJsonObject> m_responses;
    QList<QJsonObject> m_events;
    QString m_lastError;
};
