#include "QueryRecorder.h"

QueryCallbackPtr QueryRecorder::held(const QString& request) const {
    for (auto it = m_held.crbegin(); it != m_held.crend(); ++it) {
        if (it->first == request)
            return it->second;
    }
    return {};
}

void QueryRecorder::clear() {
    m_requests.clear();
    m_held.clear();
}

void QueryRecorder::onJsMessage(const QString& request, const QueryCallbackPtr& callback) {
    m_requests.append(request);
    if (request.startsWith(QLatin1String("echo"))) {
        callback->Success(QStringLiteral("echo:") + request);
    } else if (request == QLatin1String("fail")) {
        callback->Failure(0, QStringLiteral("nope"));
    } else if (request.startsWith(QLatin1String("fail:"))) {
        const QString rest = request.mid(5);
        const int colon = rest.indexOf(':');
        callback->Failure(rest.left(colon).toInt(), colon < 0 ? QString() : rest.mid(colon + 1));
    } else {
        m_held.append({request, callback});
    }
}
