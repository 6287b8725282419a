#pragma once

#include "browser/QueryCallback.h"

class ClientHandler;

namespace window_test {

// Takes every page query: the page's window commands are carried out here, everything else is
// posted to the current listener for the command dispatcher.
class Handler {
public:
    explicit Handler(ClientHandler* client) : m_client(client) {}

    // Always takes the query (returns true), whether or not it will ever be answered.
    bool OnQuery(const QString& request, const QueryCallbackPtr& callback);

private:
    ClientHandler* m_client;
};

}  // namespace window_test
