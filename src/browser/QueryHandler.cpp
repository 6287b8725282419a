#include "browser/QueryHandler.h"

#include "browser/ClientHandler.h"
#include "browser/MessageEvent.h"
#include "browser/MoveCommand.h"
#include "browser/WindowPlacement.h"

namespace window_test {

namespace {
const QByteArray kMinimiseRequest = QByteArrayLiteral("{\"funcname\":\"minisizeWindow\"}");
}

bool Handler::OnQuery(const QString& request, const QueryCallbackPtr& callback) {
    const QByteArray utf8 = request.toUtf8();
    if (MoveCommand::matches(utf8)) {
        if (const std::optional<MoveCommand> command = MoveCommand::parse(utf8)) {
            WindowPlacement::move(m_client->mainWindowHandle(), *command);
            callback->Success(QString());
        }
        return true;
    }
    if (utf8 == kMinimiseRequest) {
        m_client->runBeforeMinimise();
        WindowPlacement::toggleMinimised(m_client->mainWindowHandle());
        callback->Success(QString());
        return true;
    }
    if (ClientHandler::Listener* listener = m_client->listener()) {
        listener->PostMessageEvent(new MessageEvent(request, callback));
    }
    return true;
}

}  // namespace window_test
