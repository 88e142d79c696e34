// Failures of the image tool's POSIX layer, worded with the C library's
// text for errno.
#pragma once

#include "ErrorHandling.h"
#include "ToolError.h"

namespace imagetool {

// Fails with `what`, ": " and the text for the current errno.
[[noreturn]] inline void failErrno(const tstring& what) { fail(what + L": " + tstrings::fromUtf8(crtErrorText())); }

}  // namespace imagetool
