// Helpers shared by the Windows test programs: the system's own command
// line split and its quoting; the file helpers and child processes of every
// platform come with TestFiles.h and TestProcess.h.
#pragma once

#include <windows.h>

#include <string>

#include "OwnedResource.h"
#include "TestFiles.h"
#include "TestProcess.h"
#include "tstrings.h"

namespace testing_support {

// Quotes one argument for CommandLineToArgvW.
tstring quoteArgument(const tstring& arg);

// The system's own split of a command line (CommandLineToArgvW); a failure
// is a test failure and gives no arguments.
tstring_array splitWithCommandLineToArgvW(const tstring& commandLine);

}  // namespace testing_support
