#pragma once

#include "browser/QueryCallback.h"

#include <QEvent>
#include <QString>

// The Qt event type that carries page queries to the main thread.
extern const int messageEventType;

// One page query on its way to the main thread: the request text and the callback answering it.
class MessageEvent : public QEvent {
public:
    MessageEvent(const QString& name, const QueryCallbackPtr& callback);

    QString name() const { return m_name; }
    QueryCallbackPtr callback() const { return m_callback; }

private:
    QString m_name;
    QueryCallbackPtr m_callback;
};
