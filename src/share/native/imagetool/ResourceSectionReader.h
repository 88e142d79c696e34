// Reads the resource tree out of the bytes of a resource section.
#pragma once

#include <cstdint>
#include <string>

#include "ResourceTree.h"

namespace imagetool {

// `section` holds the section's bytes, which the image maps at `sectionRva`;
// every resource's data must lie within them. A directory that runs past the
// bytes, refers to a table twice, lists a name twice, nests deeper or
// shallower than type, name and language, or has data outside the section
// fails as a garbled program (PeImageError).
ResourceTree readResourceSection(const std::string& section, std::uint32_t sectionRva);

}  // namespace imagetool
