// Windows-only system queries.
#pragma once

#include <windows.h>

namespace SysInfo {

// The module that contains this code; not reference-counted.
HMODULE getCurrentModuleHandle();

}  // namespace SysInfo
