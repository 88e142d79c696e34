// Failures of the image tool's Windows layer, worded with the system's own
// text for the error code.
#pragma once

#include <windows.h>

#include "ToolError.h"
#include "WinErrorHandling.h"

namespace imagetool {

// Fails with `what`, ": " and the system's text for `errorCode`.
[[noreturn]] inline void failSystem(const tstring& what, DWORD errorCode) {
    fail(what + L": " + systemMessageText(errorCode, nullptr));
}

}  // namespace imagetool

// Fails with `what` and the thread's last error, read before `what` is built.
#define FAIL_LAST_ERROR(what) ON_LAST_ERROR(kivoLastError_, ::imagetool::failSystem((what), kivoLastError_))
