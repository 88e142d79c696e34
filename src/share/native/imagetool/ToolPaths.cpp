// Path rules of the image tool that hold on every platform.
#include "ToolPaths.h"

#include <algorithm>

#include "FileUtils.h"
#include "ToolError.h"
#include "ToolFiles.h"

namespace imagetool {

namespace {

// The entries of `dir`, or none when it cannot be listed.
DirEntries entriesOrNone(const tstring& dir) {
    try {
        return listDirectory(dir);
    } catch (const ToolError&) {
        return DirEntries();
    }
}

bool isSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

}  // namespace

bool isRelativePath(const tstring& path) {
    const bool drive = path.size() >= 3 && path[1] == L':' && isSeparator(path[2]);
    const bool unc = tstrings::startsWith(path, L"\\\\");
    const bool systemAbsolute = FileUtils::pathSeparator == L'/' && !path.empty() && path[0] == L'/';
    return !drive && !unc && !systemAbsolute;
}

bool isWithin(const tstring& path, const tstring& dir) {
    if (!tstrings::startsWith(path, dir, tstrings::IGNORE_CASE)) {
        return false;
    }
    return path.size() == dir.size() || isSeparator(path[dir.size()]);
}

bool isEmptyDirectory(const tstring& path) {
    const DirEntries entries = entriesOrNone(path);
    return entries.files.empty() && entries.dirs.empty() && entries.fileLinks.empty() && entries.dirLinks.empty();
}

tstring_array filesEndingWith(const tstring& dir, const tstring& suffix) {
    const DirEntries entries = entriesOrNone(dir);
    tstring_array names;
    for (const tstring_array* list : {&entries.files, &entries.fileLinks}) {
        for (const tstring& name : *list) {
            if (tstrings::endsWith(name, suffix, tstrings::IGNORE_CASE)) {
                names.push_back(name);
            }
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

namespace {

tstring_array pathParts(const tstring& path) {
    tstring_array parts;
    tstring part;
    for (const wchar_t c : path + L"/") {
        if (c == L'/' || c == L'\\') {
            if (!part.empty()) {
                parts.push_back(part);
            }
            part.clear();
        } else {
            part += c;
        }
    }
    return parts;
}

}  // namespace

tstring relativePath(const tstring& from, const tstring& path) {
    const tstring_array fromParts = pathParts(from);
    const tstring_array pathPartsOf = pathParts(path);
    std::size_t common = 0;
    while (common < fromParts.size() && common < pathPartsOf.size() && fromParts[common] == pathPartsOf[common]) {
        ++common;
    }
    tstring relative;
    for (std::size_t i = common; i < fromParts.size(); ++i) {
        relative += L"../";
    }
    for (std::size_t i = common; i < pathPartsOf.size(); ++i) {
        relative += pathPartsOf[i] + (i + 1 < pathPartsOf.size() ? L"/" : L"");
    }
    return relative;
}

}  // namespace imagetool
