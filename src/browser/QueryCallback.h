#pragma once

#include <QPointer>
#include <QSharedPointer>
#include <QString>
#include <atomic>

class QueryBridge;

// Answers one page query. A plain query is answered once; a persistent one may succeed any number
// of times until it fails or is cancelled. Once the query is cancelled, or its frame or page has
// gone, answers have no effect. Callable from any thread.
class QueryCallback {
public:
    QueryCallback(QueryBridge* bridge, const QString& frame, int id, bool persistent);

    void Success(const QString& response);
    void Failure(int errorCode, const QString& errorMessage);

    bool isActive() const { return m_active; }
    bool isPersistent() const { return m_persistent; }
    // The page no longer waits for an answer.
    void detach() { m_active = false; }

private:
    void answer(bool ok, int code, const QString& text);

    QPointer<QueryBridge> m_bridge;
    const QString m_frame;
    const int m_id;
    const bool m_persistent;
    std::atomic<bool> m_active{true};
};

using QueryCallbackPtr = QSharedPointer<QueryCallback>;
