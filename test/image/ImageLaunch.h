// What the fixture runtime received when a launcher that the image tool
// laid out or checked was started; Windows only, where launchers run.
#pragma once

#include <string>
#include <vector>

#include "TestProcess.h"

namespace testing_support {

// The argument vector that the fixture runtime reports in a launch's output;
// a launch that failed, or never reached the runtime, is a test failure.
std::vector<std::string> runtimeArgv(const ProcessResult& launch);

}  // namespace testing_support
