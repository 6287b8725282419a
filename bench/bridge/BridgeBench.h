#pragma once

#include "BenchResults.h"

#include <QJsonValue>
#include <QString>
#include <memory>
#include <optional>
#include <vector>

class ClientHandler;
class DeviceRig;
class DevToolsClient;
class EchoObject;
class EventWorker;
class FixtureServer;
class zelk;

// One run of the bridge benchmark on the real engine: the main window with its dispatcher, a
// page served from 127.0.0.1, the loops run inside the page over the DevTools protocol.
class BridgeBench {
public:
    explicit BridgeBench(int devtoolsPort);
    ~BridgeBench();

    // 0 when every measurement ran; the report goes to stdout, progress and failures to stderr.
    int run();

private:
    bool startServer();
    bool startDevice();
    bool openPage();
    bool addCommands();
    bool checkClients();
    bool measureCalls();
    bool measureDevice();
    bool measureEvents();
    void measureIdle();

    // Evaluates an expression whose promise gives an array of times in ms; returns them in µs.
    std::optional<std::vector<double>> timesOf(const QString& expression);
    std::optional<QJsonValue> evaluate(const QString& expression);
    bool fail(const QString& what);

    const int m_devtoolsPort;
    BenchResults m_results;
    std::unique_ptr<FixtureServer> m_server;
    std::unique_ptr<ClientHandler> m_client;
    std::unique_ptr<DeviceRig> m_device;  // outlives the window whose commands use it
    std::unique_ptr<EchoObject> m_echo;
    std::unique_ptr<zelk> m_window;
    std::unique_ptr<EventWorker> m_worker;  // joined before the window and the client go
    std::unique_ptr<DevToolsClient> m_devtools;
};
