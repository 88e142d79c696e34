// Lays out a resource tree as the bytes of a resource section.
#pragma once

#include <cstdint>
#include <string>

#include "ResourceTree.h"

namespace imagetool {

// The section's bytes for an image that maps them at `sectionRva`: the
// directory tables (root, types, names), the names' strings, the data
// entries and the data, each data entry and each resource's data on an
// 8-byte boundary. Entries are in the order of the loader's lookups: named
// entries by name, then numbered ones ascending. The same tree always gives
// the same bytes. A tree too large for a section fails as an unsupported
// layout (PeImageError).
std::string writeResourceSection(const ResourceTree& tree, std::uint32_t sectionRva);

}  // namespace imagetool
