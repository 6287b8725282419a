#include "BridgeBench.h"

#include "BenchReport.h"
#include "DevToolsClient.h"
#include "DeviceRig.h"
#include "EchoObject.h"
#include "EventWorker.h"
#include "FixtureServer.h"
#include "NativeDeviceCosts.h"
#include "ProcessCpuTime.h"

#include "browser/ClientHandler.h"
#include "browser/ZelkPage.h"
#include "browser/ZelkWebView.h"
#include "ui/zelk.h"

#include <unistd.h>
#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>
#include <QWebChannel>
#include <QtTest>
#include <cstdio>

namespace {

constexpr int kSequentialCount = 2000;
constexpr int kSequentialWarmup = 200;
constexpr int kTurnLength = 10;  // calls (or batches) of one kind before the next kind's turn
constexpr int kBatchSize = 100;
constexpr int kBatches = 20;
constexpr int kBatchWarmup = 2;
constexpr int kBurstCount = 2000;
constexpr int kBurstWarmup = 200;
constexpr int kIdleMs = 5000;
constexpr double kTargetRatio = 1.2;
constexpr int kDeviceTransferSize = 2048;  // the whole transfer buffer
constexpr int kDeviceAddress = 0x1000;
constexpr double kDeviceTargetRatio = 1.5;
constexpr int kEvaluateTimeoutMs = 120000;

const QString kPagePath = QStringLiteral("/bridge_bench.html");

// The page's times are ms; the report's are µs.
std::vector<double> micros(const QJsonValue& milliseconds) {
    std::vector<double> values;
    for (const QJsonValue& ms : milliseconds.toArray()) {
        values.push_back(ms.toDouble() * 1000.0);
    }
    return values;
}

void progress(const QString& text) {
    std::fprintf(stderr, "bench_bridge: %s\n", qPrintable(text));
    std::fflush(stderr);
}

QByteArray resource(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace

BridgeBench::BridgeBench(int devtoolsPort) : m_devtoolsPort(devtoolsPort) {}

BridgeBench::~BridgeBench() {
    m_devtools.reset();
    m_worker.reset();
    m_window.reset();  // the page goes before the client that owns the engine profile
    m_echo.reset();
    m_device.reset();
    m_client.reset();
}

int BridgeBench::run() {
    if (!startServer() || !startDevice() || !openPage() || !checkClients() || !measureCalls() ||
        !measureDevice() || !measureEvents()) {
        return 1;
    }
    measureIdle();
    const QString table = BenchReport::table(m_results);
    std::fputs(qPrintable(table), stdout);
    std::fputs(BenchReport::jsonLine(m_results).constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
    return 0;
}

bool BridgeBench::startServer() {
    const QByteArray channelScript = resource(QStringLiteral(":/qtwebchannel/qwebchannel.js"));
    const QByteArray page = resource(QStringLiteral(":/bench/bridge/bridge_bench.html"));
    const QByteArray script = resource(QStringLiteral(":/bench/bridge/bridge_bench.js"));
    if (channelScript.isEmpty() || page.isEmpty() || script.isEmpty()) {
        return fail(QStringLiteral("a page resource is missing"));
    }
    m_server = std::make_unique<FixtureServer>();
    m_server->addFile(kPagePath, "text/html; charset=utf-8", page);
    m_server->addFile(QStringLiteral("/bridge_bench.js"), "text/javascript; charset=utf-8", script);
    m_server->addFile(QStringLiteral("/qwebchannel.js"), "text/javascript; charset=utf-8",
                      channelScript);
    if (!m_server->start()) {
        return fail(QStringLiteral("cannot listen on 127.0.0.1: ") + m_server->errorString());
    }
    m_results.pageUrl = m_server->urlOf(kPagePath).toString();
    return true;
}

bool BridgeBench::startDevice() {
    m_device = std::make_unique<DeviceRig>();
    QString error;
    return m_device->start(&error) || fail(error);
}

bool BridgeBench::openPage() {
    m_client = std::make_unique<ClientHandler>(QCoreApplication::arguments());
    globalClientHandler = m_client.get();
    m_worker = std::make_unique<EventWorker>();
    m_echo = std::make_unique<EchoObject>();

    // The window creates its browser at once; the echo object joins the bridge on the page's
    // channel before any document asks the channel for its objects.
    m_window = std::make_unique<zelk>();
    ZelkPage* page = m_window->webView()->browser();
    if (!page || !page->webChannel()) {
        return fail(QStringLiteral("the main window has no browser"));
    }
    page->webChannel()->registerObject(QStringLiteral("echo"), m_echo.get());
    if (!addCommands()) {
        return false;
    }
    globalClientHandler->setMainWindowHandle(m_window.get());

    const QString url = m_results.pageUrl;
    m_window->webView()->load(QUrl(url));
    m_window->show();
    if (!QTest::qWaitForWindowExposed(m_window.get(), 10000)) {
        return fail(QStringLiteral("the main window was never exposed"));
    }

    m_devtools = std::make_unique<DevToolsClient>();
    if (!m_devtools->connectToPage(m_devtoolsPort,
                                   [url](const QString& target) { return target == url; })) {
        return fail(QStringLiteral("DevTools: ") + m_devtools->lastError());
    }
    if (!m_devtools->waitFor(
            QStringLiteral("window.bench && (bench.ready || bench.failure !== '')"), 30000)) {
        const QString waited = m_devtools->lastError();
        const QJsonValue state = m_devtools->evaluate(
            QStringLiteral("JSON.stringify({url: location.href, bench: typeof window.bench, "
                           "transport: typeof qt === 'object' && !!qt.webChannelTransport, "
                           "errors: window.bench ? bench.errors : []})"));
        return fail(QStringLiteral("the page never got ready (%1); page state %2")
                        .arg(waited, state.toString()));
    }
    const std::optional<QJsonValue> failure = evaluate(QStringLiteral("bench.failure"));
    if (!failure) {
        return false;
    }
    if (!failure->toString().isEmpty()) {
        return fail(QStringLiteral("page: ") + failure->toString());
    }
    m_results.rendererPid = page->renderProcessPid();

    const std::optional<QJsonValue> clock = evaluate(QStringLiteral("bench.clockStep()"));
    if (!clock) {
        return false;
    }
    m_results.clockStepUs = clock->toObject().value(QStringLiteral("stepUs")).toDouble();
    m_results.pageIsolated = clock->toObject().value(QStringLiteral("isolated")).toBool();
    if (!m_results.pageIsolated) {
        progress(
            QStringLiteral("warning: the page is not cross-origin isolated, times are coarse"));
    }
    QFile loadAverage(QStringLiteral("/proc/loadavg"));
    if (loadAverage.open(QIODevice::ReadOnly)) {
        // The three load averages; the rest of the line is about processes.
        const QList<QByteArray> fields = loadAverage.readAll().split(' ');
        m_results.loadAverage = QString::fromLatin1(fields.mid(0, 3).join(' '));
    }
    return true;
}

bool BridgeBench::addCommands() {
    CommandDispatcher& dispatcher = m_window->dispatcher();
    dispatcher.add(QStringLiteral("ping"), {},
                   [](const QVariantMap&, const QueryCallbackPtr& reply) {
                       reply->Success(QStringLiteral("pong"));
                   });
    EventWorker* worker = m_worker.get();
    dispatcher.add(QStringLiteral("benchRaiseEvent"), {QStringLiteral("code")},
                   [worker](const QVariantMap& members, const QueryCallbackPtr& reply) {
                       const int code = members.value(QStringLiteral("code")).toInt();
                       worker->post([code, reply] {
                           globalClientHandler->sendDevicesChanged(code);
                           reply->Success(QString());
                       });
                   });
    dispatcher.add(QStringLiteral("benchRaiseEvents"), {QStringLiteral("count")},
                   [worker](const QVariantMap& members, const QueryCallbackPtr& reply) {
                       const int count = members.value(QStringLiteral("count")).toInt();
                       worker->post([count, reply] {
                           for (int code = 0; code < count; ++code) {
                               globalClientHandler->sendDevicesChanged(code);
                           }
                           reply->Success(QString::number(count));
                       });
                   });
    QString error;
    return m_device->registerInto(dispatcher, &error) || fail(error);
}

bool BridgeBench::checkClients() {
    progress(QStringLiteral("checking that the two channel clients leave each other alone"));
    const std::optional<QJsonValue> check = evaluate(QStringLiteral("bench.checkCoexistence()"));
    if (!check) {
        return false;
    }
    const QJsonObject result = check->toObject();
    m_results.clientsCoexist = result.value(QStringLiteral("ok")).toBool();
    m_results.signalsSeenByOwnClient =
        result.value(QStringLiteral("signalsSeenByOwnClient")).toInt();
    for (const QJsonValue& error : result.value(QStringLiteral("errors")).toArray()) {
        m_results.pageErrors.append(error.toString());
    }
    if (!m_results.clientsCoexist) {
        return fail(QStringLiteral("the two channel clients disturbed each other: ") +
                    m_results.pageErrors.join(QStringLiteral("; ")));
    }
    // From here on each client gets only its own object's signals, as a client with a transport
    // of its own would.
    return evaluate(QStringLiteral("bench.setSignalMode('route')")).has_value();
}

bool BridgeBench::measureCalls() {
    m_results.sequentialCount = kSequentialCount;
    m_results.sequentialWarmup = kSequentialWarmup;
    m_results.turnLength = kTurnLength;
    m_results.batchWarmup = kBatchWarmup;
    m_results.targetRatio = kTargetRatio;

    progress(QStringLiteral("%1 sequential calls of each kind").arg(kSequentialCount));
    const std::optional<QJsonValue> sequential =
        evaluate(QStringLiteral("bench.sequential(%1, %2, %3)")
                     .arg(kSequentialWarmup)
                     .arg(kSequentialCount)
                     .arg(kTurnLength));
    if (!sequential) {
        return false;
    }
    progress(QStringLiteral("%1 batches of %2 calls in flight of each kind")
                 .arg(kBatches)
                 .arg(kBatchSize));
    const std::optional<QJsonValue> batches =
        evaluate(QStringLiteral("bench.batches(%1, %2, %3, 1)")
                     .arg(kBatchSize)
                     .arg(kBatchWarmup)
                     .arg(kBatches));
    if (!batches) {
        return false;
    }
    const auto fill = [this, &sequential, &batches](const QString& kind, CallTimings* timings) {
        timings->sequential = SampleStats::of(micros(sequential->toObject().value(kind)));
        timings->batches = SampleStats::of(micros(batches->toObject().value(kind)));
        timings->batchSize = kBatchSize;
        timings->perCallInBatch = timings->batches.mean / kBatchSize;
        return timings->sequential.count == kSequentialCount && timings->batches.count == kBatches
                   ? true
                   : fail(kind + QStringLiteral(": the page returned too few times"));
    };
    if (!fill(QStringLiteral("query"), &m_results.query) ||
        !fill(QStringLiteral("echo"), &m_results.echo) ||
        !fill(QStringLiteral("signal"), &m_results.signalEcho)) {
        return false;
    }
    if (m_results.echo.sequential.median > 0) {
        m_results.medianRatio =
            m_results.query.sequential.median / m_results.echo.sequential.median;
    }
    return true;
}

bool BridgeBench::measureDevice() {
    DeviceTimings& device = m_results.device;
    device.transferSize = kDeviceTransferSize;
    device.count = kSequentialCount;
    device.warmup = kSequentialWarmup;
    device.turnLength = kTurnLength;
    device.targetRatio = kDeviceTargetRatio;

    progress(QStringLiteral("device commands of %1 bytes: writing, reading back")
                 .arg(kDeviceTransferSize));
    const QJsonObject setup{{"readName", DeviceRig::commandName(QStringLiteral("readByAddr"))},
                            {"writeName", DeviceRig::commandName(QStringLiteral("writeByAddr"))},
                            {"hardwareId", DeviceRig::kHardwareId},
                            {"devicePath", DeviceRig::kDevicePath},
                            {"size", kDeviceTransferSize},
                            {"address", kDeviceAddress}};
    const std::optional<QJsonValue> prepared =
        evaluate(QStringLiteral("bench.prepareDevice(%1)")
                     .arg(QString::fromUtf8(QJsonDocument(setup).toJson(QJsonDocument::Compact))));
    if (!prepared) {
        return false;
    }
    DeviceRequests requests;
    requests.read = prepared->toObject().value(QStringLiteral("readRequest")).toString();
    requests.write = prepared->toObject().value(QStringLiteral("writeRequest")).toString();
    requests.hardwareId = DeviceRig::kHardwareId;
    requests.size = kDeviceTransferSize;
    requests.address = kDeviceAddress;
    device.readRequestChars = static_cast<int>(requests.read.size());
    device.writeRequestChars = static_cast<int>(requests.write.size());
    device.readAnswerChars = static_cast<int>(
        prepared->toObject().value(QStringLiteral("readAnswer")).toString().size());

    progress(QStringLiteral("%1 sequential device calls of each kind").arg(kSequentialCount));
    const std::optional<QJsonValue> sequential =
        evaluate(QStringLiteral("bench.deviceSequential(%1, %2, %3)")
                     .arg(kSequentialWarmup)
                     .arg(kSequentialCount)
                     .arg(kTurnLength));
    if (!sequential) {
        return false;
    }
    const QJsonObject times = sequential->toObject();
    const struct {
        const char* kind;
        SampleStats* stats;
    } kinds[] = {{"query", &device.ping},
                 {"echo", &device.echo},
                 {"readByAddr", &device.readByAddr},
                 {"writeByAddr", &device.writeByAddr},
                 {"channelAnswer", &device.channelAnswer},
                 {"channelRequest", &device.channelRequest},
                 {"channelPieces", &device.channelPieces}};
    for (const auto& entry : kinds) {
        *entry.stats = SampleStats::of(micros(times.value(QLatin1String(entry.kind))));
        if (entry.stats->count != kSequentialCount) {
            return fail(QStringLiteral("device section, %1: the page returned too few times")
                            .arg(QLatin1String(entry.kind)));
        }
    }
    if (device.ping.median > 0) {
        device.readRatio = device.readByAddr.median / device.ping.median;
        device.writeRatio = device.writeByAddr.median / device.ping.median;
    }

    progress(QStringLiteral("the native side of the device calls, step by step"));
    device.native =
        measureDeviceNativeCosts(*m_window, m_device->handler(), requests, kSequentialCount);
    return device.native.windowWrite.count == kSequentialCount ||
           fail(QStringLiteral("the page's device requests do not parse natively"));
}

bool BridgeBench::measureEvents() {
    progress(QStringLiteral("events: a burst of %1").arg(kBurstCount));
    if (!evaluate(QStringLiteral("bench.eventBurst(%1)").arg(kBurstWarmup))) {
        return false;
    }
    const std::optional<QJsonValue> burst =
        evaluate(QStringLiteral("bench.eventBurst(%1)").arg(kBurstCount));
    if (!burst) {
        return false;
    }
    const QJsonObject result = burst->toObject();
    m_results.burstCount = result.value(QStringLiteral("count")).toInt();
    m_results.burstFirstMs = result.value(QStringLiteral("first")).toDouble();
    m_results.burstLastMs = result.value(QStringLiteral("last")).toDouble();
    m_results.burstAnsweredMs = result.value(QStringLiteral("answered")).toDouble();
    m_results.burstInOrder = result.value(QStringLiteral("inOrder")).toBool();
    if (m_results.burstLastMs > 0) {
        m_results.eventsPerSecond = m_results.burstCount * 1000.0 / m_results.burstLastMs;
    }

    progress(QStringLiteral("events: %1 single events").arg(kSequentialCount));
    const auto latency = timesOf(
        QStringLiteral("bench.eventLatency(%1, %2)").arg(kSequentialWarmup).arg(kSequentialCount));
    if (!latency) {
        return false;
    }
    m_results.eventLatency = SampleStats::of(*latency);

    // Anything the page reported while measuring (a failed query, a confused channel client).
    const std::optional<QJsonValue> errors = evaluate(QStringLiteral("bench.errors"));
    if (!errors) {
        return false;
    }
    m_results.pageErrors.clear();
    for (const QJsonValue& error : errors->toArray()) {
        m_results.pageErrors.append(error.toString());
    }
    return true;
}

void BridgeBench::measureIdle() {
    progress(QStringLiteral("idle for %1 s").arg(kIdleMs / 1000));
    const qint64 self = ::getpid();
    const qint64 renderer = m_results.rendererPid;
    const std::optional<double> mainBefore = processCpuMilliseconds(self);
    const std::optional<double> rendererBefore = processCpuMilliseconds(renderer);
    // A plain event loop that blocks until the timer: no polling of our own during the window.
    QEventLoop idle;
    QTimer::singleShot(kIdleMs, &idle, &QEventLoop::quit);
    idle.exec();
    const std::optional<double> mainAfter = processCpuMilliseconds(self);
    const std::optional<double> rendererAfter = processCpuMilliseconds(renderer);
    m_results.idleSeconds = kIdleMs / 1000.0;
    if (mainBefore && mainAfter) {
        m_results.idleMainCpuMs = *mainAfter - *mainBefore;
    }
    if (renderer > 0 && rendererBefore && rendererAfter) {
        m_results.idleRendererCpuMs = *rendererAfter - *rendererBefore;
    }
}

std::optional<std::vector<double>> BridgeBench::timesOf(const QString& expression) {
    const std::optional<QJsonValue> value = evaluate(expression);
    if (!value) {
        return std::nullopt;
    }
    if (!value->isArray()) {
        fail(expression + QStringLiteral(" gave no array"));
        return std::nullopt;
    }
    return micros(*value);
}

std::optional<QJsonValue> BridgeBench::evaluate(const QString& expression) {
    const QJsonValue value = m_devtools->evaluate(expression, kEvaluateTimeoutMs);
    if (!m_devtools->lastError().isEmpty()) {
        fail(expression + QStringLiteral(": ") + m_devtools->lastError());
        return std::nullopt;
    }
    return value;
}

bool BridgeBench::fail(const QString& what) {
    progress(QStringLiteral("FAILED: ") + what);
    return false;
}
