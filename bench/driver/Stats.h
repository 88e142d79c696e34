// Timing with the performance counter and the order statistics the bench
// reports: median and quartiles of repeated measurements.
#pragma once

#include <cstddef>
#include <vector>

namespace bench {

struct Summary {
    double median = 0;
    double q1 = 0;
    double q3 = 0;
    double min = 0;
    double max = 0;
    std::size_t count = 0;
};

// Empty input gives an all-zero summary.
Summary summarize(std::vector<double> values);

// Milliseconds since construction or the last restart, from
// QueryPerformanceCounter.
class Stopwatch {
public:
    Stopwatch();
    void restart();
    double elapsedMs() const;
    // Milliseconds since the last lap or restart; starts the next lap.
    double lapMs();

private:
    long long start;
};

}  // namespace bench
