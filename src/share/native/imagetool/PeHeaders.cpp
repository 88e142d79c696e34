// The headers of a PE32+ image that a rewrite of its resource section reads
// and changes.
#include "PeHeaders.h"

#include "ByteAccess.h"
#include "PeImageError.h"

namespace imagetool {

namespace {

using namespace pe_format;

const std::size_t maxSections = 96;

bool isPowerOfTwo(std::uint32_t value) { return value != 0 && (value & (value - 1)) == 0; }

// The name as the tool shows it: up to eight bytes, printable ones only.
std::string sectionName(const std::string& field) {
    std::string name;
    for (char c : field) {
        if (c == '\0') {
            break;
        }
        name.push_back(c >= ' ' && c <= '~' ? c : '?');
    }
    return name;
}

PeSection readSection(const ByteReader& bytes, std::size_t offset) {
    PeSection section;
    section.name = sectionName(bytes.slice(offset, 8));
    section.virtualSize = bytes.u32(offset + pe_field::sectionVirtualSize);
    section.virtualAddress = bytes.u32(offset + pe_field::sectionVirtualAddress);
    section.sizeOfRawData = bytes.u32(offset + pe_field::sectionSizeOfRawData);
    section.pointerToRawData = bytes.u32(offset + pe_field::sectionPointerToRawData);
    section.characteristics = bytes.u32(offset + 36);
    section.headerOffset = offset;
    if (std::uint64_t{section.pointerToRawData} + section.sizeOfRawData > bytes.size()) {
        failNotAProgram("the section \"" + section.name + "\" lies outside the file");
    }
    return section;
}

void readOptionalHeader(const ByteReader& bytes, std::size_t optionalSize, PeHeaders& headers) {
    const std::size_t at = headers.optionalHeaderOffset;
    if (bytes.u16(at) != pe32PlusMagic) {
        failNotAProgram("it is not a 64-bit program");
    }
    const std::uint32_t directoryCount = bytes.u32(at + 108);
    if (optionalSize < pe_field::dataDirectories || directoryCount > maxDirectories ||
        optionalSize < pe_field::dataDirectories + directoryCount * 8) {
        failNotAProgram("its optional header is garbled");
    }
    bytes.require(at, optionalSize);
    headers.sizeOfInitializedData = bytes.u32(at + pe_field::sizeOfInitializedData);
    headers.sectionAlignment = bytes.u32(at + 32);
    headers.fileAlignment = bytes.u32(at + 36);
    headers.sizeOfHeaders = bytes.u32(at + 60);
    headers.checksumOffset = at + pe_field::checksum;
    headers.dataDirectoryOffset = at + pe_field::dataDirectories;
    if (!isPowerOfTwo(headers.sectionAlignment) || !isPowerOfTwo(headers.fileAlignment) ||
        headers.fileAlignment > headers.sectionAlignment) {
        failNotAProgram("its section alignment is not valid");
    }
    for (std::uint32_t i = 0; i < directoryCount; ++i) {
        const std::size_t entry = headers.dataDirectoryOffset + i * 8;
        headers.directories.push_back({bytes.u32(entry), bytes.u32(entry + 4)});
    }
}

}  // namespace

PeDataDirectory PeHeaders::directory(std::size_t index) const {
    return index < directories.size() ? directories[index] : PeDataDirectory{};
}

const PeSection* PeHeaders::sectionAt(std::uint32_t rva) const {
    for (const PeSection& section : sections) {
        if (section.containsRva(rva)) {
            return &section;
        }
    }
    return nullptr;
}

PeHeaders PeHeaders::read(const std::string& image) {
    const ByteReader bytes(image, "it is cut short");
    if (image.size() < 2 || bytes.u16(0) != dosSignature) {
        failNotAProgram("it does not start with \"MZ\"");
    }
    PeHeaders headers;
    const std::size_t peOffset = bytes.u32(dosPeOffsetField);
    if (bytes.u32(peOffset) != peSignature) {
        failNotAProgram("it has no PE header");
    }
    headers.fileHeaderOffset = peOffset + 4;
    const std::size_t sectionCount = bytes.u16(headers.fileHeaderOffset + 2);
    headers.pointerToSymbolTable = bytes.u32(headers.fileHeaderOffset + pe_field::pointerToSymbolTable);
    const std::size_t optionalSize = bytes.u16(headers.fileHeaderOffset + 16);
    headers.optionalHeaderOffset = headers.fileHeaderOffset + fileHeaderSize;
    readOptionalHeader(bytes, optionalSize, headers);
    if (sectionCount > maxSections) {
        failNotAProgram("it has more than 96 sections");
    }
    const std::size_t sectionTable = headers.optionalHeaderOffset + optionalSize;
    bytes.require(sectionTable, sectionCount * sectionHeaderSize);
    const std::size_t headersEnd = sectionTable + sectionCount * sectionHeaderSize;
    for (std::size_t i = 0; i < sectionCount; ++i) {
        headers.sections.push_back(readSection(bytes, sectionTable + i * sectionHeaderSize));
        const PeSection& section = headers.sections.back();
        // A rewrite puts new section data where the old data was; data
        // that overlaps the headers would overwrite them.
        if (section.sizeOfRawData != 0 && section.pointerToRawData < headersEnd) {
            failNotAProgram("the data of the section \"" + section.name + "\" overlaps the headers");
        }
    }
    return headers;
}

}  // namespace imagetool
