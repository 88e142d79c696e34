// Path operations that work on the text of a path alone.
#include "FileUtils.h"

namespace FileUtils {

namespace {

bool isSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

const wchar_t* const kSeparators = L"\\/";

}  // namespace

tstring stripTrailingSeparators(const tstring& path) {
    std::size_t end = path.size();
    while (end > 0 && isSeparator(path[end - 1])) {
        --end;
    }
    return path.substr(0, end);
}

tstring combinePath(const tstring& base, const tstring& part) {
    if (base.empty()) {
        return part;
    }
    if (part.empty()) {
        return base;
    }
    const std::size_t skip = isSeparator(part[0]) ? 1 : 0;
    return stripTrailingSeparators(base) + pathSeparator + part.substr(skip);
}

tstring parentDir(const tstring& path) {
    std::size_t searchEnd = path.size();
    if (searchEnd >= 2 && path[searchEnd - 1] == L'.' && isSeparator(path[searchEnd - 2])) {
        searchEnd -= 2;
    }
    if (searchEnd == 0) {
        return tstring();
    }
    const std::size_t sep = path.find_last_of(kSeparators, searchEnd - 1);
    if (sep == tstring::npos) {
        return tstring();
    }
    std::size_t end = sep;
    while (end > 0 && isSeparator(path[end - 1])) {
        --end;
    }
    return path.substr(0, end);
}

tstring fileName(const tstring& path) {
    const std::size_t sep = path.find_last_of(kSeparators);
    if (sep == tstring::npos) {
        return path;
    }
    return path.substr(sep + 1);
}

tstring withoutExtension(const tstring& path) {
    const std::size_t dot = path.rfind(L'.');
    const std::size_t sep = path.find_last_of(kSeparators);
    if (dot == tstring::npos || (sep != tstring::npos && sep > dot)) {
        return path;
    }
    return path.substr(0, dot);
}

}  // namespace FileUtils
