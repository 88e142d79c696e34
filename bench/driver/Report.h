// The bench's results: the printed tables, the targets they are held
// against, and the same figures as JSON.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "CfgCost.h"
#include "LaunchBreakdown.h"
#include "ProcessBench.h"

namespace bench {

struct BenchResults {
    int rounds = 0;
    std::vector<ProcessRowResult> rows;
    std::vector<ProcessRowResult> probes;
    std::vector<CfgCostResult> cfgCost;
    // The heap's cost per block with few and with many blocks alive.
    std::vector<std::pair<int, double>> nsPerAllocation;
    // Bytes of the largest launch data buffer, and the milliseconds to
    // allocate, touch and free a block of that size.
    std::pair<std::size_t, double> largeBlockMs;
    std::vector<LaunchStep> launchSteps;
    std::vector<LaunchStep> restartSteps;
    std::uint64_t launcherBytes = 0;
    std::string launcherFile;
};

// The floor that the launcher's targets are judged against: its runtime
// imports the window system, as every runtime that shows a window does. The
// bare-runtime floor is printed beside it for reference.
extern const char* const kFloorRow;
extern const char* const kBareFloorRow;

struct TargetCheck {
    std::string name;
    double value = 0;
    double limit = 0;
    std::string unit;
    bool met = false;
};

std::vector<TargetCheck> checkTargets(const BenchResults& results);

std::string formatTables(const BenchResults& results, const std::vector<TargetCheck>& targets);
std::string formatJson(const BenchResults& results, const std::vector<TargetCheck>& targets);

}  // namespace bench
