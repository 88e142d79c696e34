// Descriptions of Win32 error codes.
#pragma once

#include <windows.h>

#include "tstrings.h"

// "system error <code> (<description>)"
tstring describeSystemError(DWORD errorCode, HMODULE module);
// The system's text for the code, without line breaks and final period.
tstring systemMessageText(DWORD errorCode, HMODULE module);
