// The in-process cost of turning a configuration into launch data, for
// configurations of growing size: locating and parsing the file, expanding
// its macros, assembling the argument vector and packing the launch data
// buffer, in total and stage by stage.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Stats.h"
#include "tstrings.h"

namespace bench {

struct CfgStage {
    std::string name;
    Summary ms;
    // Calls of operator new in one run of the stage.
    std::uint64_t allocations = 0;
};

struct CfgCostResult {
    int lines = 0;
    int repetitions = 0;
    std::size_t fileBytes = 0;
    std::size_t runtimeArgs = 0;
    int bufferBytes = 0;
    // createJvmLauncher, makeLaunchData and makeJvmlLauncherData in a row,
    // as the launcher runs them.
    Summary totalMs;
    std::uint64_t totalAllocations = 0;
    // The same work split into its stages, each timed on its own.
    std::vector<CfgStage> stages;
};

// A configuration of exactly `lines` lines (at least 10): the bench
// configuration's entries plus class-path entries and Java options that use
// the directory macros.
std::string makeConfigText(int lines);

// Measures each size in its own image under `workDir`, with the
// application directory on PATH as on the in-process path.
std::vector<CfgCostResult> measureCfgCost(const tstring& workDir, const tstring& runtimeLibrary,
                                          const std::vector<int>& lineCounts);

}  // namespace bench
