#include "browser/QueryCallback.h"

#include "browser/QueryBridge.h"

#include <QThread>

QueryCallback::QueryCallback(QueryBridge* bridge, const QString& frame, int id, bool persistent)
    : m_bridge(bridge), m_frame(frame), m_id(id), m_persistent(persistent) {}

void QueryCallback::Success(const QString& response) {
    answer(true, 0, response);
}

void QueryCallback::Failure(int errorCode, const QString& errorMessage) {
    answer(false, errorCode, errorMessage);
}

void QueryCallback::answer(bool ok, int code, const QString& text) {
    const bool finishes = !ok || !m_persistent;
    if (finishes) {
        bool expected = true;
        if (!m_active.compare_exchange_strong(expected, false)) {
            return;
        }
    } else if (!m_active) {
        return;
    }
    QueryBridge* bridge = m_bridge.data();
    if (!bridge) {
        return;
    }
    if (QThread::currentThread() == bridge->thread()) {
        bridge->deliverReply(m_frame, m_id, ok, code, text, finishes);
        return;
    }
    QPointer<QueryBridge> target = m_bridge;
    const QString frame = m_frame;
    const int id = m_id;
    QMetaObject::invokeMethod(
        bridge,
        [target, frame, id, ok, code, text, finishes] {
            if (target) {
                target->deliverReply(frame, id, ok, code, text, finishes);
            }
        },
        Qt::QueuedConnection);
}
