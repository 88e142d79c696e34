// Makes a Windows Installer package of an application image with wixl:
// per user by default, with shortcuts, an Installed-apps entry, upgrades
// and optional file associations, signed in the order that keeps every
// signature valid.
#pragma once

#include "ToolCommandLine.h"

namespace imagetool {

int packageImage(const PackageOptions& options);

}  // namespace imagetool
