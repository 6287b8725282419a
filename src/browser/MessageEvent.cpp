#include "browser/MessageEvent.h"

const int messageEventType = QEvent::registerEventType();

MessageEvent::MessageEvent(const QString& name, const QueryCallbackPtr& callback)
    : QEvent(static_cast<QEvent::Type>(messageEventType)), m_name(name), m_callback(callback) {}
