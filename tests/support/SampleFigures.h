#pragma once
#include <algorithm>
#include <vector>

// What the benchmark programs print of a run's timings: the median and the 99th percentile.
struct SampleFigures {
    double median, p99;
};

inline SampleFigures Summarise(std::vector<double> samples) {
    std::sort(samples.begin(), samples.end());
    return {samples[samples.size() / 2], samples[samples.size() * 99 / 100]};
}
