// Checks the runtime libraries that the launcher loads: each is a 64-bit
// library, the launcher-interface library exports the entry point, and
// every library they import, directly or through each other, is found.
#include "RuntimeLibraries.h"

#include <deque>
#include <map>
#include <optional>
#include <set>
#include <utility>
#include <vector>

#include "AppLauncher.h"
#include "CheckReport.h"
#include "FileUtils.h"
#include "HostSystem.h"
#include "PeFile.h"
#include "ToolError.h"
#include "ToolFiles.h"
#include "ToolPaths.h"

namespace imagetool {

namespace {

// API set names are resolved by the loader itself, not from files.
bool isApiSet(const tstring& lowerName) {
    return tstrings::startsWith(lowerName, L"api-ms-") || tstrings::startsWith(lowerName, L"ext-ms-");
}

// The files of one directory by their names in lower case, as the loader
// finds them whatever case an import gives.
class LibraryDir {
public:
    LibraryDir(const tstring& label, const tstring& dir) : label(label) {
        DirEntries entries;
        try {
            entries = listDirectory(dir);
        } catch (const ToolError&) {
            return;
        }
        for (const tstring_array* names : {&entries.files, &entries.fileLinks}) {
            for (const tstring& name : *names) {
                paths.emplace(tstrings::toLower(name), FileUtils::combinePath(dir, name));
            }
        }
    }

    // The file's path, or empty when the directory holds no such file.
    tstring find(const tstring& lowerName) const {
        const auto found = paths.find(lowerName);
        return found == paths.end() ? tstring() : found->second;
    }

    tstring label;

private:
    std::map<tstring, tstring> paths;
};

class LibraryWalk {
public:
    LibraryWalk(const tstring& runtimeDir, CheckReport& report)
        : runtimeDir(runtimeDir),
          report(report),
          searchDirs{{L"bin", FileUtils::combinePath(runtimeDir, L"bin")},
                     {L"bin\\server", FileUtils::combinePath(runtimeDir, L"bin\\server")}} {}

    // A library the launcher loads by its path in the runtime directory.
    void checkLoaded(const tstring& relativePath, bool isEntryLibrary) {
        const tstring path = FileUtils::combinePath(runtimeDir, relativePath);
        if (!isFile(path)) {
            report.error(relativePath + L" is missing in \"" + runtimeDir + L"\"");
            return;
        }
        const std::optional<PeFile> pe = readLibrary(relativePath, path);
        if (!pe) {
            return;
        }
        tstring facts = relativePath + L": " + machineName(pe->machine) + (pe->isDll ? L" library" : L" program");
        if (isEntryLibrary) {
            facts += pe->exportsFunction("QSR_Launch") ? L", exports QSR_Launch" : L"";
        }
        report.info(facts);
        if (!pe->is64Bit() || !pe->isDll) {
            report.error(relativePath + L" is not a 64-bit library (" + machineName(pe->machine) +
                         (pe->isDll ? L" library" : L" program") + L"); the launcher needs an x64 runtime");
        }
        if (isEntryLibrary && !pe->exportsFunction("QSR_Launch")) {
            report.error(relativePath + L" does not export QSR_Launch: it is not a launcher-interface library");
        }
        visited.insert(tstrings::toLower(path));
        queue.push_back({relativePath, *pe});
        while (!queue.empty()) {
            const std::pair<tstring, PeFile> next = queue.front();
            queue.pop_front();
            listImports(next.first, next.second);
        }
    }

private:
    std::optional<PeFile> readLibrary(const tstring& relativePath, const tstring& path) {
        try {
            return PeFile::read(path);
        } catch (const ToolError& error) {
            report.error(relativePath + L": " + error.message());
            return std::nullopt;
        }
    }

    // Reports where each import of a library is found; libraries found in
    // the runtime join the queue to have their own imports listed.
    void listImports(const tstring& relativePath, const PeFile& pe) {
        tstring found;
        for (const std::string& import : pe.imports) {
            const tstring name = tstrings::fromUtf8(import);
            const tstring where = locate(name);
            if (where.empty()) {
                report.error(name + L", imported by " + relativePath + L", is not in bin\\, bin\\server\\ or " +
                             systemLibraryPlace);
                continue;
            }
            found += (found.empty() ? L"" : L", ") + name + L" (" + where + L")";
        }
        if (!found.empty()) {
            report.info(relativePath + L" imports " + found);
        }
    }

    void enqueue(const tstring& relativePath, const tstring& path) {
        if (!visited.insert(tstrings::toLower(path)).second) {
            return;
        }
        if (const std::optional<PeFile> pe = readLibrary(relativePath, path)) {
            if (!pe->is64Bit()) {
                report.error(relativePath + L" is not a 64-bit library (" + machineName(pe->machine) + L")");
            }
            queue.push_back({relativePath, *pe});
        }
    }

    // Where the loader would find `name`: "bin\x.dll", "bin\server\x.dll",
    // the system library label or "" when nowhere. Libraries of the runtime are walked too.
    tstring locate(const tstring& name) {
        const tstring lower = tstrings::toLower(name);
        if (isApiSet(lower)) {
            return systemLibraryLabel;
        }
        for (const LibraryDir& dir : searchDirs) {
            const tstring path = dir.find(lower);
            if (!path.empty()) {
                const tstring relative = dir.label + L"\\" + name;
                enqueue(relative, path);
                return relative;
            }
        }
        return isSystemLibrary(name) ? systemLibraryLabel : tstring();
    }

    tstring runtimeDir;
    CheckReport& report;
    std::vector<LibraryDir> searchDirs;
    std::set<tstring> visited;
    std::deque<std::pair<tstring, PeFile>> queue;
};

}  // namespace

void checkRuntimeLibraries(const tstring& runtimeDir, bool withSplash, CheckReport& report) {
    LibraryWalk walk(runtimeDir, report);
    walk.checkLoaded(AppLauncher::runtimeLibrary, true);
    if (withSplash) {
        walk.checkLoaded(L"bin\\server\\jvm.dll", false);
        walk.checkLoaded(L"bin\\splashscreen.dll", false);
    }
}

}  // namespace imagetool
