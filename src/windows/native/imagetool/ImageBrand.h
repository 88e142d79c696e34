// Brands a launcher copy: the user's icon in place of the launcher's, and a
// version resource, written with the system's resource update functions.
#pragma once

#include "ToolCommandLine.h"
#include "tstrings.h"

namespace imagetool {

// Replaces the icon and writes the version resource of the executable at
// `exePath` as `options` say, naming it `fileName` in the version texts; the manifest and everything else stay. The
// icon file is read before the executable is touched.
void brandLauncher(const tstring& exePath, const tstring& fileName, const BrandOptions& options);

// Reads and checks the icon file without using it, so that bad input fails
// before anything is written.
void checkIconFile(const tstring& iconPath);

}  // namespace imagetool
