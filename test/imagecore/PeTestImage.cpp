// Small PE32+ images built in memory for the tests of the image tool's
// portable core.
#include "PeTestImage.h"

#include <vector>

#include "ResourceSectionWriter.h"

namespace testing_support {

namespace {

const std::size_t peOffset = 0x40;
const std::size_t optionalOffset = peOffset + 24;
const std::size_t optionalSize = 112 + 16 * 8;
const std::size_t sectionTable = optionalOffset + optionalSize;
const std::uint32_t headersSize = 0x400;

void put(std::string& bytes, std::size_t offset, std::uint64_t value, std::size_t width) {
    for (std::size_t i = 0; i < width; ++i) {
        bytes[offset + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    }
}

std::uint32_t aligned(std::size_t size, std::uint32_t alignment) {
    return static_cast<std::uint32_t>((size + alignment - 1) / alignment * alignment);
}

struct Section {
    std::string name;
    std::string bytes;
    std::uint32_t characteristics;
    std::uint32_t rva = 0;
    std::uint32_t raw = 0;
};

void writeSectionHeader(std::string& image, std::size_t index, const Section& section) {
    const std::size_t at = sectionTable + index * 40;
    image.replace(at, section.name.size(), section.name);
    put(image, at + 8, section.bytes.size(), 4);
    put(image, at + 12, section.rva, 4);
    put(image, at + 16, aligned(section.bytes.size(), testFileAlignment), 4);
    put(image, at + 20, section.raw, 4);
    put(image, at + 36, section.characteristics, 4);
}

std::vector<Section> sectionsOf(const TestImageLayout& layout) {
    std::vector<Section> sections;
    sections.push_back({".text", std::string(0x180, '\xC3'), 0x60000020u});
    sections.push_back({".rsrc", imagetool::writeResourceSection(layout.resources, testResourceRva), 0xC0000040u});
    if (layout.withRelocations) {
        sections.push_back({".reloc", testRelocations(), 0x42000040u});
    }
    if (!layout.sectionBehind.empty()) {
        sections.push_back({layout.sectionBehind, std::string(0x40, '\x5A'), 0xC0000040u});
    }
    std::uint32_t rva = 0x1000;
    std::uint32_t raw = headersSize;
    for (Section& section : sections) {
        section.rva = rva;
        section.raw = raw;
        rva += aligned(section.bytes.size(), testSectionAlignment);
        raw += aligned(section.bytes.size(), testFileAlignment);
    }
    return sections;
}

void writeHeaders(std::string& image, const TestImageLayout& layout, const std::vector<Section>& sections) {
    image.replace(0, 2, "MZ");
    put(image, 0x3C, peOffset, 4);
    image.replace(peOffset, 4, std::string("PE\0\0", 4));
    put(image, peOffset + 4, 0x8664, 2);
    put(image, peOffset + 6, sections.size(), 2);
    put(image, peOffset + 20, optionalSize, 2);
    put(image, peOffset + 22, 0x0022, 2);
    put(image, optionalOffset, 0x020B, 2);
    std::uint32_t initialized = 0;
    for (const Section& section : sections) {
        initialized += section.name == ".text" ? 0 : aligned(section.bytes.size(), testFileAlignment);
    }
    put(image, optionalOffset + 8, initialized, 4);
    put(image, optionalOffset + 16, 0x1000, 4);
    put(image, optionalOffset + 24, 0x140000000ull, 8);
    put(image, optionalOffset + 32, testSectionAlignment, 4);
    put(image, optionalOffset + 36, testFileAlignment, 4);
    put(image, optionalOffset + 56, sections.back().rva + aligned(sections.back().bytes.size(), testSectionAlignment),
        4);
    put(image, optionalOffset + 60, headersSize, 4);
    put(image, optionalOffset + 68, 3, 2);
    put(image, optionalOffset + 108, 16, 4);
    put(image, testDirectoryField(2), sections[1].rva, 4);
    put(image, testDirectoryField(2) + 4, sections[1].bytes.size(), 4);
    if (layout.withRelocations) {
        put(image, testDirectoryField(5), sections[2].rva, 4);
        put(image, testDirectoryField(5) + 4, sections[2].bytes.size(), 4);
    }
    if (layout.signedImage) {
        put(image, testDirectoryField(4), image.size(), 4);
        put(image, testDirectoryField(4) + 4, 0x100, 4);
    }
    for (std::size_t i = 0; i < sections.size(); ++i) {
        writeSectionHeader(image, i, sections[i]);
    }
}

imagetool::ResourceData resource(const std::string& bytes) { return {bytes, 0}; }

}  // namespace

std::string testRelocations() {
    std::string block(12, '\0');
    put(block, 0, 0x1000, 4);
    put(block, 4, 12, 4);
    put(block, 8, 0xA010, 2);
    put(block, 10, 0xA020, 2);
    return block;
}

std::string buildTestImage(const TestImageLayout& layout) {
    const std::vector<Section> sections = sectionsOf(layout);
    std::string image(sections.back().raw + aligned(sections.back().bytes.size(), testFileAlignment), '\0');
    writeHeaders(image, layout, sections);
    for (const Section& section : sections) {
        image.replace(section.raw, section.bytes.size(), section.bytes);
    }
    return image;
}

imagetool::ResourceTree launcherLikeResources() {
    using imagetool::resource_type::groupIcon;
    using imagetool::resource_type::icon;
    imagetool::ResourceTree tree;
    tree.put(icon, std::uint32_t{1}, 0x0409, resource(std::string(40, '\x11') + "16"));
    tree.put(icon, std::uint32_t{2}, 0x0409, resource(std::string(40, '\x22') + "32"));
    std::string group("\0\0\1\0\2\0", 6);
    for (char id : {'\1', '\2'}) {
        group += std::string(12, '\x20') + id + '\0';
    }
    tree.put(groupIcon, std::u16string(u"LAUNCHER_ICON"), 0x0409, resource(group));
    tree.put(imagetool::resource_type::manifest, std::uint32_t{1}, 0x0409,
             {"<?xml version=\"1.0\"?>\r\n<assembly manifestVersion=\"1.0\"/>\r\n", 1252});
    tree.put(std::u16string(u"CONFIG"), std::u16string(u"\u00c9t\u00e9"), 0x040C, resource("fr"));
    tree.put(std::u16string(u"CONFIG"), std::u16string(u"\u00c9t\u00e9"), 0x0407, resource("de"));
    tree.put(std::uint32_t{10}, std::uint32_t{7}, 0, resource(std::string()));
    return tree;
}

std::uint32_t readU32(const std::string& bytes, std::size_t offset) {
    return readU16(bytes, offset) | (std::uint32_t{readU16(bytes, offset + 2)} << 16);
}

std::uint16_t readU16(const std::string& bytes, std::size_t offset) {
    const auto byte = [&](std::size_t at) {
        return static_cast<std::uint16_t>(static_cast<unsigned char>(bytes.at(at)));
    };
    return static_cast<std::uint16_t>(byte(offset) | (byte(offset + 1) << 8));
}

TestSection findSection(const std::string& image, const std::string& name) {
    const std::size_t count = readU16(image, peOffset + 6);
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t at = sectionTable + i * 40;
        if (image.compare(at, 8, (name + std::string(8, '\0')).substr(0, 8)) == 0) {
            return {readU32(image, at + 8), readU32(image, at + 12), readU32(image, at + 16), readU32(image, at + 20),
                    true};
        }
    }
    return {};
}

std::size_t testOptionalField(std::size_t offset) { return optionalOffset + offset; }

std::size_t testDirectoryField(std::size_t index) { return optionalOffset + 112 + index * 8; }

}  // namespace testing_support
