#pragma once

#include <vector>

// Summary of one set of timings, in the unit of the samples.
struct SampleStats {
    int count = 0;
    double median = 0;
    double p99 = 0;  // nearest rank
    double mean = 0;
    double min = 0;
    double max = 0;

    static SampleStats of(std::vector<double> samples);
};
