// Helpers shared by the test programs: child processes with a controlled
// environment and captured output, temporary directories and files.
#pragma once

#include <windows.h>

#include <map>
#include <optional>
#include <string>

#include "OwnedResource.h"
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

// Quotes one argument for CommandLineToArgvW.
tstring quoteArgument(const tstring& arg);

// The system's own split of a command line (CommandLineToArgvW); a failure
// is a test failure and gives no arguments.
tstring_array splitWithCommandLineToArgvW(const tstring& commandLine);

// Directory of the running test executable; the launcher, the fixtures and
// the helper programs are built next to it.
tstring testBinDir();

// A fresh directory under %TEMP%, removed with everything in it at the end.
class TempDir {
public:
    explicit TempDir(const tstring& nameHint = L"kivo");
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const tstring& path() const { return dir; }

private:
    tstring dir;
};

void writeFile(const tstring& path, const std::string& bytes);
std::string readFile(const tstring& path);
void makeDirs(const tstring& path);
void copyFile(const tstring& from, const tstring& to);
void removeTree(const tstring& path);

// Splits captured output into lines, dropping CR before LF.
std::vector<std::string> lines(const std::string& text);

}  // namespace testing_support
