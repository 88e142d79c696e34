// Paths as the user types them, and the file system queries the image tool
// makes about them.
#pragma once

#include "tstrings.h"

namespace imagetool {

// The absolute form of a path typed by the user. Under Wine a path that
// starts with a single "/" is a Unix path, which Wine shows as drive Z:
// ("/home/me/app" is "Z:\home\me\app"); on Windows it keeps its meaning (the
// root of the current drive). Elsewhere a backslash separates as a slash.
tstring userPath(const tstring& typed);

// True unless `path` starts with a drive and a separator, is a UNC path or
// is absolute on this system: a relative path depends on the current
// directory of whoever uses it.
bool isRelativePath(const tstring& path);

// True when `path` is `dir` or lies below it; compared without regard to
// case, as on Windows.
bool isWithin(const tstring& path, const tstring& dir);

// `path` as seen from the directory `from`, both absolute, joined with
// slashes; names are compared as they are.
tstring relativePath(const tstring& from, const tstring& path);

// The directory that holds kivo-image.
tstring toolDir();

bool isDirectory(const tstring& path);
bool isFile(const tstring& path);
// True for a directory without any entry.
bool isEmptyDirectory(const tstring& path);
// The files (not directories) directly in `dir` whose names end in
// `suffix`, compared without regard to case.
tstring_array filesEndingWith(const tstring& dir, const tstring& suffix);

}  // namespace imagetool
