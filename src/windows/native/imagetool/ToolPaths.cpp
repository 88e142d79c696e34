// Paths as the user types them, and the file system queries the image tool
// makes about them.
#include "ToolPaths.h"

#include <windows.h>

#include <stdexcept>

#include "FileUtils.h"
#include "OwnedResource.h"
#include "SysInfo.h"
#include "ToolError.h"

namespace imagetool {

namespace {

DWORD attributes(const tstring& path) { return ::GetFileAttributesW(path.c_str()); }

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

// Calls `visit` for each entry of `dir` but "." and ".."; nothing when the
// directory cannot be listed.
template <class Visit>
void forEachEntry(const tstring& dir, const Visit& visit) {
    WIN32_FIND_DATAW entry;
    const OwnedFindHandle found(::FindFirstFileW(FileUtils::combinePath(dir, L"*").c_str(), &entry));
    if (!found) {
        return;
    }
    do {
        const tstring name = entry.cFileName;
        if (name != L"." && name != L"..") {
            visit(entry);
        }
    } while (::FindNextFileW(found.get(), &entry));
}

}  // namespace

bool runningUnderWine() {
    const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    return ntdll && ::GetProcAddress(ntdll, "wine_get_version");
}

tstring userPath(const tstring& typed) {
    if (typed.empty()) {
        failUsage(L"An empty path was given");
    }
    if (isUnixPath(typed) && runningUnderWine()) {
        tstring windowsPath = L"Z:" + typed;
        for (wchar_t& c : windowsPath) {
            if (c == L'/') {
                c = L'\\';
            }
        }
        return fullPath(windowsPath);
    }
    return fullPath(typed);
}

bool isRelativePath(const tstring& path) {
    const bool drive = path.size() >= 3 && path[1] == L':' && (path[2] == L'\\' || path[2] == L'/');
    const bool unc = tstrings::startsWith(path, L"\\\\");
    return !drive && !unc;
}

tstring toolDir() { return FileUtils::parentDir(SysInfo::getExecutablePath()); }

bool isDirectory(const tstring& path) {
    const DWORD attrs = attributes(path);
    return attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_DIRECTORY);
}

bool isFile(const tstring& path) {
    const DWORD attrs = attributes(path);
    return attrs != INVALID_FILE_ATTRIBUTES && !(attrs & FILE_ATTRIBUTE_DIRECTORY);
}

bool isEmptyDirectory(const tstring& path) {
    bool empty = true;
    forEachEntry(path, [&empty](const WIN32_FIND_DATAW&) { empty = false; });
    return empty;
}

tstring_array filesEndingWith(const tstring& dir, const tstring& suffix) {
    tstring_array names;
    forEachEntry(dir, [&](const WIN32_FIND_DATAW& entry) {
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
            tstrings::endsWith(entry.cFileName, suffix, tstrings::IGNORE_CASE)) {
            names.push_back(entry.cFileName);
        }
    });
    return names;
}

}  // namespace imagetool
