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

// The texts of the report's "error: " or "warning: " lines (`kind` is
// "error" or "warning"), without the prefix.
std::vector<std::string> reportFindings(const std::string& out, const std::string& kind);

// The report's last line, "Result: ...".
std::string reportResult(const std::string& out);

// Overwrites the machine field of the PE file at `path`.
void setPeMachine(const tstring& path, WORD machine);

}  // namespace testing_support
