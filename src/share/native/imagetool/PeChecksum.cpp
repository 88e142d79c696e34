// The checksum of a PE image.
#include "PeChecksum.h"

namespace imagetool {

std::uint32_t peChecksum(const std::string& image, std::size_t checksumOffset) {
    const auto byteAt = [&](std::size_t at) -> std::uint32_t {
        const bool inChecksumField = at >= checksumOffset && at - checksumOffset < 4;
        return at < image.size() && !inChecksumField ? static_cast<unsigned char>(image[at]) : 0;
    };
    std::uint64_t sum = 0;
    for (std::size_t at = 0; at < image.size(); at += 2) {
        sum += byteAt(at) | (byteAt(at + 1) << 8);
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<std::uint32_t>((sum & 0xFFFF) + image.size());
}

}  // namespace imagetool
