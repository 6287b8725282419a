#include "browser/QueryHandler.h"

#include "browser/ClientHandler.h"
#include "browser/MessageEvent.h"
#include "browser/MoveCommand.h"
#include "browser/WindowPlacement.h"

namespace window_test {

namespace {
const QString kMinimiseRequest = QStringLiteral("{\"funcname\":\"minisizeWindow\"}");

}

bool Handler::OnQuery(const QString& request, const QueryCallbackPtr& callback) {
    // Both window commands are ASCII, so the text compares as its UTF-8 would; only a move
    // request is converted, since every other query may be long.
    if (MoveCommand::matches(request)) {
        if (const std::optional<MoveCommand> command = MoveCommand::parse(request.toUtf8())) {
            WindowPlacement::move(m_client->mainWindowHandle(), *command);
            callback->Success(QString());
        }
        return true;
    }
    if (request == kMinimiseRequest) {
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
