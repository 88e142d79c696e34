// Queries and changes of the launcher's own process: module paths, command
// line, environment variables, the system directory.
#pragma once

#include "tstrings.h"

namespace SysInfo {

enum CommandArgProgramNameMode { IncludeProgramName, ExcludeProgramName };

tstring getExecutablePath();
tstring getThisModulePath();
tstring_array getCommandArgs(CommandArgProgramNameMode mode = ExcludeProgramName);

// Throws when the variable is not set.
tstring getEnvVariable(const tstring& name);
// Gives `defValue` when the variable is not set or cannot be read.
tstring getEnvVariable(const tstring& name, const tstring& defValue);
void setEnvVariable(const tstring& name, const tstring& value);

tstring getSystemDir();

}  // namespace SysInfo
