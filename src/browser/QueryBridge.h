#pragma once

#include "browser/QueryCallback.h"

#include <QHash>
#include <QObject>
#include <QVariantList>
#include <functional>

// The native end of one page's query channel, published to the page's scripts. Frames are told
// apart by a token each JavaScript context draws for itself, so an answer meant for a context
// that has gone never reaches its successor.
class QueryBridge : public QObject {
    Q_OBJECT
    // The page sends a query as one write of [frame, id, request, persistent]. A property write is
    // the one channel message that gets no response; a slot call would cost the page a second
    // message, the empty result, before the reply.
    Q_PROPERTY(QVariantList request READ request WRITE setRequest NOTIFY requestChanged)
public:
    using QueryHandler = std::function<void(const QString& request, const QueryCallbackPtr&)>;

    explicit QueryBridge(QueryHandler handler, QObject* parent = nullptr);
    ~QueryBridge() override;

    // Forgets every pending query: the page navigated, its renderer died, or it closes.
    void dropAll();
    int pendingCount() const;
    void sendEvent(const QString& name, const QVariantList& args);
    void deliverReply(const QString& frame, int id, bool ok, int code, const QString& text,
                      bool finishes);

    QVariantList request() const { return {}; }
    // Takes [frame, id, request, persistent], the request as text or as the list of its pieces
    // between double quotes; anything else is ignored.
    void setRequest(const QVariantList& query);
    void query(const QString& frame, int id, const QString& request, bool persistent);

public slots:
    void cancel(const QString& frame, int id);
    void releaseFrame(const QString& frame);

signals:
    void requestChanged();  // never emitted: the property only carries writes
    void reply(const QString& frame, int id, bool ok, int code, const QString& text, bool done);
    void nativeEvent(const QString& name, const QVariantList& args);

private:
    QueryHandler m_handler;
    QHash<QString, QHash<int, QWeakPointer<QueryCallback>>> m_pending;
};
