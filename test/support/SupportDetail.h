// Pieces shared by the test helpers' source files: the resource owners and
// the error thrown when a Win32 call fails.
#pragma once

#include <windows.h>

#include "OwnedResource.h"
#include "tstrings.h"

namespace testing_support::detail {

// Throws a std::runtime_error naming the call, its subject and the error.
[[noreturn]] void fail(const char* call, const tstring& subject, DWORD error);

}  // namespace testing_support::detail
