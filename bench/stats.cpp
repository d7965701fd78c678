// Order statistics of the benchmark samples.
#include "bench/stats.h"

#include <algorithm>

namespace bench {

Summary Summarize(std::vector<double> samples) {
    Summary s;
    if (samples.empty()) return s;
    std::sort(samples.begin(), samples.end());
    const size_t n = samples.size();
    s.count = n;
    s.min = samples.front();
    s.max = samples.back();
    s.median = n % 2 == 1 ? samples[n / 2] : (samples[n / 2 - 1] + samples[n / 2]) / 2;
    // Nearest rank: ceil(0.95 n), counted from 1. Integer arithmetic keeps 0.95 * 20 exact.
    const size_t rank = (95 * n + 99) / 100;
    s.p95 = samples[std::max<size_t>(rank, 1) - 1];
    return s;
}

std::vector<double> Scaled(const std::vector<double>& samples, double by) {
    std::vector<double> out;
    if (!(by > 0)) return out;
    out.reserve(samples.size());
    for (double v : samples) out.push_back(v / by);
    return out;
}

}  // namespace bench
