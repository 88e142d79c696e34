// Kivo-image's work between the platform's entry point and its exit.
#pragma once

#include "tstrings.h"

namespace imagetool {

// Runs the command that `args` (without the program name) give; returns the
// exit code. Every failure ends as one line on standard error.
int imageToolMain(const tstring_array& args);

}  // namespace imagetool
