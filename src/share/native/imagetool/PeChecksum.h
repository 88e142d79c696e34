// The checksum of a PE image, as the loader verifies it for drivers and
// signing tools expect it for every image.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace imagetool {

// The one's-complement sum of the image's little-endian 16-bit words (an
// odd last byte counts as a word of its own), taking the four bytes of the
// checksum field at `checksumOffset` as zero, folded to 16 bits, plus the
// image's length.
std::uint32_t peChecksum(const std::string& image, std::size_t checksumOffset);

}  // namespace imagetool
