// Whole-process measurements: each row's program is started from here with
// CreateProcessW, timed with the performance counter from the start request
// to the end of the wait, with its standard streams on NUL; its peak working
// set is what the bench runtime (or the bare program) reports.
#pragma once

#include <string>
#include <vector>

#include "BenchImage.h"
#include "Stats.h"
#include "tstrings.h"

namespace bench {

struct ProcessRow {
    std::string name;
    tstring program;
    // Whether PATH names the image's application directory.
    bool appDirOnPath = true;
};

struct ProcessRowResult {
    ProcessRow row;
    Summary wallMs;
    // Peak working set in bytes, as the reporting process read it.
    Summary peakWorkingSet;
    // Peak working set of the started process read from here after its end,
    // over the runs where the system still told it (Wine mostly does not).
    Summary exitedPeakWorkingSet;
    // The argument count the runtime received, or the bare program's.
    int reportedArgCount = 0;
    // The process that reported was not the one started here (a restart).
    bool reportedByChild = false;
};

// Runs every row once per round, rows interleaved so that a slow phase of
// the machine hits all rows alike; the warm-up rounds are not counted.
// Throws when a program fails or does not report.
std::vector<ProcessRowResult> runProcessRows(const std::vector<ProcessRow>& rows, const BenchImage& image,
                                             int warmUpRounds, int rounds);

}  // namespace bench
