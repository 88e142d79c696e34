// The image tool's failures: one line for the user and the exit code that
// the tool ends with.
#pragma once

#include <windows.h>

#include <stdexcept>

#include "WinErrorHandling.h"
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

// A command line that does not say what to do: exit code 2.
[[noreturn]] void failUsage(const tstring& message);

// Input that cannot be used, or work that could not be done: exit code 1.
[[noreturn]] void fail(const tstring& message);

// Fails with `what`, ": " and the system's text for `errorCode`.
[[noreturn]] void failSystem(const tstring& what, DWORD errorCode);

}  // namespace imagetool

// Fails with `what` and the thread's last error, read before `what` is built.
#define FAIL_LAST_ERROR(what) ON_LAST_ERROR(kivoLastError_, ::imagetool::failSystem((what), kivoLastError_))
