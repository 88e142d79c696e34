// Checks that the files the runtime is told about exist: class-path and
// module-path entries and the main jar, as they stand in its arguments.
#pragma once

#include "tstrings.h"

namespace imagetool {

class CheckReport;

// Reads the entries from the runtime's argument vector (after macro
// expansion, exactly as the runtime gets them) and reports each one.
void checkApplicationFiles(const tstring_array& runtimeArgs, CheckReport& report);

}  // namespace imagetool
