// Order statistics of a set of samples, as the benchmark table reports them.
#pragma once

#include <cstddef>
#include <vector>

namespace bench {

struct Summary {
    size_t count = 0;
    double median = 0;
    double p95 = 0;
    double min = 0;
    double max = 0;
};

// Median (mean of the two middle values for an even count) and the 95th percentile by nearest
// rank (the smallest sample with at least 95 % of the samples at or below it). All zero when
// there are no samples.
Summary Summarize(std::vector<double> samples);

// Each sample divided by `by`; empty when `by` is not positive.
std::vector<double> Scaled(const std::vector<double>& samples, double by);

}  // namespace bench
