// The image tool's failures: one line for the user and the exit code that
// the tool ends with.
#include "ToolError.h"

namespace imagetool {

void failUsage(const tstring& message) { throw ToolError(exitUsage, message); }

void fail(const tstring& message) { throw ToolError(exitFailed, message); }

}  // namespace imagetool
