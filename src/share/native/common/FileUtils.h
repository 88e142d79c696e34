// Path operations: joining and taking apart paths as text, the existence
// test and the absolute form of a path.
#pragma once

#include <cstdio>

#include "tstrings.h"

namespace FileUtils {

// The separator that combinePath writes: a backslash on Windows, a slash
// elsewhere. Both are separators to every operation here on every system.
extern const wchar_t pathSeparator;

tstring combinePath(const tstring& base, const tstring& part);
tstring stripTrailingSeparators(const tstring& path);
tstring parentDir(const tstring& path);
tstring fileName(const tstring& path);
tstring withoutExtension(const tstring& path);

bool exists(const tstring& path);
tstring toAbsolutePath(const tstring& path);
// Opens the file for reading bytes, letting others read, write and delete
// it meanwhile; null with errno set on failure. The caller closes it.
std::FILE* openForReading(const tstring& path);

}  // namespace FileUtils
