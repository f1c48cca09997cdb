// Wall-clock timing for the benchmarks: the median of enough runs to fill a short budget.
#pragma once

#include <algorithm>
#include <chrono>
#include <vector>

// Seconds per call of `work`, the median of at least `min_runs` runs and of as many as fit in
// `budget` seconds.
template <typename Work>
double seconds_per_run(Work&& work, int min_runs = 3, double budget = 0.5)
{
    using clock = std::chrono::steady_clock;
    std::vector<double> runs;
    auto started = clock::now();
    while (int(runs.size()) < min_runs || std::chrono::duration<double>(clock::now() - started).count() < budget) {
        auto before = clock::now();
        work();
        runs.push_back(std::chrono::duration<double>(clock::now() - before).count());
    }
    std::nth_element(runs.begin(), runs.begin() + long(runs.size() / 2), runs.end());
    return runs[runs.size() / 2];
}
