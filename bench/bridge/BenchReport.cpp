#include "BenchReport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace BenchReport {

namespace {

QString number(double value, int decimals = 1) {
    return QString::number(value, 'f', decimals);
}

QString statsRow(const QString& label, const SampleStats& stats) {
    return QStringLiteral("  %1 %2 %3 %4\n")
        .arg(label, -44)
        .arg(number(stats.median), 9)
        .arg(number(stats.p99), 9)
        .arg(number(stats.mean), 9);
}

QString batchRow(const QString& label, const CallTimings& timings) {
    return QStringLiteral("  %1 %2 %3 %4\n")
        .arg(label, -44)
        .arg(number(timings.batches.median), 9)
        .arg(number(timings.batches.mean), 9)
        .arg(number(timings.perCallInBatch), 9);
}

QString ratioRow(const QString& label, double ratio, double target) {
    return QStringLiteral("  %1 %2   target <= %3: %4\n")
        .arg(label, -44)
        .arg(number(ratio, 2), 9)
        .arg(number(target, 2))
        .arg(ratio <= target ? QStringLiteral("met") : QStringLiteral("MISSED"));
}

QString statsHeader(const QString& label) {
    return QStringLiteral("  %1 %2 %3 %4  [µs]\n")
        .arg(label, -44)
        .arg(QStringLiteral("median"), 9)
        .arg(QStringLiteral("p99"), 9)
        .arg(QStringLiteral("mean"), 9);
}

QString deviceTable(const DeviceTimings& d) {
    const QString size = QString::number(d.transferSize);
    QString out;
    out += QStringLiteral(
               "Device commands of %1 bytes, simulator library (N = %2 after %3 warm-up, by turns "
               "of %4)\n")
               .arg(size)
               .arg(d.count)
               .arg(d.warmup)
               .arg(d.turnLength);
    out += QStringLiteral("the read answers %1 characters, the write sends %2\n")
               .arg(d.readAnswerChars)
               .arg(d.writeRequestChars);
    out += statsHeader(QString());
    out += statsRow(QStringLiteral("page query \"ping\" (bridge + dispatcher)"), d.ping);
    out += statsRow(QStringLiteral("bare channel slot echo()"), d.echo);
    out += statsRow(QStringLiteral("page query \"readByAddr\" %1 B").arg(size), d.readByAddr);
    out += statsRow(QStringLiteral("page query \"writeByAddr\" %1 B").arg(size), d.writeByAddr);
    out += statsRow(QStringLiteral("bare slot answering the read's text"), d.channelAnswer);
    out += statsRow(QStringLiteral("bare slot taking the write's request"), d.channelRequest);
    out += statsRow(QStringLiteral("  the same, cut at quotes (no escapes)"), d.channelPieces);
    out +=
        ratioRow(QStringLiteral("median(readByAddr) / median(ping)"), d.readRatio, d.targetRatio);
    out +=
        ratioRow(QStringLiteral("median(writeByAddr) / median(ping)"), d.writeRatio, d.targetRatio);
    const DeviceNativeCosts& n = d.native;
    out += QStringLiteral("Native side of one device call, each step alone (N = %1)\n")
               .arg(n.iterations);
    out += statsHeader(QString());
    out += statsRow(QStringLiteral("PageRequest::parse, readByAddr request"), n.parseRead);
    out += statsRow(QStringLiteral("PageRequest::parse, writeByAddr request"), n.parseWrite);
    out += statsRow(QStringLiteral("DeviceMembers::bytes, %1 items").arg(size), n.dataBytes);
    out += statsRow(QStringLiteral("DeviceMembers::hexByteList, %1 bytes").arg(size), n.hexList);
    out += statsRow(QStringLiteral("devices_handler::read (the simulator)"), n.libraryRead);
    out += statsRow(QStringLiteral("devices_handler::write (the simulator)"), n.libraryWrite);
    out += statsRow(QStringLiteral("zelk::onJsMessage, whole readByAddr"), n.windowRead);
    out += statsRow(QStringLiteral("zelk::onJsMessage, whole writeByAddr"), n.windowWrite);
    return out;
}

QString cpu(double ms) {
    return ms < 0 ? QStringLiteral("unreadable") : number(ms, 0) + " ms";
}

QJsonObject statsJson(const SampleStats& stats) {
    return QJsonObject{{"n", stats.count},      {"median_us", stats.median}, {"p99_us", stats.p99},
                       {"mean_us", stats.mean}, {"min_us", stats.min},       {"max_us", stats.max}};
}

QJsonObject deviceJson(const DeviceTimings& d) {
    const DeviceNativeCosts& n = d.native;
    const QJsonObject native{{"n", n.iterations},
                             {"parse_read_request", statsJson(n.parseRead)},
                             {"parse_write_request", statsJson(n.parseWrite)},
                             {"data_bytes", statsJson(n.dataBytes)},
                             {"hex_byte_list", statsJson(n.hexList)},
                             {"library_read", statsJson(n.libraryRead)},
                             {"library_write", statsJson(n.libraryWrite)},
                             {"window_read", statsJson(n.windowRead)},
                             {"window_write", statsJson(n.windowWrite)}};
    return QJsonObject{{"transfer_size", d.transferSize},
                       {"sequential_n", d.count},
                       {"sequential_warmup", d.warmup},
                       {"turn_length", d.turnLength},
                       {"read_request_chars", d.readRequestChars},
                       {"read_answer_chars", d.readAnswerChars},
                       {"write_request_chars", d.writeRequestChars},
                       {"ping", statsJson(d.ping)},
                       {"echo", statsJson(d.echo)},
                       {"read_by_addr", statsJson(d.readByAddr)},
                       {"write_by_addr", statsJson(d.writeByAddr)},
                       {"channel_answer", statsJson(d.channelAnswer)},
                       {"channel_request", statsJson(d.channelRequest)},
                       {"channel_request_pieces", statsJson(d.channelPieces)},
                       {"ratio_read_median", d.readRatio},
                       {"ratio_write_median", d.writeRatio},
                       {"ratio_target", d.targetRatio},
                       {"ratio_read_met", d.readRatio <= d.targetRatio},
                       {"ratio_write_met", d.writeRatio <= d.targetRatio},
                       {"native", native}};
}

QJsonObject callJson(const CallTimings& timings) {
    QJsonObject batches = statsJson(timings.batches);
    batches.insert("batch_size", timings.batchSize);
    batches.insert("per_call_us", timings.perCallInBatch);
    return QJsonObject{{"sequential", statsJson(timings.sequential)}, {"in_flight", batches}};
}

}  // namespace

