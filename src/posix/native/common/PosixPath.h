// Paths as Linux takes them: UTF-8, with the backslashes of image paths
// turned into the slashes that separate here.
#pragma once

#include <string>

#include "tstrings.h"

namespace posixpath {

inline tstring slashed(const tstring& path) { return tstrings::replace(path, L"\\", L"/"); }

inline std::string systemPath(const tstring& path) { return tstrings::toUtf8(slashed(path)); }

}  // namespace posixpath
