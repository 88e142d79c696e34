// Runs of kivo-image for the tests, and the pieces of its check report that
// the tests compare.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "TestSupport.h"

namespace testing_support {

// Kivo-image.exe beside the test program.
tstring imageToolPath();

// Runs kivo-image with `args`; KIVO_DEBUG is removed unless `options` sets it.
ProcessResult runImageTool(const tstring_array& args, ProcessOptions options = {});

// The "argv[i]=" lines of a check report, UTF-8, in order.
std::vector<std::string> reportedArgv(const std::string& out);

// The argument vector that the fixture runtime reports in a launch's output;
// a launch that failed, or never reached the runtime, is a test failure.
std::vector<std::string> runtimeArgv(const ProcessResult& launch);

// The texts of the report's "error: " or "warning: " lines (`kind` is
// "error" or "warning"), without the prefix.
std::vector<std::string> reportFindings(const std::string& out, const std::string& kind);

// The report's last line, "Result: ...".
std::string reportResult(const std::string& out);

// Overwrites the machine field of the PE file at `path`.
void setPeMachine(const tstring& path, WORD machine);

// Overwrites data directory `index` of the PE32+ file at `path`.
void setPeDataDirectory(const tstring& path, std::size_t index, DWORD rva, DWORD size);

}  // namespace testing_support

namespace testing_support {

// An icon file with one 32-bit image per size, each filled with its own
// colour.
std::string makeIconFile(const std::vector<int>& sizes);

// The application's input for "kivo-image create": a configuration that
// names main.jar in app\, and a directory of application files.
struct CreateInputs {
    explicit CreateInputs(const std::string& cfg = "");

    TempDir temp;
    tstring config;
    tstring files;
    tstring dest;
    tstring runtime;

    // The arguments of create with these inputs and `name`.
    tstring_array createArgs(const tstring& name) const;
};

}  // namespace testing_support
