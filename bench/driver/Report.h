// The bench's results: the printed tables, the targets they are held
// against, and the raw runs as CSV.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "CfgCost.h"
#include "Runs.h"
#include "Steps.h"

namespace bench {

// The rows that the targets are judged on.
extern const char* const kFloor;
extern const char* const kInProcess;
extern const char* const kRestart;
extern const char* const kProbeWindow;

struct BenchResults {
    int warmUpRounds = 0;
    int rounds = 0;
    std::string pinning;
    std::vector<Row> rows;
    // Per row, every run, warm-up rounds first.
    std::vector<std::vector<Run>> runs;
    std::vector<CfgCostResult> cfgCost;
    std::vector<Step> steps;
    std::uint64_t launcherBytes = 0;
    std::string launcherFile;
};

// The tables, the targets with their spread and verdict, and the failures.
std::string formatReport(const BenchResults& results);

// One line per run: row, round, failure, wall ms, ms to the report, peak
// bytes, the parent's peak bytes.
std::string formatCsv(const BenchResults& results);

// Every failed run in one line each: its row, its number and what went
// wrong; with `errorOutput` followed by its standard error.
std::string formatFailures(const std::vector<Row>& rows, const std::vector<std::vector<Run>>& runs, bool errorOutput);

}  // namespace bench
