// The on-disk layout of a resource section's directory: tables of entries
// leading through type, name and language to data entries.
#pragma once

#include <cstddef>
#include <cstdint>

namespace imagetool::resource_format {

// Characteristics, time stamp, major and minor version, then the number of
// named entries and of numbered entries.
const std::size_t tableHeaderSize = 16;
const std::size_t namedCountOffset = 12;
const std::size_t idCountOffset = 14;

// The name field (a number, or the flag and a string's offset), then the
// target (a data entry's offset, or the flag and a table's offset).
const std::size_t entrySize = 8;
const std::uint32_t nameIsString = 0x80000000u;
const std::uint32_t targetIsTable = 0x80000000u;

// The data's address (relative to the image), size, code page and a
// reserved field.
const std::size_t dataEntrySize = 16;
const std::size_t dataSizeOffset = 4;
const std::size_t codePageOffset = 8;

// Data entries and the data itself start on this boundary.
const std::size_t dataAlignment = 8;

// Offsets within the section must leave the flag bits free.
const std::uint64_t maxSectionSize = 0x80000000u;

}  // namespace imagetool::resource_format
