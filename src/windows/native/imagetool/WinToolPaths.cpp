// Paths as the user types them on Windows and under Wine, and what the
// launcher would find only on the machine it runs on.
#include <windows.h>

#include <stdexcept>

#include "FileUtils.h"
#include "HostSystem.h"
#include "SysInfo.h"
#include "ToolError.h"
#include "ToolPaths.h"

namespace imagetool {

namespace {

// ntdll exports wine_get_version under Wine only.
bool runningUnderWine() {
    const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    return ntdll && ::GetProcAddress(ntdll, "wine_get_version");
}

bool isUnixPath(const tstring& typed) {
    return typed.size() >= 1 && typed[0] == L'/' && (typed.size() == 1 || typed[1] != L'/');
}

tstring fullPath(const tstring& path) {
    try {
        return FileUtils::toAbsolutePath(path);
    } catch (const std::exception&) {
        fail(L"Cannot make \"" + path + L"\" an absolute path");
    }
}

}  // namespace

tstring userPath(const tstring& typed) {
    if (typed.empty()) {
        failUsage(L"An empty path was given");
    }
    if (isUnixPath(typed) && runningUnderWine()) {
        return fullPath(tstrings::replace(L"Z:" + typed, L"/", L"\\"));
    }
    return fullPath(typed);
}

tstring toolDir() { return FileUtils::parentDir(SysInfo::getExecutablePath()); }

const wchar_t systemLibraryLabel[] = L"system";
const wchar_t systemLibraryPlace[] = L"the system directory";

bool isSystemLibrary(const tstring& name) {
    static const tstring systemDir = SysInfo::getSystemDir();
    return isFile(FileUtils::combinePath(systemDir, name));
}

std::vector<PerUserConfigDir> perUserConfigDirs(const tstring& packageName) {
    std::vector<PerUserConfigDir> dirs;
    for (const wchar_t* variable : {L"LOCALAPPDATA", L"APPDATA"}) {
        const tstring dir = SysInfo::getEnvVariable(variable, tstring());
        if (!dir.empty()) {
            dirs.push_back({FileUtils::combinePath(dir, packageName), true});
        }
    }
    return dirs;
}

}  // namespace imagetool
