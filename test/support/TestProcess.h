// Child processes of the tests, on every platform: a controlled copy of the
// environment, a working directory, a deadline and both output streams
// captured. Each platform's support library implements runProcess.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "tstrings.h"

namespace testing_support {

struct ProcessOptions {
    // Variables to set (a value) or to remove (std::nullopt) in the child's
    // copy of this process's environment.
    std::map<tstring, std::optional<tstring>> env;
    // Working directory of the child; empty keeps this process's.
    tstring cwd;
    // The child is killed and `timedOut` set when it runs longer. `timedOut`
    // is also set when a descendant still holds the output open by then.
    std::uint32_t timeoutMs = 60000;
    // Used verbatim instead of quoting `program` and `args` when not empty.
    // Windows only: elsewhere a child gets its arguments one by one.
    tstring rawCommandLine;
};

struct ProcessResult {
    // On POSIX systems a child killed by a signal gives 128 + the signal.
    std::uint32_t exitCode = 0;
    std::string out;  // bytes written to standard output
    std::string err;  // bytes written to standard error
    bool timedOut = false;
    std::uint32_t pid = 0;
};

// Starts `program` with `args`, waits for it and returns its exit code and
// output. On Windows the arguments are quoted so that CommandLineToArgvW
// gives them back unchanged.
ProcessResult runProcess(const tstring& program, const tstring_array& args, const ProcessOptions& options = {});

}  // namespace testing_support
