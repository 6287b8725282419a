#pragma once

#include "SampleStats.h"

#include <QString>
#include <QStringList>
#include <QtGlobal>

// One way of calling native code from the page, measured sequentially and in batches (µs).
struct CallTimings {
    SampleStats sequential;
    SampleStats batches;
    int batchSize = 0;
    double perCallInBatch = 0;  // mean batch time / batch size
};

// The window's share of one device call, timed natively without the page, each step on its
// own (µs).
struct DeviceNativeCosts {
    int iterations = 0;
    SampleStats parseRead;     // PageRequest::parse of the readByAddr request
    SampleStats parseWrite;    // PageRequest::parse of the writeByAddr request
    SampleStats dataBytes;     // DeviceMembers::bytes of the write's data items
    SampleStats hexList;       // DeviceMembers::hexByteList of the read's bytes
    SampleStats libraryRead;   // devices_handler::read: the simulator alone
    SampleStats libraryWrite;  // devices_handler::write
    SampleStats windowRead;    // zelk::onJsMessage with the read request, answer text made
    SampleStats windowWrite;   // zelk::onJsMessage with the write request
};

// Device commands moving transferSize bytes through the whole path against the simulator,
// measured by turns with the bare round trips of the same run (µs).
struct DeviceTimings {
    int transferSize = 0;
    int count = 0;
    int warmup = 0;
    int turnLength = 0;
    int readRequestChars = 0;
    int readAnswerChars = 0;
    int writeRequestChars = 0;

    SampleStats ping;            // page query "ping"
    SampleStats echo;            // bare channel slot echo()
    SampleStats readByAddr;      // page query, the answer is transferSize hex items
    SampleStats writeByAddr;     // page query with transferSize hex items
    SampleStats channelAnswer;   // bare slot returning text as long as readByAddr's answer
    SampleStats channelRequest;  // bare slot taking the writeByAddr request text
    SampleStats channelPieces;   // the same request cut at its quotes, joined natively
    double readRatio = 0;        // median(readByAddr) / median(ping)
    double writeRatio = 0;       // median(writeByAddr) / median(ping)
    double targetRatio = 0;

    DeviceNativeCosts native;
};

// Everything one run of the benchmark measured; times in µs unless named otherwise.
struct BenchResults {
    QString pageUrl;
    double clockStepUs = 0;  // resolution of performance.now() in the page
    bool pageIsolated = false;
    QString loadAverage;  // /proc/loadavg before the measurements: other work on the machine
    int sequentialCount = 0;
    int sequentialWarmup = 0;
    int turnLength = 0;  // query and echo measured by turns of this many calls
    int batchWarmup = 0;

    CallTimings query;
    CallTimings echo;
    CallTimings signalEcho;  // a void slot answering by a signal, as the bridge answers
    double medianRatio = 0;  // median(query) / median(echo), sequential
    double targetRatio = 0;

    DeviceTimings device;

    int burstCount = 0;
    double burstFirstMs = 0;
    double burstLastMs = 0;
    double burstAnsweredMs = 0;
    bool burstInOrder = false;
    double eventsPerSecond = 0;  // burstCount / burstLastMs
    SampleStats eventLatency;

    bool clientsCoexist = false;
    int signalsSeenByOwnClient = 0;
    QStringList pageErrors;

    double idleSeconds = 0;
    qint64 rendererPid = 0;
    double idleMainCpuMs = -1;  // -1: not readable
    double idleRendererCpuMs = -1;
};
