// The check of an application image: everything the launcher would see, in
// the order it would see it, as a report on standard output.
#pragma once

#include <optional>

#include "tstrings.h"

namespace imagetool {

struct CheckOptions {
    // The image directory or its launcher executable, as typed.
    tstring image;
    // Arguments as the launcher would get them on its command line; they
    // replace the configured application arguments when there are any.
    tstring_array appArgs;
};

// Writes the report and returns the exit code: 0 when the image would
// launch, 1 when it would not.
int checkImage(const CheckOptions& options);

// The first reason why the image of `launcherPath` would not launch, or
// nothing when it would; nothing is written.
std::optional<tstring> launchProblem(const tstring& launcherPath);

// The launcher executable of an image given as a directory (its only .exe)
// or as the executable itself.
tstring findLauncher(const tstring& imagePath);

}  // namespace imagetool
