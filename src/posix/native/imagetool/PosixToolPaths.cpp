// Paths as the user types them on Linux, and what the launcher would find
// only on the Windows machine it runs on.
#include <algorithm>
#include <stdexcept>

#include "FileUtils.h"
#include "HostSystem.h"
#include "SysInfo.h"
#include "ToolError.h"
#include "ToolPaths.h"

namespace imagetool {

namespace {

// Libraries that every supported Windows (10 and later, x64) has in its
// system directory, in lower case. A runtime that imports anything else
// must carry it.
const wchar_t* const knownSystemLibraries[] = {
    L"advapi32.dll", L"bcrypt.dll",   L"comctl32.dll", L"comdlg32.dll", L"crypt32.dll",  L"d2d1.dll",
    L"d3d11.dll",    L"d3d9.dll",     L"dbghelp.dll",  L"dnsapi.dll",   L"dwmapi.dll",   L"dwrite.dll",
    L"dxgi.dll",     L"gdi32.dll",    L"gdiplus.dll",  L"glu32.dll",    L"imm32.dll",    L"iphlpapi.dll",
    L"kernel32.dll", L"kernelbase.dll", L"mpr.dll",    L"msimg32.dll",  L"msvcrt.dll",   L"mswsock.dll",
    L"ncrypt.dll",   L"netapi32.dll", L"normaliz.dll", L"ntdll.dll",    L"ole32.dll",    L"oleaut32.dll",
    L"opengl32.dll", L"pdh.dll",      L"powrprof.dll", L"psapi.dll",    L"rpcrt4.dll",   L"secur32.dll",
    L"setupapi.dll", L"shell32.dll",  L"shlwapi.dll",  L"ucrtbase.dll", L"user32.dll",   L"userenv.dll",
    L"uxtheme.dll",  L"version.dll",  L"winhttp.dll",  L"wininet.dll",  L"winmm.dll",    L"winspool.drv",
    L"wintrust.dll", L"wldap32.dll",  L"ws2_32.dll",   L"wsock32.dll",  L"wtsapi32.dll",
};

}  // namespace

tstring userPath(const tstring& typed) {
    if (typed.empty()) {
        failUsage(L"An empty path was given");
    }
    try {
        return FileUtils::toAbsolutePath(typed);
    } catch (const std::exception&) {
        fail(L"Cannot make \"" + typed + L"\" an absolute path");
    }
}

tstring toolDir() { return FileUtils::parentDir(SysInfo::getExecutablePath()); }

const wchar_t systemLibraryLabel[] = L"a known Windows system library";
const wchar_t systemLibraryPlace[] = L"the known Windows system libraries";

bool isSystemLibrary(const tstring& name) {
    const tstring lower = tstrings::toLower(name);
    return std::any_of(std::begin(knownSystemLibraries), std::end(knownSystemLibraries),
                       [&lower](const wchar_t* known) { return lower == known; });
}

std::vector<PerUserConfigDir> perUserConfigDirs(const tstring& packageName) {
    return {{L"%LOCALAPPDATA%\\" + packageName, false}, {L"%APPDATA%\\" + packageName, false}};
}

}  // namespace imagetool
