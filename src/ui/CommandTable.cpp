#include "ui/CommandTable.h"

void deliverReply(const CommandReply& reply, const QueryCallbackPtr& callback) {
    switch (reply.kind) {
        case CommandReply::Kind::Success:
            callback->Success(reply.text);
            break;
        case CommandReply::Kind::Failure:
            callback->Failure(0, reply.text);
            break;
        case CommandReply::Kind::None:
            break;
    }
}
