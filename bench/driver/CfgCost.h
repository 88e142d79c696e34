// The in-process cost of turning a configuration into launch data, for
// configurations of growing size, through the launcher's own calls: in
// total and call by call, with the calls of operator new each makes.
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
    std::uint64_t allocations = 0;
};

struct CfgCostResult {
    int lines = 0;
    int repetitions = 0;
    std::size_t fileBytes = 0;
    std::size_t runtimeArgs = 0;
    // createJvmLauncher, makeLaunchData and makeLaunchBuffer in a row, as
    // the in-process launch runs them before the runtime's entry point.
    CfgStage total;
    std::vector<CfgStage> stages;
};

// Measures each size in an image of its own under `workDir`, with the
// application directory on PATH as on the in-process path.
std::vector<CfgCostResult> measureCfgCost(const tstring& workDir, const tstring& runtimeLibrary,
                                          const std::vector<int>& lineCounts);

}  // namespace bench
