// Helpers shared by the Windows test programs: child processes with a
// controlled environment and captured output, and the system's own command
// line split; the file helpers of every platform come with TestFiles.h.
#pragma once

#include <windows.h>

#include <map>
#include <optional>
#include <string>

#include "OwnedResource.h"
#include "TestFiles.h"
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
    DWORD timeoutMs = 60000;
    // Used verbatim instead of quoting `program` and `args` when not empty.
    tstring rawCommandLine;
};

struct ProcessResult {
    DWORD exitCode = 0;
    std::string out;  // bytes written to standard output
    std::string err;  // bytes written to standard error
    bool timedOut = false;
    DWORD pid = 0;
};

// Starts `program` with `args` (quoted so that CommandLineToArgvW gives them
// back unchanged), waits for it and returns its exit code and output.
ProcessResult runProcess(const tstring& program, const tstring_array& args, const ProcessOptions& options = {});

// True under Wine, whose ntdll exports wine_get_version.
bool runningUnderWine();

// Quotes one argument for CommandLineToArgvW.
tstring quoteArgument(const tstring& arg);

// The system's own split of a command line (CommandLineToArgvW); a failure
// is a test failure and gives no arguments.
tstring_array splitWithCommandLineToArgvW(const tstring& commandLine);

}  // namespace testing_support
