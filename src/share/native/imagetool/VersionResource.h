// The version resource (VS_VERSIONINFO) of a branded launcher: the fixed
// file information and one string table in US English, Unicode.
#pragma once

#include <string>

#include "NameRules.h"
#include "tstrings.h"

namespace imagetool {

struct VersionTexts {
    FileVersion version;
    tstring productName;
    tstring company;
    tstring description;
    tstring copyright;
    tstring originalFileName;
    tstring internalName;
};

// The language of the string table and of the resource itself.
const unsigned short versionLanguage = 0x0409;
const unsigned short versionCodePage = 1200;

// The resource's bytes as UpdateResourceW takes them. Empty texts are left
// out of the string table.
std::string buildVersionResource(const VersionTexts& texts);

}  // namespace imagetool
