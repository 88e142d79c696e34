// Path operations: joining and taking apart paths as text, the existence
// test and the absolute form of a path.
#pragma once

#include "tstrings.h"

namespace FileUtils {

tstring combinePath(const tstring& base, const tstring& part);
tstring& appendPath(tstring& path, const tstring& part);
tstring stripTrailingSeparators(const tstring& path);
tstring parentDir(const tstring& path);
tstring fileName(const tstring& path);
tstring withoutExtension(const tstring& path);

bool exists(const tstring& path);
tstring toAbsolutePath(const tstring& path);

}  // namespace FileUtils
