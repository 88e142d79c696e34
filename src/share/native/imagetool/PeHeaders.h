// The headers of a PE32+ (64-bit) image that a rewrite of its resource
// section reads and changes: where each field lies in the file, and the
// values read from there with bounds checks.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace imagetool {

// The fixed values and sizes of the format.
namespace pe_format {
const std::uint16_t dosSignature = 0x5A4D;     // "MZ"
const std::uint32_t peSignature = 0x00004550;  // "PE\0\0"
const std::uint16_t pe32Magic = 0x010B;
const std::uint16_t pe32PlusMagic = 0x020B;
const std::size_t dosPeOffsetField = 0x3C;
const std::size_t fileHeaderSize = 20;
const std::size_t sectionHeaderSize = 40;
const std::size_t maxDirectories = 16;
const std::size_t dataDirectorySize = 8;
const std::size_t checksumSize = 4;
// The largest file the loader maps.
const std::uint64_t maxImageFileSize = 0x7FFFFFFF;
}  // namespace pe_format

namespace pe_directory {
const std::size_t exports = 0;
const std::size_t imports = 1;
const std::size_t resources = 2;
const std::size_t certificates = 4;
const std::size_t baseRelocations = 5;
const std::size_t debug = 6;
}  // namespace pe_directory

const std::uint32_t sectionHoldsInitializedData = 0x00000040u;

struct PeDataDirectory {
    std::uint32_t rva = 0;
    std::uint32_t size = 0;

    bool empty() const { return rva == 0 && size == 0; }
};

struct PeSection {
    std::string name;
    std::uint32_t virtualSize = 0;
    std::uint32_t virtualAddress = 0;
    std::uint32_t sizeOfRawData = 0;
    std::uint32_t pointerToRawData = 0;
    std::uint32_t characteristics = 0;
    // Where the section's header lies in the file.
    std::size_t headerOffset = 0;

    // How far the section extends in memory (some linkers leave the virtual
    // size zero).
    std::uint32_t mappedSize() const { return virtualSize != 0 ? virtualSize : sizeOfRawData; }
    bool containsRva(std::uint32_t rva) const { return rva >= virtualAddress && rva - virtualAddress < mappedSize(); }
};

struct PeHeaders {
    // File offsets of the fields that a rewrite changes.
    std::size_t fileHeaderOffset = 0;
    std::size_t optionalHeaderOffset = 0;
    std::size_t checksumOffset = 0;
    std::size_t dataDirectoryOffset = 0;

    std::uint32_t pointerToSymbolTable = 0;
    std::uint32_t sizeOfInitializedData = 0;
    std::uint32_t sectionAlignment = 0;
    std::uint32_t fileAlignment = 0;
    std::uint32_t sizeOfHeaders = 0;
    std::vector<PeDataDirectory> directories;
    std::vector<PeSection> sections;

    // The directory, or an empty one when the header has fewer.
    PeDataDirectory directory(std::size_t index) const;
    // The section that maps `rva`, or null.
    const PeSection* sectionAt(std::uint32_t rva) const;

    // Fails as not a program (PeImageError) unless `image` is a PE32+ image
    // whose headers and sections lie within it.
    static PeHeaders read(const std::string& image);
};

// Where the fields lie within the headers.
namespace pe_field {
const std::size_t pointerToSymbolTable = 8;   // in the file header
const std::size_t sizeOfInitializedData = 8;  // in the optional header from here on
const std::size_t sizeOfImage = 56;
const std::size_t checksum = 64;
const std::size_t dataDirectories = 112;
const std::size_t sectionVirtualSize = 8;  // in a section header from here on
const std::size_t sectionVirtualAddress = 12;
const std::size_t sectionSizeOfRawData = 16;
const std::size_t sectionPointerToRawData = 20;
const std::size_t debugPointerToRawData = 24;  // in a debug directory entry
const std::size_t debugEntrySize = 28;
}  // namespace pe_field

}  // namespace imagetool
