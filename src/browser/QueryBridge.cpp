#include "browser/QueryBridge.h"

#include <optional>

QueryBridge::QueryBridge(QueryHandler handler, QObject* parent)
    : QObject(parent), m_handler(std::move(handler)) {}

QueryBridge::~QueryBridge() {
    dropAll();
}

void QueryBridge::query(const QString& frame, int id, const QString& request, bool persistent) {
    auto callback = QueryCallbackPtr::create(this, frame, id, persistent);
    m_pending[frame].insert(id, callback);
    if (m_handler) {
        m_handler(request, callback);
    }
}

namespace {

// The request text: as sent, or sent as its pieces between double quotes, which spares the
// channel's reader a long string full of escaped quotes.
std::optional<QString> requestText(const QVariant& value) {
    if (value.typeId() == QMetaType::QString) {
        return value.toString();
    }
    if (value.typeId() != QMetaType::QVariantList) {
        return std::nullopt;
    }
    const QVariantList pieces = value.toList();
    QString text;
    for (int i = 0; i < pieces.size(); ++i) {
        if (pieces.at(i).typeId() != QMetaType::QString) {
            return std::nullopt;
        }
        if (i > 0) {
            text += QLatin1Char('"');
        }
        text += pieces.at(i).toString();
    }
    return text;
}

}  // namespace

void QueryBridge::setRequest(const QVariantList& query) {
    if (query.size() != 4 || query.at(0).typeId() != QMetaType::QString) {
        return;
    }
    if (const std::optional<QString> request = requestText(query.at(2))) {
        this->query(query.at(0).toString(), query.at(1).toInt(), *request, query.at(3).toBool());
    }
}

void QueryBridge::cancel(const QString& frame, int id) {
    auto frameIt = m_pending.find(frame);
    if (frameIt == m_pending.end()) {
        return;
    }
    if (QueryCallbackPtr callback = frameIt->take(id).toStrongRef()) {
        callback->detach();
    }
    if (frameIt->isEmpty()) {
        m_pending.erase(frameIt);
    }
}

void QueryBridge::releaseFrame(const QString& frame) {
    const QHash<int, QWeakPointer<QueryCallback>> queries = m_pending.take(frame);
    for (const QWeakPointer<QueryCallback>& weak : queries) {
        if (QueryCallbackPtr callback = weak.toStrongRef()) {
            callback->detach();
        }
    }
}

void QueryBridge::dropAll() {
    const auto frames = m_pending.keys();
    for (const QString& frame : frames) {
        releaseFrame(frame);
    }
}

int QueryBridge::pendingCount() const {
    int count = 0;
    for (const auto& queries : m_pending) {
        count += queries.size();
    }
    return count;
}

void QueryBridge::sendEvent(const QString& name, const QVariantList& args) {
    emit nativeEvent(name, args);
}

void QueryBridge::deliverReply(const QString& frame, int id, bool ok, int code, const QString& text,
                               bool finishes) {
    auto frameIt = m_pending.find(frame);
    if (frameIt == m_pending.end() || !frameIt->contains(id)) {
        return;  // cancelled or dropped meanwhile
    }
    if (finishes) {
        frameIt->remove(id);
        if (frameIt->isEmpty()) {
            m_pending.erase(frameIt);
        }
    }
    emit reply(frame, id, ok, code, text, finishes);
}
