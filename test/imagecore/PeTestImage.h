// Small PE32+ images built in memory for the tests of the image tool's
// portable core: headers, a .text section, a .rsrc section and, behind it,
// a .reloc section, laid out as the cross linker lays out the launcher.
#pragma once

#include <cstdint>
#include <string>

#include "ResourceTree.h"

namespace testing_support {

const std::uint32_t testSectionAlignment = 0x1000;
const std::uint32_t testFileAlignment = 0x200;
const std::uint32_t testResourceRva = 0x2000;
const std::size_t testChecksumOffset = 0x40 + 24 + 64;

struct TestImageLayout {
    imagetool::ResourceTree resources;
    bool withRelocations = true;
    // Fills the certificate table's data directory.
    bool signedImage = false;
    // Adds a data section of this name behind .reloc.
    std::string sectionBehind;
};

std::string buildTestImage(const TestImageLayout& layout);

// The relocation block that buildTestImage puts in .reloc.
std::string testRelocations();

// A resource tree like the launcher's: a named icon group, its images, the
// manifest, and a few names and languages besides.
imagetool::ResourceTree launcherLikeResources();

// A section header of an image, read with no help from the code under test.
struct TestSection {
    std::uint32_t virtualSize = 0;
    std::uint32_t virtualAddress = 0;
    std::uint32_t sizeOfRawData = 0;
    std::uint32_t pointerToRawData = 0;
    bool found = false;
};

TestSection findSection(const std::string& image, const std::string& name);

std::uint32_t readU32(const std::string& bytes, std::size_t offset);
std::uint16_t readU16(const std::string& bytes, std::size_t offset);

// Offsets of optional header fields in images from buildTestImage.
std::size_t testOptionalField(std::size_t offset);
std::size_t testDirectoryField(std::size_t index);

}  // namespace testing_support
