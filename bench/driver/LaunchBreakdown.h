// The launcher's in-process launch sequence replayed step by step in this
// process on the bench image, each step timed with the performance counter:
// what the launcher does beyond the floor program, and what each part costs.
#pragma once

#include <string>
#include <vector>

#include "BenchImage.h"
#include "Stats.h"

namespace bench {

struct LaunchStep {
    std::string name;
    // The first replay in this process, when caches and libraries are cold.
    double firstMs = 0;
    // The later replays.
    Summary ms;
};

// Replays the sequence `repetitions` + 1 times. The application directory is
// on PATH, so the in-process path is the one replayed.
std::vector<LaunchStep> measureLaunchSteps(const BenchImage& image, int repetitions);

// Replays what the restart path adds around its child, `repetitions` + 1
// times: the job object, the message-only window, and the worker thread
// that starts `childProgram` suspended in the job and waits for it while
// this thread pumps messages.
std::vector<LaunchStep> measureRestartSteps(const tstring& childProgram, int repetitions);

}  // namespace bench
