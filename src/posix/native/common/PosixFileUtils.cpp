// Path operations that ask the file system. Paths of application images use
// backslashes, which are separators here as on Windows: they become slashes
// before a path reaches the system.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <vector>

#include "ErrorHandling.h"
#include "FileUtils.h"
#include "PosixPath.h"

namespace FileUtils {

const wchar_t pathSeparator = L'/';

namespace {

using posixpath::slashed;
using posixpath::systemPath;

tstring currentDirectory() {
    std::vector<char> buffer(256);
    while (!::getcwd(buffer.data(), buffer.size())) {
        if (errno != ERANGE) {
            RAISE("getcwd() failed");
        }
        buffer.resize(buffer.size() * 2);
    }
    return tstrings::fromUtf8(buffer.data());
}

// "." and ".." resolved by text, as GetFullPathNameW does.
tstring normalized(const tstring& absolute) {
    tstring_array kept;
    for (const tstring& piece : tstrings::split(absolute, L"/")) {
        if (piece.empty() || piece == L".") {
            continue;
        }
        if (piece == L"..") {
            if (!kept.empty()) {
                kept.pop_back();
            }
            continue;
        }
        kept.push_back(piece);
    }
    return L"/" + tstrings::join(kept, L"/");
}

}  // namespace

bool exists(const tstring& path) {
    struct stat info;
    return !path.empty() && ::lstat(systemPath(path).c_str(), &info) == 0;
}

tstring toAbsolutePath(const tstring& path) {
    if (path.empty()) {
        return currentDirectory();
    }
    const tstring absolute = slashed(path);
    return normalized(absolute[0] == L'/' ? absolute : currentDirectory() + L"/" + absolute);
}

// The C library opens a directory for reading, and only reading it fails;
// on Windows the open itself fails. Opening is where both fail here.
std::FILE* openForReading(const tstring& path) {
    std::FILE* const file = std::fopen(systemPath(path).c_str(), "rb");
    struct stat info;
    if (file && ::fstat(::fileno(file), &info) == 0 && S_ISDIR(info.st_mode)) {
        std::fclose(file);
        errno = EISDIR;
        return nullptr;
    }
    return file;
}

}  // namespace FileUtils
