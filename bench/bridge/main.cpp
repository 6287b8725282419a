// Benchmark of the page query bridge: round trips of page queries through the whole path to a
// command of the main window's dispatcher, beside a bare call of a slot on the same channel;
// device commands moving 2048 bytes against the device simulator; native event throughput and
// latency; CPU use when idle. Built with the project, run by
// scripts/bench under xvfb-run, never part of the test suite.
#include "BridgeBench.h"
#include "TestEnvironment.h"

#include <QApplication>
#include <cstdio>

int main(int argc, char** argv) {
    int devtoolsPort = 0;
    TestEnvironment::prepareBeforeApplication(&devtoolsPort);
    QApplication app(argc, argv);
    if (devtoolsPort == 0) {
        std::fprintf(stderr, "bench_bridge: no port for the DevTools protocol\n");
        return 1;
    }
    BridgeBench bench(devtoolsPort);
    return bench.run();
}
