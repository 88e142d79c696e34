// An icon file (.ico) taken apart into the pieces that an executable's
// icon resources hold: one image per size and the group directory.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tstrings.h"

namespace imagetool {

struct IconImage {
    std::uint8_t width;
    std::uint8_t height;
    std::uint8_t colorCount;
    std::uint16_t planes;
    std::uint16_t bitCount;
    // The image as the file holds it (a bitmap or a PNG); it becomes one
    // RT_ICON resource.
    std::string data;
};

class IconFile {
public:
    // Fails (exit code 1) with "<path> is not an icon file: <reason>", or
    // when the file cannot be read.
    static IconFile load(const tstring& path);

    // The same from the file's bytes; a failure names `path`.
    static IconFile parse(const std::string& bytes, const tstring& path);

    const std::vector<IconImage>& images() const { return icons; }

    // The RT_GROUP_ICON resource: the directory of the images, which refer
    // to their RT_ICON resources by the ids firstId, firstId + 1, ...
    std::string groupResource(std::uint16_t firstId) const;

private:
    std::vector<IconImage> icons;
};

}  // namespace imagetool
