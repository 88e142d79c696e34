// What the launcher finds only on the machine it runs on, as far as the
// platform the image tool runs on can tell.
#pragma once

#include <vector>

#include "tstrings.h"

namespace imagetool {

// A directory where the launcher looks for a per-user configuration
// before app\: a path on this machine, or the Windows form
// ("%LOCALAPPDATA%\<package>") of one that only the user's machine has.
struct PerUserConfigDir {
    tstring dir;
    bool onThisMachine;
};

// The per-user configuration directories of an application with a
// package name, in the order the launcher looks.
std::vector<PerUserConfigDir> perUserConfigDirs(const tstring& packageName);

// True when the loader finds the library `name` among the system's own.
bool isSystemLibrary(const tstring& name);

// How a report names where such a library is found ("system"), and the
// place where it was looked for ("the system directory").
extern const wchar_t systemLibraryLabel[];
extern const wchar_t systemLibraryPlace[];

}  // namespace imagetool
