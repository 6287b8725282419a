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