QString table(const BenchResults& r) {
    QString out;
    out += QStringLiteral("Bridge benchmark: %1\n").arg(r.pageUrl);
    out +=
        QStringLiteral(
            "performance.now() steps of %1 µs (page %2cross-origin isolated); load average %3\n\n")
            .arg(number(r.clockStepUs))
            .arg(r.pageIsolated ? QString() : QStringLiteral("NOT "))
            .arg(r.loadAverage);
    out += QStringLiteral("Sequential round trips (N = %1 after %2 warm-up, by turns of %3)\n")
               .arg(r.sequentialCount)
               .arg(r.sequentialWarmup)
               .arg(r.turnLength);
    out += QStringLiteral("  %1 %2 %3 %4  [µs]\n")
               .arg(QString(), -44)
               .arg(QStringLiteral("median"), 9)
               .arg(QStringLiteral("p99"), 9)
               .arg(QStringLiteral("mean"), 9);
    out +=
        statsRow(QStringLiteral("page query \"ping\" (bridge + dispatcher)"), r.query.sequential);
    out += statsRow(QStringLiteral("bare channel slot echo()"), r.echo.sequential);
    out += statsRow(QStringLiteral("channel slot answering by a signal"), r.signalEcho.sequential);
    out +=
        QStringLiteral("  %1 %2   target <= %3: %4\n\n")
            .arg(QStringLiteral("median(query) / median(echo)"), -44)
            .arg(number(r.medianRatio, 2), 9)
            .arg(number(r.targetRatio, 2))
            .arg(r.medianRatio <= r.targetRatio ? QStringLiteral("met") : QStringLiteral("MISSED"));
    out += QStringLiteral("%1 in flight (%2 batches after %3 warm-up, by turns of one batch)\n")
               .arg(r.query.batchSize)
               .arg(r.query.batches.count)
               .arg(r.batchWarmup);
    out += QStringLiteral("  %1 %2 %3 %4  [µs]\n")
               .arg(QString(), -44)
               .arg(QStringLiteral("batch med"), 9)
               .arg(QStringLiteral("batch mean"), 9)
               .arg(QStringLiteral("per call"), 9);
    out += batchRow(QStringLiteral("page query \"ping\""), r.query);
    out += batchRow(QStringLiteral("bare channel slot echo()"), r.echo);
    out += batchRow(QStringLiteral("channel slot answering by a signal"), r.signalEcho);
    out += QStringLiteral("\n") + deviceTable(r.device);
    out += QStringLiteral("\nNative events (sendDevicesChanged from a worker thread)\n");
    out +=
        QStringLiteral(
            "  burst of %1: first after %2 ms, last after %3 ms, answered after %4 ms, in order: "
            "%5\n")
            .arg(r.burstCount)
            .arg(number(r.burstFirstMs, 2), number(r.burstLastMs, 2), number(r.burstAnsweredMs, 2))
            .arg(r.burstInOrder ? QStringLiteral("yes") : QStringLiteral("NO"));
    out += QStringLiteral("  throughput %1 events/s\n").arg(number(r.eventsPerSecond, 0));
    out += QStringLiteral("  %1 %2 %3 %4\n")
               .arg(QStringLiteral("single event latency (µs)"), -44)
               .arg(QStringLiteral("median"), 9)
               .arg(QStringLiteral("p99"), 9)
               .arg(QStringLiteral("mean"), 9);
    out += statsRow(QStringLiteral("request start -> event (N = %1)").arg(r.eventLatency.count),
                    r.eventLatency);
    out += QStringLiteral(
               "\nTwo channel clients on one transport: %1 (%2 bridge signals seen by the page's "
               "client)\n")
               .arg(r.clientsCoexist ? QStringLiteral("ok") : QStringLiteral("DISTURBED"))
               .arg(r.signalsSeenByOwnClient);
    for (const QString& error : r.pageErrors) {
        out += QStringLiteral("  page error: %1\n").arg(error);
    }
    out += QStringLiteral(
               "Idle %1 s after the measurements: CPU main process %2, renderer (pid %3) %4\n")
               .arg(number(r.idleSeconds, 0), cpu(r.idleMainCpuMs))
               .arg(r.rendererPid)
               .arg(cpu(r.idleRendererCpuMs));
    return out;
}

