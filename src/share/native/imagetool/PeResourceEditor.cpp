// Replaces the resource section of a PE32+ image, from bytes to bytes.
#include "PeResourceEditor.h"

#include <algorithm>

#include "ByteAccess.h"
#include "PeChecksum.h"
#include "PeImageError.h"
#include "ResourceSectionReader.h"
#include "ResourceSectionWriter.h"

namespace imagetool {

namespace {

std::string quoted(const PeSection& section) { return "\"" + section.name + "\""; }

std::uint32_t shifted(std::uint32_t value, std::int64_t delta) {
    const std::int64_t result = std::int64_t{value} + delta;
    if (result < 0 || result > 0xFFFFFFFFll) {
        failUnsupportedLayout("the new resources would not fit in the image's 4 GB");
    }
    return static_cast<std::uint32_t>(result);
}

bool hasRawData(const PeSection& section) { return section.sizeOfRawData != 0; }

// The file offset of an address within a section's raw data, or 0.
std::size_t fileOffsetOf(const PeHeaders& headers, std::uint32_t rva, std::size_t length) {
    const PeSection* section = headers.sectionAt(rva);
    if (!section || rva - section->virtualAddress > section->sizeOfRawData ||
        section->sizeOfRawData - (rva - section->virtualAddress) < length) {
        return 0;
    }
    return section->pointerToRawData + (rva - section->virtualAddress);
}

void writeSectionHeader(std::string& image, const PeSection& section) {
    putU32(image, section.headerOffset + pe_field::sectionVirtualSize, section.virtualSize);
    putU32(image, section.headerOffset + pe_field::sectionVirtualAddress, section.virtualAddress);
    putU32(image, section.headerOffset + pe_field::sectionSizeOfRawData, section.sizeOfRawData);
    putU32(image, section.headerOffset + pe_field::sectionPointerToRawData, section.pointerToRawData);
}

std::uint32_t sizeOfImage(const PeHeaders& headers, const std::vector<PeSection>& sections) {
    std::uint64_t end = alignUp(headers.sizeOfHeaders, headers.sectionAlignment);
    for (const PeSection& section : sections) {
        end = std::max(end,
                       alignUp(std::uint64_t{section.virtualAddress} + section.mappedSize(), headers.sectionAlignment));
    }
    if (end > 0xFFFFFFFFu) {
        failUnsupportedLayout("the new resources would not fit in the image's 4 GB");
    }
    return static_cast<std::uint32_t>(end);
}

}  // namespace

PeResourceEditor::PeResourceEditor(std::string bytes) : image(std::move(bytes)), headers(PeHeaders::read(image)) {
    if (!headers.directory(pe_directory::certificates).empty()) {
        throw PeImageError(PeProblem::signedImage, "it is signed");
    }
    const PeDataDirectory resources = headers.directory(pe_directory::resources);
    if (resources.empty()) {
        failUnsupportedLayout("it has no resource section");
    }
    const PeSection* section = headers.sectionAt(resources.rva);
    if (!section) {
        failNotAProgram("its resource directory lies outside every section");
    }
    if (section->virtualAddress != resources.rva) {
        failUnsupportedLayout("its resources share the section " + quoted(*section) + " with other data");
    }
    resourceIndex = static_cast<std::size_t>(section - headers.sections.data());
    checkLayout();
    const std::size_t length = std::min(section->mappedSize(), section->sizeOfRawData);
    tree = readResourceSection(image.substr(section->pointerToRawData, length), section->virtualAddress);
}

std::uint32_t PeResourceEditor::resourceRawEnd() const {
    return resourceSection().pointerToRawData + resourceSection().sizeOfRawData;
}

void PeResourceEditor::checkLayout() {
    const PeSection& resources = resourceSection();
    for (const PeSection& section : headers.sections) {
        if (&section == &resources) {
            continue;
        }
        if (section.virtualAddress < resources.virtualAddress) {
            checkSectionBefore(section);
        } else {
            checkSectionAfter(section);
        }
    }
    if (resources.sizeOfRawData % headers.fileAlignment != 0 && resourceRawEnd() < image.size()) {
        failUnsupportedLayout("the resource section's size is not a multiple of the file alignment");
    }
    checkDirectoriesOutsideResources();
    findFileOffsetsToShift();
}

void PeResourceEditor::checkSectionBefore(const PeSection& section) const {
    const PeSection& resources = resourceSection();
    const bool overlapsInMemory =
        std::uint64_t{section.virtualAddress} + section.mappedSize() > resources.virtualAddress;
    const bool overlapsInFile =
        hasRawData(section) && hasRawData(resources) &&
        section.pointerToRawData + std::uint64_t{section.sizeOfRawData} > resources.pointerToRawData;
    if (overlapsInMemory || overlapsInFile) {
        failUnsupportedLayout("the section " + quoted(section) + " overlaps the resources");
    }
}

// Only the base relocations may follow: nothing but their data directory
// refers to them, so they can move.
void PeResourceEditor::checkSectionAfter(const PeSection& section) const {
    const PeSection& resources = resourceSection();
    const PeDataDirectory relocations = headers.directory(pe_directory::baseRelocations);
    if (relocations.empty() || !section.containsRva(relocations.rva)) {
        failUnsupportedLayout("the section " + quoted(section) + " follows the resources and cannot be moved");
    }
    const std::uint64_t resourcesEnd =
        alignUp(std::uint64_t{resources.virtualAddress} + resources.mappedSize(), headers.sectionAlignment);
    if (section.virtualAddress < resourcesEnd || (hasRawData(section) && section.pointerToRawData < resourceRawEnd())) {
        failUnsupportedLayout("the section " + quoted(section) + " overlaps the resources");
    }
    if (section.pointerToRawData % headers.fileAlignment != 0) {
        failUnsupportedLayout("the section " + quoted(section) + " is not aligned as the header says");
    }
}

void PeResourceEditor::checkDirectoriesOutsideResources() const {
    for (std::size_t i = 0; i < headers.directories.size(); ++i) {
        const PeDataDirectory directory = headers.directories[i];
        if (i != pe_directory::resources && i != pe_directory::certificates && !directory.empty() &&
            resourceSection().containsRva(directory.rva)) {
            failUnsupportedLayout("the resource section also holds other tables of the program");
        }
    }
}

// The symbol table and debug data that lie behind the resources in the file
// move with everything behind them.
void PeResourceEditor::findFileOffsetsToShift() {
    const std::uint32_t start = resourceSection().pointerToRawData;
    std::vector<std::pair<std::size_t, std::uint32_t>> fields;
    fields.emplace_back(headers.fileHeaderOffset + pe_field::pointerToSymbolTable, headers.pointerToSymbolTable);
    const PeDataDirectory debug = headers.directory(pe_directory::debug);
    const std::size_t table = debug.empty() ? 0 : fileOffsetOf(headers, debug.rva, debug.size);
    const ByteReader bytes(image, "its debug directory is cut short");
    for (std::size_t at = 0; table != 0 && at + pe_field::debugEntrySize <= debug.size;
         at += pe_field::debugEntrySize) {
        const std::size_t field = table + at + pe_field::debugPointerToRawData;
        fields.emplace_back(field, bytes.u32(field));
    }
    for (const auto& [field, offset] : fields) {
        if (offset >= start && offset < resourceRawEnd()) {
            failUnsupportedLayout("the resource section also holds other data of the program");
        }
        if (offset >= resourceRawEnd()) {
            fileOffsetFields.push_back(field);
        }
    }
}

std::string PeResourceEditor::withResources(const ResourceTree& resources) const {
    const PeSection& old = resourceSection();
    std::string section = writeResourceSection(resources, old.virtualAddress);
    const std::uint32_t virtualSize = static_cast<std::uint32_t>(section.size());
    padTo(section, headers.fileAlignment);
    const std::int64_t fileDelta = std::int64_t(section.size()) - old.sizeOfRawData;
    const std::int64_t memoryDelta =
        std::int64_t(alignUp(std::uint64_t{old.virtualAddress} + virtualSize, headers.sectionAlignment)) -
        std::int64_t(alignUp(std::uint64_t{old.virtualAddress} + old.mappedSize(), headers.sectionAlignment));

    std::string out = image.substr(0, old.pointerToRawData) + section + image.substr(resourceRawEnd());
    std::vector<PeSection> sections = headers.sections;
    for (PeSection& moved : sections) {
        if (moved.virtualAddress > old.virtualAddress) {
            moved.virtualAddress = shifted(moved.virtualAddress, memoryDelta);
            moved.pointerToRawData = hasRawData(moved) ? shifted(moved.pointerToRawData, fileDelta) : 0;
        }
    }
    sections[resourceIndex].virtualSize = virtualSize;
    sections[resourceIndex].sizeOfRawData = static_cast<std::uint32_t>(section.size());
    for (const PeSection& changed : sections) {
        writeSectionHeader(out, changed);
    }
    for (std::size_t i = 0; i < headers.directories.size(); ++i) {
        const PeSection* holder = headers.sectionAt(headers.directories[i].rva);
        if (i != pe_directory::certificates && holder && holder->virtualAddress > old.virtualAddress) {
            putU32(out, headers.dataDirectoryOffset + i * 8, shifted(headers.directories[i].rva, memoryDelta));
        }
    }
    putU32(out, headers.dataDirectoryOffset + pe_directory::resources * 8 + 4, virtualSize);
    const ByteReader original(image, "it is cut short");
    for (std::size_t field : fileOffsetFields) {
        const std::size_t where = field < old.pointerToRawData ? field : shifted(field, fileDelta);
        putU32(out, where, shifted(original.u32(field), fileDelta));
    }
    putU32(out, headers.optionalHeaderOffset + pe_field::sizeOfImage, sizeOfImage(headers, sections));
    if (old.characteristics & sectionHoldsInitializedData) {
        const std::int64_t initialized = std::int64_t{headers.sizeOfInitializedData} + fileDelta;
        putU32(out, headers.optionalHeaderOffset + pe_field::sizeOfInitializedData,
               static_cast<std::uint32_t>(std::clamp<std::int64_t>(initialized, 0, 0xFFFFFFFFll)));
    }
    putU32(out, headers.checksumOffset, peChecksum(out, headers.checksumOffset));
    return out;
}

}  // namespace imagetool
