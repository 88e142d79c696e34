// Windows-only system queries.
#pragma once

#include <windows.h>

#include "tstrings.h"

namespace SysInfo {

// The module that contains this code; not reference-counted.
HMODULE getCurrentModuleHandle();

// The arguments of a command line, split with the rules of
// CommandLineToArgvW: element 0 is the program name; an empty command line
// gives the executable's path alone.
tstring_array splitCommandLine(const tstring& commandLine);

}  // namespace SysInfo
