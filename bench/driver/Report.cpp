// The bench's printed tables, target checks and JSON.
#include "Report.h"

#include <cstdarg>
#include <cstdio>
#include <stdexcept>

namespace bench {

const char* const kFloorRow = "floor (window system)";
const char* const kBareFloorRow = "floor (bare runtime)";

namespace {

const double kMiB = 1024.0 * 1024.0;

std::string format(const char* fmt, ...) {
    char buffer[512];
    va_list args;
    va_start(args, fmt);
    std::vsnprintf(buffer, sizeof buffer, fmt, args);
    va_end(args);
    return buffer;
}

const ProcessRowResult& findRow(const std::vector<ProcessRowResult>& rows, const std::string& name) {
    for (const ProcessRowResult& row : rows) {
        if (row.row.name == name) {
            return row;
        }
    }
    throw std::logic_error("no bench row named " + name);
}

const CfgCostResult* findCfg(const std::vector<CfgCostResult>& cfgCost, int lines) {
    for (const CfgCostResult& result : cfgCost) {
        if (result.lines == lines) {
            return &result;
        }
    }
    return nullptr;
}

TargetCheck atMost(const std::string& name, double value, double limit, const std::string& unit) {
    return TargetCheck{name, value, limit, unit, value <= limit};
}

// Rows with their ratio to `base` and, when given, to `reference` too.
std::string processTable(const std::vector<ProcessRowResult>& rows, const ProcessRowResult& base,
                         const char* baseName, const ProcessRowResult* reference = nullptr,
                         const char* referenceName = "") {
    std::string out = format("  %-26s %9s %15s %8s%s %9s %9s %9s %5s\n", "row", "median ms", "q1-q3 ms",
                             (std::string("x ") + baseName).c_str(),
                             reference ? format(" %13s", (std::string("x ") + referenceName).c_str()).c_str() : "",
                             "peak MiB", "+MiB", "exit MiB", "args");
    for (const ProcessRowResult& r : rows) {
        out += format("  %-26s %9.2f %7.2f-%-7.2f %8.3f%s %9.2f %+9.2f %9s %5d%s\n", r.row.name.c_str(),
                      r.wallMs.median, r.wallMs.q1, r.wallMs.q3, r.wallMs.median / base.wallMs.median,
                      reference ? format(" %13.3f", r.wallMs.median / reference->wallMs.median).c_str() : "",
                      r.peakWorkingSet.median / kMiB, (r.peakWorkingSet.median - base.peakWorkingSet.median) / kMiB,
                      r.exitedPeakWorkingSet.median > 0
                          ? format("%.2f", r.exitedPeakWorkingSet.median / kMiB).c_str()
                          : "-",
                      r.reportedArgCount, r.reportedByChild ? "  (reported by the child)" : "");
    }
    return out;
}

std::string cfgTable(const std::vector<CfgCostResult>& cfgCost) {
    std::string out = format("  %-8s %9s %8s %10s %6s %10s %17s %8s %10s %10s\n", "lines", "file KiB", "args",
                             "buffer KiB", "runs", "median ms", "q1-q3 ms", "x prev", "us / line", "new calls");
    const CfgCostResult* previous = nullptr;
    for (const CfgCostResult& r : cfgCost) {
        out += format("  %-8d %9.1f %8zu %10.1f %6d %10.3f %8.3f-%-8.3f %8s %10.3f %10llu\n", r.lines,
                      r.fileBytes / 1024.0, r.runtimeArgs, r.bufferBytes / 1024.0, r.repetitions, r.totalMs.median,
                      r.totalMs.q1, r.totalMs.q3,
                      previous ? format("%.1f", r.totalMs.median / previous->totalMs.median).c_str() : "-",
                      r.totalMs.median * 1000.0 / r.lines,
                      static_cast<unsigned long long>(r.totalAllocations));
        previous = &r;
    }
    if (cfgCost.empty()) {
        return out;
    }
    out += "\n  stage by stage: median ms / operator new calls, per size in lines\n";
    out += format("  %-36s", "stage");
    for (const CfgCostResult& r : cfgCost) {
        out += format(" %20d", r.lines);
    }
    out += "\n";
    for (std::size_t s = 0; s < cfgCost.front().stages.size(); ++s) {
        out += format("  %-36s", cfgCost.front().stages[s].name.c_str());
        for (const CfgCostResult& r : cfgCost) {
            out += format(" %10.3f / %7llu", r.stages[s].ms.median,
                          static_cast<unsigned long long>(r.stages[s].allocations));
        }
        out += "\n";
    }
    return out;
}

std::string stepTable(const std::vector<LaunchStep>& steps) {
    std::string out = format("  %-52s %9s %10s\n", "step", "first ms", "median ms");
    double first = 0;
    double median = 0;
    for (const LaunchStep& step : steps) {
        out += format("  %-52s %9.3f %10.3f\n", step.name.c_str(), step.firstMs, step.ms.median);
        first += step.firstMs;
        median += step.ms.median;
    }
    out += format("  %-52s %9.3f %10.3f\n", "sum", first, median);
    return out;
}

std::string jsonString(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            out += format("\\u%04x", c);
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string jsonSummary(const Summary& s) {
    return format("{\"median\": %.6g, \"q1\": %.6g, \"q3\": %.6g, \"min\": %.6g, \"max\": %.6g, \"count\": %zu}",
                  s.median, s.q1, s.q3, s.min, s.max, s.count);
}

std::string jsonRows(const std::vector<ProcessRowResult>& rows, const ProcessRowResult& base,
                     const char* ratioName, const ProcessRowResult* reference = nullptr,
                     const char* referenceRatioName = "") {
    std::string out = "[";
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const ProcessRowResult& r = rows[i];
        out += i ? ",\n    " : "\n    ";
        out += "{\"name\": " + jsonString(r.row.name) + ", \"appDirOnPath\": " +
               (r.row.appDirOnPath ? "true" : "false") + ", \"wallMs\": " + jsonSummary(r.wallMs) + ", \"" +
               ratioName + "\": " + format("%.6g", r.wallMs.median / base.wallMs.median) +
               (reference ? format(", \"%s\": %.6g", referenceRatioName, r.wallMs.median / reference->wallMs.median)
                          : std::string()) +
               ", \"peakWorkingSetBytes\": " + jsonSummary(r.peakWorkingSet) +
               ", \"exitedPeakWorkingSetBytes\": " + jsonSummary(r.exitedPeakWorkingSet) +
               format(", \"reportedArgCount\": %d", r.reportedArgCount) +
               ", \"reportedByChild\": " + (r.reportedByChild ? "true" : "false") + "}";
    }
    return out + "\n  ]";
}

std::string jsonSteps(const std::vector<LaunchStep>& steps) {
    std::string out = "[";
    for (std::size_t i = 0; i < steps.size(); ++i) {
        out += i ? ",\n    " : "\n    ";
        out += "{\"name\": " + jsonString(steps[i].name) +
               format(", \"firstMs\": %.6g, \"ms\": ", steps[i].firstMs) + jsonSummary(steps[i].ms) + "}";
    }
    return out + "\n  ]";
}

}  // namespace

std::vector<TargetCheck> checkTargets(const BenchResults& results) {
    const ProcessRowResult& floor = findRow(results.rows, kFloorRow);
    const ProcessRowResult& inProcess = findRow(results.rows, "in-process");
    const ProcessRowResult& restart = findRow(results.rows, "restart");
    std::vector<TargetCheck> checks;
    checks.push_back(atMost("in-process wall time / floor", inProcess.wallMs.median / floor.wallMs.median, 1.05, "x"));
    checks.push_back(atMost("restart wall time / floor", restart.wallMs.median / floor.wallMs.median, 2.2, "x"));
    checks.push_back(atMost("in-process peak working set - floor",
                            (inProcess.peakWorkingSet.median - floor.peakWorkingSet.median) / kMiB, 1.0, "MiB"));
    checks.push_back(atMost("restart child peak working set - floor",
                            (restart.peakWorkingSet.median - floor.peakWorkingSet.median) / kMiB, 2.0, "MiB"));
    if (restart.exitedPeakWorkingSet.count > 0) {
        checks.push_back(atMost("restart parent peak working set - floor",
                                (restart.exitedPeakWorkingSet.median - floor.peakWorkingSet.median) / kMiB, 2.0,
                                "MiB"));
    }
    const CfgCostResult* small = findCfg(results.cfgCost, 1000);
    const CfgCostResult* large = findCfg(results.cfgCost, 10000);
    if (small && large) {
        const double perLineLarge = large->totalMs.median / large->lines;
        const double perLineSmall = small->totalMs.median / small->lines;
        checks.push_back(atMost("configuration cost per line, 10,000 / 1,000", perLineLarge / perLineSmall, 1.5, "x"));
    }
    if (large) {
        checks.push_back(atMost("configuration cost at 10,000 lines", large->totalMs.median, 10.0, "ms"));
    }
    checks.push_back(atMost("stripped launcher size", results.launcherBytes / kMiB, 1.0, "MiB"));
    return checks;
}

std::string formatTables(const BenchResults& results, const std::vector<TargetCheck>& targets) {
    const ProcessRowResult& floor = findRow(results.rows, kFloorRow);
    const ProcessRowResult& bareFloor = findRow(results.rows, kBareFloorRow);
    const ProcessRowResult& bare = findRow(results.rows, "bare");
    std::string out;
    out += format("Whole process, %d runs per row, rows interleaved (wall time from CreateProcessW to exit;\n"
                  "peak working set as the reporting process read it; exit MiB: read by the driver after exit;\n"
                  "x floor and +MiB against the floor whose runtime imports the window system, as the runtime\n"
                  "of every application with a window does; x bare floor against the bare runtime's floor)\n",
                  results.rounds);
    out += processTable(results.rows, floor, "floor", &bareFloor, "bare floor");
    if (!results.probes.empty()) {
        out += "\nProbes: the bare program plus one ingredient of the launcher\n";
        out += processTable(results.probes, bare, "bare");
    }
    out += "\nConfiguration to launch data in one process (createJvmLauncher, makeLaunchData,\n"
           "makeJvmlLauncherData; application directory on PATH)\n";
    out += cfgTable(results.cfgCost);
    for (const auto& [blocks, ns] : results.nsPerAllocation) {
        out += format("  heap: %.0f ns per block (allocate and free) with %d blocks alive\n", ns, blocks);
    }
    out += format("  heap: %.3f ms to allocate, write once and free one block of %.1f KiB\n",
                  results.largeBlockMs.second, results.largeBlockMs.first / 1024.0);
    out += "\nThe launcher's in-process sequence replayed in one process, step by step\n";
    out += stepTable(results.launchSteps);
    out += "\nThe restart path's own machinery replayed in one process (its child: the bare program)\n";
    out += stepTable(results.restartSteps);
    out += format("\nLauncher file: %s, %llu bytes (%.3f MiB)\n", results.launcherFile.c_str(),
                  static_cast<unsigned long long>(results.launcherBytes), results.launcherBytes / kMiB);
    out += "\nTargets\n";
    for (const TargetCheck& t : targets) {
        out += format("  %-44s %10.3f %-3s  limit %8.3f %-3s  %s\n", t.name.c_str(), t.value, t.unit.c_str(),
                      t.limit, t.unit.c_str(), t.met ? "met" : "MISSED");
    }
    return out;
}

std::string formatJson(const BenchResults& results, const std::vector<TargetCheck>& targets) {
    const ProcessRowResult& floor = findRow(results.rows, kFloorRow);
    const ProcessRowResult& bareFloor = findRow(results.rows, kBareFloorRow);
    const ProcessRowResult& bare = findRow(results.rows, "bare");
    std::string out = "{\n";
    out += format("  \"rounds\": %d,\n", results.rounds);
    out += "  \"launcher\": {\"file\": " + jsonString(results.launcherFile) +
           format(", \"bytes\": %llu},\n", static_cast<unsigned long long>(results.launcherBytes));
    out += "  \"process\": " + jsonRows(results.rows, floor, "ratioToFloor", &bareFloor, "ratioToBareFloor") + ",\n";
    out += "  \"probes\": " + jsonRows(results.probes, bare, "ratioToBare") + ",\n";
    out += "  \"configCost\": [";
    for (std::size_t i = 0; i < results.cfgCost.size(); ++i) {
        const CfgCostResult& r = results.cfgCost[i];
        out += i ? ",\n    " : "\n    ";
        out += format("{\"lines\": %d, \"fileBytes\": %zu, \"runtimeArgs\": %zu, \"bufferBytes\": %d, "
                      "\"repetitions\": %d, \"allocations\": %llu, \"totalMs\": ",
                      r.lines, r.fileBytes, r.runtimeArgs, r.bufferBytes, r.repetitions,
                      static_cast<unsigned long long>(r.totalAllocations)) +
               jsonSummary(r.totalMs) + ", \"stages\": [";
        for (std::size_t s = 0; s < r.stages.size(); ++s) {
            out += (s ? ", " : "") + std::string("{\"name\": ") + jsonString(r.stages[s].name) +
                   ", \"ms\": " + jsonSummary(r.stages[s].ms) +
                   format(", \"allocations\": %llu}", static_cast<unsigned long long>(r.stages[s].allocations));
        }
        out += "]}";
    }
    out += "\n  ],\n  \"heapNsPerAllocation\": [";
    for (std::size_t i = 0; i < results.nsPerAllocation.size(); ++i) {
        out += format("%s{\"liveBlocks\": %d, \"ns\": %.6g}", i ? ", " : "", results.nsPerAllocation[i].first,
                      results.nsPerAllocation[i].second);
    }
    out += format("],\n  \"heapLargeBlock\": {\"bytes\": %zu, \"ms\": %.6g}", results.largeBlockMs.first,
                  results.largeBlockMs.second);
    out += ",\n  \"launchSteps\": " + jsonSteps(results.launchSteps);
    out += ",\n  \"restartSteps\": " + jsonSteps(results.restartSteps);
    out += ",\n  \"targets\": [";
    for (std::size_t i = 0; i < targets.size(); ++i) {
        const TargetCheck& t = targets[i];
        out += i ? ",\n    " : "\n    ";
        out += "{\"name\": " + jsonString(t.name) + format(", \"value\": %.6g, \"limit\": %.6g, ", t.value, t.limit) +
               "\"unit\": " + jsonString(t.unit) + ", \"met\": " + (t.met ? "true" : "false") + "}";
    }
    out += "\n  ]\n}\n";
    return out;
}

}  // namespace bench
