// Puts the texts that the WiX source carried as tokens into the installer
// database that wixl built, in one Windows code page, with msitools.
#pragma once

#include "MsiSource.h"

namespace imagetool {

// The first Windows code page that holds every text, or 0 when the texts
// need more than one.
unsigned codePageForTexts(const std::vector<std::pair<std::string, tstring>>& texts);

// Sets the database's code page and replaces every token in its tables
// with its text. `workDir` is a directory for the table files.
void restoreTexts(const tstring& msi, const WixSource& source, unsigned codePage, const tstring& workDir);

}  // namespace imagetool
