// Checks the runtime libraries that the launcher loads: each is a 64-bit
// library, the launcher-interface library exports the entry point, and
// every library they import, directly or through each other, is found.
#pragma once

#include "tstrings.h"

namespace imagetool {

class CheckReport;

// Checks `runtimeDir`\bin\qsr.dll and, when the launch shows a splash
// screen, bin\server\jvm.dll and bin\splashscreen.dll. Imports are looked up
// in bin\, bin\server\ and the system directory, from the files' import
// tables; nothing of the runtime is loaded or run.
void checkRuntimeLibraries(const tstring& runtimeDir, bool withSplash, CheckReport& report);

}  // namespace imagetool
