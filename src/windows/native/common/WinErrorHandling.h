// Descriptions of Win32 error codes.
#pragma once

#include <windows.h>

#include "ErrorHandling.h"
#include "tstrings.h"

// Reads the thread's last error into `code` before anything else runs, the
// arguments of the raising statement included, then runs that statement.
#define ON_LAST_ERROR(code, raising)              \
    do {                                          \
        const DWORD code = ::GetLastError();      \
        raising;                                  \
    } while (false)

// Raises the failure of the Win32 call `failedFunction` as a SysError with the
// thread's last error.
#define RAISE_LAST_ERROR(text, failedFunction) \
    ON_LAST_ERROR(kivoLastError_, RAISE(SysError((text), (failedFunction), kivoLastError_)))

// "system error <code> (<description>)"
tstring describeSystemError(DWORD errorCode, HMODULE module);
// The system's text for the code, without line breaks and final period.
tstring systemMessageText(DWORD errorCode, HMODULE module);
