// Checks that the files the runtime is told about exist: class-path and
// module-path entries and the main jar, as they stand in its arguments.
#include "ImageEntries.h"

#include "CheckReport.h"
#include "FileUtils.h"
#include "ToolPaths.h"

namespace imagetool {

namespace {

// A class-path entry "dir\*" names every jar in the directory.
tstring withoutWildcard(const tstring& entry) {
    if (tstrings::endsWith(entry, L"\\*") || tstrings::endsWith(entry, L"/*")) {
        return entry.substr(0, entry.size() - 2);
    }
    return entry;
}

void checkEntry(const tstring& kind, const tstring& entry, CheckReport& report) {
    if (entry.empty()) {
        report.warning(L"an empty " + kind + L" entry");
        return;
    }
    if (isRelativePath(entry)) {
        report.warning(kind + L" \"" + entry + L"\" is relative: it depends on the current directory at launch");
        return;
    }
    if (FileUtils::exists(withoutWildcard(entry))) {
        report.info(kind + L" \"" + entry + L"\": found");
    } else {
        report.error(kind + L" \"" + entry + L"\" does not exist");
    }
}

void checkPathList(const tstring& kind, const tstring& list, CheckReport& report) {
    for (const tstring& entry : tstrings::split(list, L";")) {
        checkEntry(kind, entry, report);
    }
}

// The main entry follows "-Dkivo.app-path=" at `from`: "-m" and a module,
// a main class, "-jar" and a jar, each optional and in this order. Without
// any of them the runtime has nothing to start.
void checkMainEntry(const tstring_array& runtimeArgs, std::size_t from, CheckReport& report) {
    std::size_t i = from;
    bool named = false;
    if (i + 1 < runtimeArgs.size() && runtimeArgs[i] == L"-m") {
        i += 2;
        named = true;
    }
    if (i < runtimeArgs.size() && !tstrings::startsWith(runtimeArgs[i], L"-")) {
        ++i;
        named = true;
    }
    if (i + 1 < runtimeArgs.size() && runtimeArgs[i] == L"-jar") {
        checkEntry(L"main jar", runtimeArgs[i + 1], report);
        named = true;
    }
    if (!named) {
        report.error(L"the configuration names no main class, main module or main jar");
    }
}

}  // namespace

void checkApplicationFiles(const tstring_array& runtimeArgs, CheckReport& report) {
    report.step(L"Application files");
    // The options the launcher writes come before "-Dkivo.app-path="; the
    // main entry and the application's own arguments after it.
    bool beforeMain = true;
    for (std::size_t i = 1; i < runtimeArgs.size(); ++i) {
        const tstring& arg = runtimeArgs[i];
        const bool hasValue = i + 1 < runtimeArgs.size();
        if (tstrings::startsWith(arg, L"-Dkivo.app-path=")) {
            beforeMain = false;
        } else if (beforeMain && arg == L"-classpath" && hasValue) {
            checkPathList(L"class path entry", runtimeArgs[++i], report);
        } else if (beforeMain && arg == L"--module-path" && hasValue) {
            checkPathList(L"module path entry", runtimeArgs[++i], report);
        } else if (beforeMain && tstrings::startsWith(arg, L"-splash:")) {
            checkEntry(L"splash image", arg.substr(8), report);
        } else if (!beforeMain) {
            checkMainEntry(runtimeArgs, i, report);
            return;
        }
    }
    report.error(L"the configuration names no main class, main module or main jar");
}

}  // namespace imagetool
