// Timing with the performance counter and order statistics.
#include "Stats.h"

#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>

namespace bench {

namespace {

// Linear interpolation between the closest ranks of sorted values.
double quantile(const std::vector<double>& sorted, double fraction) {
    const double position = fraction * static_cast<double>(sorted.size() - 1);
    const std::size_t below = static_cast<std::size_t>(position);
    const std::size_t above = std::min(below + 1, sorted.size() - 1);
    return sorted[below] + (sorted[above] - sorted[below]) * (position - static_cast<double>(below));
}

double rank(const std::vector<double>& sorted, double position) {
    const double clamped = std::clamp(position, 0.0, static_cast<double>(sorted.size() - 1));
    return sorted[static_cast<std::size_t>(std::lround(clamped))];
}

}  // namespace

long long counterNow() {
    LARGE_INTEGER now;
    ::QueryPerformanceCounter(&now);
    return now.QuadPart;
}

double counterToMs(long long ticks) {
    static const double frequency = [] {
        LARGE_INTEGER value;
        ::QueryPerformanceFrequency(&value);
        return static_cast<double>(value.QuadPart);
    }();
    return static_cast<double>(ticks) * 1000.0 / frequency;
}

double Stopwatch::lapMs() {
    const long long now = counterNow();
    const double ms = counterToMs(now - start);
    start = now;
    return ms;
}

Summary summarize(std::vector<double> values) {
    Summary summary;
    if (values.empty()) {
        return summary;
    }
    std::sort(values.begin(), values.end());
    const double n = static_cast<double>(values.size());
    summary.count = values.size();
    summary.median = quantile(values, 0.5);
    summary.q1 = quantile(values, 0.25);
    summary.q3 = quantile(values, 0.75);
    summary.low = rank(values, (n - 1) / 2 - 0.98 * std::sqrt(n));
    summary.high = rank(values, (n - 1) / 2 + 0.98 * std::sqrt(n));
    return summary;
}

std::string histogram(const std::vector<double>& values, double width) {
    std::map<long, int> bins;
    for (double value : values) {
        ++bins[static_cast<long>(std::floor(value / width))];
    }
    std::string text;
    for (const auto& [bin, count] : bins) {
        char field[48];
        std::snprintf(field, sizeof field, "%s%g:%d", text.empty() ? "" : " ", static_cast<double>(bin) * width, count);
        text += field;
    }
    return text;
}

}  // namespace bench
