// The launcher's in-process launch on the bench image, called from the
// launcher library in this process step by step, each step timed.
#pragma once

#include <string>
#include <vector>

#include "Image.h"
#include "Stats.h"

namespace bench {

struct Step {
    std::string name;
    // The first call in this process, when caches and libraries are cold.
    double firstMs = 0;
    // The later calls.
    Summary ms;
};

// The in-process sequence `repetitions` + 1 times with the application
// directory on PATH.
std::vector<Step> measureSteps(const Image& image, int repetitions);

}  // namespace bench