QByteArray jsonLine(const BenchResults& r) {
    const QJsonObject events{{"burst", QJsonObject{{"count", r.burstCount},
                                                   {"first_ms", r.burstFirstMs},
                                                   {"last_ms", r.burstLastMs},
                                                   {"answered_ms", r.burstAnsweredMs},
                                                   {"in_order", r.burstInOrder},
                                                   {"events_per_s", r.eventsPerSecond}}},
                             {"latency", statsJson(r.eventLatency)}};
    const QJsonObject idle{{"seconds", r.idleSeconds},
                           {"main_cpu_ms", r.idleMainCpuMs},
                           {"renderer_cpu_ms", r.idleRendererCpuMs},
                           {"renderer_pid", r.rendererPid}};
    const QJsonObject method{{"sequential_n", r.sequentialCount},
                             {"sequential_warmup", r.sequentialWarmup},
                             {"turn_length", r.turnLength},
                             {"batch_warmup", r.batchWarmup},
                             {"page", r.pageUrl},
                             {"clock_step_us", r.clockStepUs},
                             {"page_isolated", r.pageIsolated},
                             {"load_average", r.loadAverage}};
    const QJsonObject root{{"bench", "bridge"},
                           {"method", method},
                           {"query", callJson(r.query)},
                           {"echo", callJson(r.echo)},
                           {"signal_echo", callJson(r.signalEcho)},
                           {"ratio_median", r.medianRatio},
                           {"ratio_target", r.targetRatio},
                           {"ratio_met", r.medianRatio <= r.targetRatio},
                           {"device", deviceJson(r.device)},
                           {"events", events},
                           {"clients_coexist", r.clientsCoexist},
                           {"page_errors", QJsonArray::fromStringList(r.pageErrors)},
                           {"idle", idle}};
    return QJsonDocument(root).toJson(QJsonDocument::Compact);
}

}  // namespace BenchReport
