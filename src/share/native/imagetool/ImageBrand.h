// Brands a launcher copy: the user's icon in place of the launcher's, and a
// version resource, written by the image tool's own resource section writer.
#pragma once

#include "ToolCommandLine.h"
#include "tstrings.h"

namespace imagetool {

// Replaces the icon and writes the version resource of the executable at
// `exePath` as `options` say, naming it `fileName` in the version texts; the
// manifest and every other resource stay byte for byte. Messages name the
// launcher `shownPath`, the file the user knows, which `exePath` may be a
// working copy of. The icon file is read before the executable is touched.
// Fails (exit code 1) for a file that is not a 64-bit Windows program, for a
// signed one, and for a layout that cannot be rewritten safely.
void brandLauncher(const tstring& exePath, const tstring& shownPath, const tstring& fileName,
                   const BrandOptions& options);

// Reads and checks the icon file without using it, so that bad input fails
// before anything is written.
void checkIconFile(const tstring& iconPath);

}  // namespace imagetool
