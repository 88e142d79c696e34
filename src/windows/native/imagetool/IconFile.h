// An icon file (.ico) taken apart into the pieces that an executable's
// icon resources hold: one image per size and the group directory.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "tstrings.h"

namespace imagetool {

struct IconImage {
    BYTE width;
    BYTE height;
    BYTE colorCount;
    WORD planes;
    WORD bitCount;
    // The image as the file holds it (a bitmap or a PNG); it becomes one
    // RT_ICON resource.
    std::string data;
};

class IconFile {
public:
    // Fails (exit code 1) with "<path> is not an icon file: <reason>", or
    // when the file cannot be read.
    static IconFile load(const tstring& path);

    const std::vector<IconImage>& images() const { return icons; }

    // The RT_GROUP_ICON resource: the directory of the images, which refer
    // to their RT_ICON resources by the ids firstId, firstId + 1, ...
    std::string groupResource(WORD firstId) const;

private:
    std::vector<IconImage> icons;
};

}  // namespace imagetool
