// Whole-process runs: a row's program is started with CreateProcessW and
// timed with the performance counter from the start request to the end of
// the wait. Its standard input and output are on NUL, its standard error goes
// to a file, which is kept when the run fails; a failed run is recorded, not
// raised.
#pragma once

#include <string>
#include <vector>

#include "Files.h"
#include "Image.h"
#include "OwnedResource.h"
#include "tstrings.h"

namespace bench {

struct Row {
    std::string name;
    tstring program;
    // Whether PATH names the image's application directory.
    bool appDirOnPath = true;
    // The argument count the runtime must receive; 0 for the programs that
    // report their own.
    int runtimeArgs = 0;
};

struct Run {
    // What went wrong, in one line; empty for a run that succeeded.
    std::string failure;
    // False when this driver could not start the program: the row's program
    // never ran.
    bool started = false;
    // The program's standard error, kept for a failed run.
    std::string errorOutput;
    double wallMs = 0;
    // From the start request to the report of the process that reported.
    double toReportMs = 0;
    double peakBytes = 0;
    double parentPeakBytes = 0;
    // The process that reported was not the one started here (a restart).
    bool reportedByChild = false;
};

class Runner {
public:
    explicit Runner(const Image& image);
    Run run(const Row& row) const;

private:
    Run finish(const Row& row, HANDLE process, DWORD processId, long long start) const;
    void readReport(const Row& row, DWORD processId, long long start, Run& run) const;

    tstring reportPath;
    tstring errorPath;
    tstring basePath;
    tstring pathWithAppDir;
    tstring workDir;
    ScopedEnvVariable report;
    OwnedFileHandle nul;
};

// Every row once per round, the order reversed every other round, so that a
// slow phase of the machine hits the rows of a round alike. Gives the runs
// of each row, warm-up rounds first; `onRound` is told each finished round.
std::vector<std::vector<Run>> runRounds(const Runner& runner, const std::vector<Row>& rows, int rounds,
                                        void (*onRound)(int round, int rounds));

}  // namespace bench
