#pragma once

#include "browser/QueryCallback.h"

#include <QList>
#include <QObject>
#include <QPair>
#include <QString>
#include <QStringList>

// Stands in for the page command dispatcher: receives every page query the browser host hands to
// its listener (connect it to ZelkWebView::jsMessage) and answers by the request's text:
//   "echo..."             Success("echo:" + request)
//   "fail"                Failure(0, "nope")
//   "fail:<code>:<text>"  Failure(code, text)
//   anything else         no answer; the callback is kept for the test (held()).
class QueryRecorder : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    QStringList requests() const { return m_requests; }
    int count(const QString& request) const { return m_requests.count(request); }
    // The callback of the latest unanswered query with this text, or null.
    QueryCallbackPtr held(const QString& request) const;
    void clear();

public slots:
    void onJsMessage(const QString& request, const QueryCallbackPtr& callback);

private:
    QStringList m_requests;
    QList<QPair<QString, QueryCallbackPtr>> m_held;
};
