// Replaces the resource section of a PE32+ image, from bytes to bytes: the
// sections after it move behind the new one, and the headers, the data
// directories and the checksum follow.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "PeHeaders.h"
#include "ResourceTree.h"

namespace imagetool {

class PeResourceEditor {
public:
    // Reads the image's headers and resources. Fails (PeImageError) for bytes
    // that are not a PE32+ image or are garbled, for a signed image, and for
    // a layout that a rewrite could break: resources that share their
    // section, or sections after them other than the base relocations.
    explicit PeResourceEditor(std::string image);

    const ResourceTree& resources() const { return tree; }

    // The image with `resources` in place of its resource section. The same
    // image and resources give the same bytes.
    std::string withResources(const ResourceTree& resources) const;

private:
    void checkLayout();
    void checkSectionBefore(const PeSection& section) const;
    void checkSectionAfter(const PeSection& section) const;
    void checkDirectoriesOutsideResources() const;
    void findFileOffsetsToShift();
    const PeSection& resourceSection() const { return headers.sections[resourceIndex]; }
    std::uint32_t resourceRawEnd() const;

    std::string image;
    PeHeaders headers;
    std::size_t resourceIndex = 0;
    // Fields that hold file offsets behind the resource section.
    std::vector<std::size_t> fileOffsetFields;
    ResourceTree tree;
};

}  // namespace imagetool
