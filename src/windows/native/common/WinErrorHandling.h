// Descriptions of Win32 error codes.
#pragma once

#include <windows.h>

#include "ErrorHandling.h"
#include "tstrings.h"

// Raises the failure of the Win32 call `failedFunction` as a SysError with the
// thread's last error, read before anything else runs, `text` included.
#define RAISE_LAST_ERROR(text, failedFunction)                       \
    do {                                                             \
        const DWORD kivoLastError_ = ::GetLastError();               \
        RAISE(SysError((text), (failedFunction), kivoLastError_));   \
    } while (false)

// "system error <code> (<description>)"
tstring describeSystemError(DWORD errorCode, HMODULE module);
// The system's text for the code, without line breaks and final period.
tstring systemMessageText(DWORD errorCode, HMODULE module);
