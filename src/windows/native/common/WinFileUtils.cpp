// Path operations that ask the file system.
#include <windows.h>

#include <share.h>

#include <vector>

#include "ErrorHandling.h"
#include "FileUtils.h"

namespace FileUtils {

const wchar_t pathSeparator = L'\\';

namespace {

// Calls `query` with a growing buffer until the answer fits: `query` gets
// the buffer and its size in characters and answers like the Win32 path
// queries (the length without the NUL when it fits, the size needed with the
// NUL when it does not, 0 on failure). False on failure.
template <class Query>
bool queryPath(const Query& query, tstring& result) {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD answer = query(buffer.data(), static_cast<DWORD>(buffer.size()));
        if (answer == 0) {
            return false;
        }
        if (answer < buffer.size()) {
            result.assign(buffer.data(), answer);
            return true;
        }
        buffer.resize(answer > buffer.size() ? answer : buffer.size() * 2);
    }
}

}  // namespace

bool exists(const tstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

tstring toAbsolutePath(const tstring& path) {
    tstring result;
    if (path.empty()) {
        if (!queryPath([](wchar_t* buffer, DWORD size) { return ::GetCurrentDirectoryW(size, buffer); }, result)) {
            RAISE("_tgetcwd() failed");
        }
        return result;
    }
    const auto fullPath = [&path](wchar_t* buffer, DWORD size) {
        return ::GetFullPathNameW(path.c_str(), size, buffer, nullptr);
    };
    if (!queryPath(fullPath, result)) {
        RAISE(tstrings::Builder() << "_tfullpath(" << path << ") failed");
    }
    return result;
}

std::FILE* openForReading(const tstring& path) { return ::_wfsopen(path.c_str(), L"rb", _SH_DENYNO); }

}  // namespace FileUtils
