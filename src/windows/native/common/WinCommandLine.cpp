// The launcher's own command line, split with the rules of the system's own
// splitter, so that the launcher needs no library beyond kernel32 for it.
#include "WinSysInfo.h"

#include "CommandLine.h"
#include "SysInfo.h"

namespace SysInfo {

tstring_array splitCommandLine(const tstring& commandLine) {
    if (commandLine.empty()) {
        return {getExecutablePath()};
    }
    return CommandLine::split(commandLine);
}

}  // namespace SysInfo
