// Timing with the performance counter and the order statistics the bench
// judges by.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace bench {

long long counterNow();
double counterToMs(long long ticks);

// Milliseconds since construction or the last lap.
class Stopwatch {
public:
    Stopwatch() : start(counterNow()) {}
    long long startCount() const { return start; }
    double elapsedMs() const { return counterToMs(counterNow() - start); }
    double lapMs();

private:
    long long start;
};

struct Summary {
    double median = 0;
    double q1 = 0;
    double q3 = 0;
    // The median's distribution-free 95% confidence interval: the order
    // statistics n/2 -+ 0.98 sqrt(n), which do not assume a shape.
    double low = 0;
    double high = 0;
    std::size_t count = 0;
};

// Empty input gives an all-zero summary.
Summary summarize(std::vector<double> values);

// "lower edge:count" for every non-empty bin of `width`, smallest first.
std::string histogram(const std::vector<double>& values, double width);

}  // namespace bench
