// The version resource (VS_VERSIONINFO) of a branded launcher: the fixed
// file information and one string table in US English, Unicode.
#pragma once

#include <optional>
#include <string>
#include <string_view>

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

// The file version and the texts of the first string table of a version
// resource; texts it lacks stay empty. Fails as a garbled program
// (PeImageError) for blocks that run past the bytes.
VersionTexts readVersionResource(std::string_view resource);

// The version resource of a program file, or nothing when it has none.
std::optional<VersionTexts> readProgramVersion(const tstring& path);

}  // namespace imagetool
