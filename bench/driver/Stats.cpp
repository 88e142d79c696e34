// Timing with the performance counter and order statistics.
#include "Stats.h"

#include <windows.h>

#include <algorithm>

namespace bench {

namespace {

long long counterNow() {
    LARGE_INTEGER now;
    ::QueryPerformanceCounter(&now);
    return now.QuadPart;
}

double counterFrequency() {
    static const double frequency = [] {
        LARGE_INTEGER value;
        ::QueryPerformanceFrequency(&value);
        return static_cast<double>(value.QuadPart);
    }();
    return frequency;
}

// Linear interpolation between the closest ranks of sorted values.
double quantile(const std::vector<double>& sorted, double fraction) {
    const double position = fraction * static_cast<double>(sorted.size() - 1);
    const std::size_t below = static_cast<std::size_t>(position);
    const std::size_t above = std::min(below + 1, sorted.size() - 1);
    const double weight = position - static_cast<double>(below);
    return sorted[below] + (sorted[above] - sorted[below]) * weight;
}

}  // namespace

Summary summarize(std::vector<double> values) {
    Summary summary;
    if (values.empty()) {
        return summary;
    }
    std::sort(values.begin(), values.end());
    summary.count = values.size();
    summary.min = values.front();
    summary.max = values.back();
    summary.median = quantile(values, 0.5);
    summary.q1 = quantile(values, 0.25);
    summary.q3 = quantile(values, 0.75);
    return summary;
}

Stopwatch::Stopwatch() : start(counterNow()) {}

void Stopwatch::restart() { start = counterNow(); }

double Stopwatch::elapsedMs() const {
    return static_cast<double>(counterNow() - start) * 1000.0 / counterFrequency();
}

double Stopwatch::lapMs() {
    const long long now = counterNow();
    const double ms = static_cast<double>(now - start) * 1000.0 / counterFrequency();
    start = now;
    return ms;
}

}  // namespace bench
