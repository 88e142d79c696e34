// The image tool's failures: one line for the user and the exit code that
// the tool ends with.
#pragma once

#include <stdexcept>

#include "tstrings.h"

namespace imagetool {

enum ExitCode { exitOk = 0, exitFailed = 1, exitUsage = 2 };

class ToolError : public std::runtime_error {
public:
    ToolError(ExitCode code, const tstring& message)
        : std::runtime_error(tstrings::toUtf8(message)), code(code), text(message) {}

    ExitCode exitCode() const { return code; }
    const tstring& message() const { return text; }

private:
    ExitCode code;
    tstring text;
};

// A path as the tool's messages show it, in double quotes.
inline tstring quoted(const tstring& path) { return L"\"" + path + L"\""; }

// A command line that does not say what to do: exit code 2.
[[noreturn]] inline void failUsage(const tstring& message) { throw ToolError(exitUsage, message); }

// Input that cannot be used, or work that could not be done: exit code 1.
[[noreturn]] inline void fail(const tstring& message) { throw ToolError(exitFailed, message); }

}  // namespace imagetool
