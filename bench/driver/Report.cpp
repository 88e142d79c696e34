// The bench's printed tables, target checks and raw runs.
#include "Report.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <stdexcept>

namespace bench {

const char* const kFloor = "floor (window system)";
const char* const kInProcess = "in-process";
const char* const kRestart = "restart";
const char* const kProbeWindow = "probe: message-only window";

namespace {

const double kMiB = 1024.0 * 1024.0;

std::string format(const char* fmt, ...) {
    char buffer[1024];
    va_list args;
    va_start(args, fmt);
    std::vsnprintf(buffer, sizeof buffer, fmt, args);
    va_end(args);
    return buffer;
}

std::size_t rowIndex(const BenchResults& results, const char* name) {
    for (std::size_t i = 0; i < results.rows.size(); ++i) {
        if (results.rows[i].name == name) {
            return i;
        }
    }
    throw std::logic_error(std::string("no bench row named ") + name);
}

// Runs of the program that failed.
int failureCount(const std::vector<Run>& runs) {
    return static_cast<int>(
        std::count_if(runs.begin(), runs.end(), [](const Run& r) { return r.started && !r.failure.empty(); }));
}

// Runs that this driver could not start.
int unstartedCount(const std::vector<Run>& runs) {
    return static_cast<int>(std::count_if(runs.begin(), runs.end(), [](const Run& r) { return !r.started; }));
}

// A figure of every successful run after the warm-up rounds.
template <class Field>
std::vector<double> timed(const BenchResults& results, std::size_t row, Field field) {
    std::vector<double> values;
    for (std::size_t round = results.warmUpRounds; round < results.runs[row].size(); ++round) {
        const Run& run = results.runs[row][round];
        if (run.failure.empty()) {
            values.push_back(field(run));
        }
    }
    return values;
}

std::vector<double> wallMs(const BenchResults& results, std::size_t row) {
    return timed(results, row, [](const Run& r) { return r.wallMs; });
}

// Each run of `row` over the run of `base` in the same round, for the rounds
// after the warm-up where both succeeded.
std::vector<double> pairRatios(const BenchResults& results, std::size_t row, std::size_t base) {
    std::vector<double> ratios;
    for (std::size_t round = results.warmUpRounds; round < results.runs[row].size(); ++round) {
        const Run& a = results.runs[row][round];
        const Run& b = results.runs[base][round];
        if (a.failure.empty() && b.failure.empty()) {
            ratios.push_back(a.wallMs / b.wallMs);
        }
    }
    return ratios;
}

std::string processTable(const BenchResults& results) {
    std::string out = format("  %-28s %5s %5s %8s %9s %15s %10s %9s %10s\n", "row", "runs", "fail", "no start",
                             "median ms", "q1-q3 ms", "report ms", "peak MiB", "parent MiB");
    for (std::size_t i = 0; i < results.rows.size(); ++i) {
        const Summary wall = summarize(wallMs(results, i));
        const Summary report = summarize(timed(results, i, [](const Run& r) { return r.toReportMs; }));
        const Summary peak = summarize(timed(results, i, [](const Run& r) { return r.peakBytes; }));
        const Summary parent = summarize(timed(results, i, [](const Run& r) { return r.parentPeakBytes; }));
        const bool restart = results.rows[i].name == kRestart;
        out += format("  %-28s %5zu %5d %8d %9.2f %7.2f-%-7.2f %10.2f %9.2f %10s\n", results.rows[i].name.c_str(),
                      wall.count, failureCount(results.runs[i]), unstartedCount(results.runs[i]), wall.median, wall.q1,
                      wall.q3, report.median, peak.median / kMiB,
                      restart ? format("%.2f", parent.median / kMiB).c_str() : "-");
    }
    return out;
}

std::string histograms(const BenchResults& results) {
    std::string out;
    for (std::size_t i = 0; i < results.rows.size(); ++i) {
        const std::vector<double> wall = wallMs(results, i);
        const double width = std::max(1.0, std::round(summarize(wall).median / 15));
        out += format("  %-28s %gms bins: ", results.rows[i].name.c_str(), width) + histogram(wall, width) + "\n";
    }
    return out;
}

std::string cfgTable(const std::vector<CfgCostResult>& cfgCost) {
    std::string out = format("  %-42s", "lines (file KiB, runtime arguments)");
    for (const CfgCostResult& r : cfgCost) {
        out += format(" %8d (%5.1f, %5zu)", r.lines, r.fileBytes / 1024.0, r.runtimeArgs);
    }
    out += format("\n  %-42s", "median ms / operator new calls");
    for (const CfgCostResult& r : cfgCost) {
        out += format(" %11.3f / %8llu", r.total.ms.median, static_cast<unsigned long long>(r.total.allocations));
    }
    for (std::size_t s = 0; !cfgCost.empty() && s < cfgCost.front().stages.size(); ++s) {
        out += format("\n    %-40s", cfgCost.front().stages[s].name.c_str());
        for (const CfgCostResult& r : cfgCost) {
            out += format(" %11.3f / %8llu", r.stages[s].ms.median,
                          static_cast<unsigned long long>(r.stages[s].allocations));
        }
    }
    return out + "\n";
}

std::string stepTable(const std::vector<Step>& steps) {
    std::string out = format("  %-66s %9s %10s\n", "step", "first ms", "median ms");
    for (const Step& step : steps) {
        out += format("  %-66s %9.3f %10.3f\n", step.name.c_str(), step.firstMs, step.ms.median);
    }
    return out;
}

struct Target {
    std::string name;
    double value;
    double limit;
    const char* unit;
    std::string spread;
    int failures;
};

std::string verdict(const Target& t) {
    if (t.failures > 0) {
        return format("MISSED (%d failed run%s)", t.failures, t.failures == 1 ? "" : "s");
    }
    return t.value <= t.limit ? "met" : "MISSED";
}

Target ratioTarget(const BenchResults& results, const char* row, double limit) {
    const std::size_t launcher = rowIndex(results, row);
    const Summary ratio = summarize(pairRatios(results, launcher, rowIndex(results, kFloor)));
    return Target{
        std::string(row) + " / floor, per round",
        ratio.median,
        limit,
        "x",
        format("95%% CI %.3f-%.3f, q1-q3 %.3f-%.3f, %zu pairs", ratio.low, ratio.high, ratio.q1, ratio.q3, ratio.count),
        failureCount(results.runs[launcher])};
}

Target parentPeakTarget(const BenchResults& results) {
    const std::size_t restart = rowIndex(results, kRestart);
    const Summary parent = summarize(timed(results, restart, [](const Run& r) { return r.parentPeakBytes; }));
    const Summary probe =
        summarize(timed(results, rowIndex(results, kProbeWindow), [](const Run& r) { return r.peakBytes; }));
    return Target{
        "restart parent peak - message-only window probe",
        (parent.median - probe.median) / kMiB,
        1.0,
        "MiB",
        format("parent q1-q3 %.2f-%.2f MiB, probe %.2f MiB", parent.q1 / kMiB, parent.q3 / kMiB, probe.median / kMiB),
        failureCount(results.runs[restart])};
}

std::vector<Target> targets(const BenchResults& results) {
    std::vector<Target> list = {ratioTarget(results, kInProcess, 1.05), ratioTarget(results, kRestart, 2.2),
                                parentPeakTarget(results)};
    for (const CfgCostResult& r : results.cfgCost) {
        if (r.lines == 10000) {
            list.push_back(Target{"configuration of 10,000 lines", r.total.ms.median, 10.0, "ms",
                                  format("95%% CI %.2f-%.2f, q1-q3 %.2f-%.2f", r.total.ms.low, r.total.ms.high,
                                         r.total.ms.q1, r.total.ms.q3),
                                  0});
        }
    }
    list.push_back(Target{"stripped launcher", results.launcherBytes / kMiB, 1.0, "MiB", results.launcherFile, 0});
    return list;
}

std::string targetTable(const BenchResults& results) {
    std::string out;
    for (const Target& t : targets(results)) {
        out += format("  %-48s %8.3f %-3s (limit %.2f)  %-22s %s\n", t.name.c_str(), t.value, t.unit, t.limit,
                      verdict(t).c_str(), t.spread.c_str());
    }
    return out;
}

std::string ratioHistograms(const BenchResults& results) {
    std::string out;
    for (const char* row : {kInProcess, kRestart}) {
        out += format("  %-28s 0.05x bins: ", row) +
               histogram(pairRatios(results, rowIndex(results, row), rowIndex(results, kFloor)), 0.05) + "\n";
    }
    return out;
}

}  // namespace

std::string formatReport(const BenchResults& results) {
    std::string out = format(
        "Whole process: %d rounds after %d warm-up rounds, rows in alternating order; %s.\n"
        "Wall time from CreateProcessW to the end of the wait; report ms: to the runtime's (or the\n"
        "bare program's) report; peak: of the reporting process; parent: the restart parent's peak,\n"
        "read by its child while the parent waits\n",
        results.rounds, results.warmUpRounds, results.pinning.c_str());
    out += processTable(results);
    out += "\nHistograms of the wall times (bin's lower edge in ms: runs)\n" + histograms(results);
    out += "\nPer-round ratios to the window-system floor (bin's lower edge: rounds)\n" + ratioHistograms(results);
    out +=
        "\nConfiguration to launch data in one process (createJvmLauncher, makeLaunchData,\n"
        "makeLaunchBuffer; application directory on PATH)\n" +
        cfgTable(results.cfgCost);
    out += "\nThe launcher's in-process steps, called from the launcher library in one process\n" +
           stepTable(results.steps);
    out += "\nTargets (the ratios: median of the per-round ratios)\n" + targetTable(results);
    out += "\nFailed runs, and runs that could not be started\n" + formatFailures(results.rows, results.runs, false);
    return out;
}

std::string formatCsv(const BenchResults& results) {
    std::string out = "row,round,failure,wall_ms,report_ms,peak_bytes,parent_peak_bytes\n";
    for (std::size_t i = 0; i < results.rows.size(); ++i) {
        for (std::size_t round = 0; round < results.runs[i].size(); ++round) {
            const Run& r = results.runs[i][round];
            out += format("%s,%d,%s,%.4f,%.4f,%.0f,%.0f\n", results.rows[i].name.c_str(),
                          static_cast<int>(round) - results.warmUpRounds, r.failure.empty() ? "" : "failed", r.wallMs,
                          r.toReportMs, r.peakBytes, r.parentPeakBytes);
        }
    }
    return out;
}

std::string formatFailures(const std::vector<Row>& rows, const std::vector<std::vector<Run>>& runs, bool errorOutput) {
    std::string out;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        for (std::size_t n = 0; n < runs[i].size(); ++n) {
            const Run& run = runs[i][n];
            if (!run.failure.empty()) {
                out += format("  %s, run %zu: ", rows[i].name.c_str(), n + 1) + run.failure + "\n";
                if (errorOutput) {
                    out += run.errorOutput + (run.errorOutput.empty() ? "" : "\n");
                }
            }
        }
    }
    return out.empty() ? "  none\n" : out;
}

}  // namespace bench
