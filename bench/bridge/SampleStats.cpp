#include "SampleStats.h"

#include <algorithm>
#include <cmath>
#include <numeric>

SampleStats SampleStats::of(std::vector<double> samples) {
    SampleStats stats;
    if (samples.empty()) {
        return stats;
    }
    std::sort(samples.begin(), samples.end());
    const size_t n = samples.size();
    stats.count = static_cast<int>(n);
    stats.median = n % 2 ? samples[n / 2] : (samples[n / 2 - 1] + samples[n / 2]) / 2;
    const size_t rank = static_cast<size_t>(std::ceil(0.99 * static_cast<double>(n)));
    stats.p99 = samples[std::max<size_t>(rank, 1) - 1];
    stats.mean = std::accumulate(samples.begin(), samples.end(), 0.0) / static_cast<double>(n);
    stats.min = samples.front();
    stats.max = samples.back();
    return stats;
}
