// Creates an application image: the launcher copy named after the
// application, its files and configuration, and the runtime, built beside
// the destination and moved into place only when all of it succeeded.
#pragma once

#include "ToolCommandLine.h"

namespace imagetool {

// Creates the image, writes a one-line summary and then checks the image;
// returns the check's exit code.
int createImage(const CreateOptions& options);

// Brands an existing launcher in place (through a copy that replaces it
// only when branding succeeded) and writes a one-line summary.
int brandExistingLauncher(const BrandCommand& command);

}  // namespace imagetool
