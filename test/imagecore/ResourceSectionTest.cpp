// The resource section's reader and writer: trees survive the round trip,
// the layout is what the loader's lookups need, and garbled sections are
// refused without reading outside them.
#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "PeImageError.h"
#include "PeTestImage.h"
#include "ResourceSectionReader.h"
#include "ResourceSectionWriter.h"

using imagetool::PeImageError;
using imagetool::PeProblem;
using imagetool::readResourceSection;
using imagetool::ResourceName;
using imagetool::ResourceTree;
using imagetool::writeResourceSection;
using testing_support::readU16;
using testing_support::readU32;

namespace {

const std::uint32_t rva = 0x7000;

struct TreeCase {
    const char* title;
    ResourceTree tree;
};

void PrintTo(const TreeCase& c, std::ostream* os) { *os << c.title; }

ResourceTree treeOf(std::initializer_list<std::tuple<ResourceName, ResourceName, std::uint16_t, std::string>> items) {
    ResourceTree tree;
    for (const auto& [type, name, language, bytes] : items) {
        tree.put(type, name, language, {bytes, 0});
    }
    return tree;
}

class ResourceSectionRoundTripTest : public testing::TestWithParam<TreeCase> {};

// The reason a garbled section is refused with.
std::string refusal(const std::string& section) {
    try {
        readResourceSection(section, rva);
    } catch (const PeImageError& error) {
        EXPECT_EQ(error.problem(), PeProblem::notAProgram);
        return error.what();
    }
    return "(accepted)";
}

std::string withU32(std::string bytes, std::size_t at, std::uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i) {
        bytes[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    }
    return bytes;
}

// A section with one type, one name and one language: the root table at 0
// (its entry at 16), the type's at 24 (entry at 40), the name's at 48
// (entry at 64), the data entry at 72, the data at 88.
const std::string oneResource =
    writeResourceSection(treeOf({{std::uint32_t{3}, std::uint32_t{1}, 0x409, "data"}}), rva);

// The offsets of the data entries, found by walking the three levels.
std::vector<std::size_t> dataEntryOffsets(const std::string& section) {
    const auto targets = [&](std::size_t table) {
        std::vector<std::size_t> found;
        const std::size_t count = std::size_t{readU16(section, table + 12)} + readU16(section, table + 14);
        for (std::size_t i = 0; i < count; ++i) {
            found.push_back(readU32(section, table + 16 + i * 8 + 4) & 0x7FFFFFFFu);
        }
        return found;
    };
    std::vector<std::size_t> entries;
    for (std::size_t type : targets(0)) {
        for (std::size_t name : targets(type)) {
            for (std::size_t language : targets(name)) {
                entries.push_back(language);
            }
        }
    }
    return entries;
}

}  // namespace

TEST_P(ResourceSectionRoundTripTest, ReadsBackTheTreeItWrote) {
    const std::string section = writeResourceSection(GetParam().tree, rva);

    EXPECT_EQ(readResourceSection(section, rva), GetParam().tree);
    EXPECT_EQ(writeResourceSection(GetParam().tree, rva), section);
}

INSTANTIATE_TEST_SUITE_P(
    Trees, ResourceSectionRoundTripTest,
    testing::Values(TreeCase{"Empty", ResourceTree()},
                    TreeCase{"OneNumbered", treeOf({{std::uint32_t{16}, std::uint32_t{1}, 0x409, "v"}})},
                    TreeCase{"LauncherLike", testing_support::launcherLikeResources()},
                    TreeCase{"SeveralLanguages", treeOf({{std::uint32_t{6}, std::uint32_t{1}, 0x409, "en"},
                                                         {std::uint32_t{6}, std::uint32_t{1}, 0x407, "de"},
                                                         {std::uint32_t{6}, std::uint32_t{1}, 0, "neutral"}})},
                    TreeCase{"NamesAndIdsMixed", treeOf({{std::u16string(u"B"), std::uint32_t{2}, 0, "b2"},
                                                         {std::u16string(u"B"), std::u16string(u"x"), 0, "bx"},
                                                         {std::u16string(u"A"), std::u16string(u"\u65e5"), 1, ""},
                                                         {std::uint32_t{0xFFFF}, std::uint32_t{0x1234}, 0, "z"}})}),
    [](const testing::TestParamInfo<TreeCase>& info) { return std::string(info.param.title); });

TEST(ResourceSectionTest, PutsNamedEntriesFirstByNameThenIdsAscending) {
    const ResourceTree tree = treeOf({{std::uint32_t{24}, std::uint32_t{1}, 0, "m"},
                                      {std::u16string(u"b"), std::uint32_t{1}, 0, "b"},
                                      {std::uint32_t{3}, std::uint32_t{1}, 0, "i"},
                                      {std::u16string(u"B"), std::uint32_t{1}, 0, "B"}});

    const std::string section = writeResourceSection(tree, rva);

    EXPECT_EQ(readU16(section, 12), 2);
    EXPECT_EQ(readU16(section, 14), 2);
    const auto nameAt = [&](std::size_t entry) {
        const std::uint32_t field = readU32(section, 16 + entry * 8);
        const std::size_t offset = field & 0x7FFFFFFFu;
        return (field & 0x80000000u) ? std::string(1, static_cast<char>(readU16(section, offset + 2)))
                                     : std::to_string(field);
    };
    EXPECT_EQ(nameAt(0), "B");
    EXPECT_EQ(nameAt(1), "b");
    EXPECT_EQ(nameAt(2), "3");
    EXPECT_EQ(nameAt(3), "24");
}

TEST(ResourceSectionTest, AlignsDataEntriesAndDataToEightBytes) {
    const ResourceTree tree = testing_support::launcherLikeResources();
    const std::string section = writeResourceSection(tree, rva);

    const std::vector<std::size_t> entries = dataEntryOffsets(section);

    ASSERT_EQ(entries.size(), tree.count());
    for (std::size_t entry : entries) {
        EXPECT_EQ(entry % 8, 0u);
        EXPECT_EQ(readU32(section, entry) % 8, 0u);
    }
}

TEST(ResourceSectionTest, RefusesEveryCutOfASection) {
    const std::string section = writeResourceSection(testing_support::launcherLikeResources(), rva);
    for (std::size_t length = 0; length < section.size(); ++length) {
        EXPECT_THROW(readResourceSection(section.substr(0, length), rva), PeImageError) << length;
    }
}

TEST(ResourceSectionTest, RefusesGarbledDirectories) {
    EXPECT_EQ(refusal(oneResource), "(accepted)");
    EXPECT_EQ(refusal(withU32(oneResource, 20, 0x80000000u)), "the resource directory refers to one table twice");
    EXPECT_EQ(refusal(withU32(oneResource, 20, 72)), "a resource directory ends before the language level");
    EXPECT_EQ(refusal(withU32(oneResource, 68, 0x80000000u | 24)),
              "a resource directory nests deeper than type, name and language");
    EXPECT_EQ(refusal(withU32(oneResource, 64, 0x80000000u | 4000)), "the resource directory runs past its section");
    EXPECT_EQ(refusal(withU32(oneResource, 64, 0x10000)), "a resource language is not a language number");
    EXPECT_EQ(refusal(withU32(oneResource, 72, rva - 4)), "a resource's data lies outside the resource section");
    EXPECT_EQ(refusal(withU32(oneResource, 76, 0xFFFFFFF0u)), "a resource's data lies outside the resource section");
    EXPECT_EQ(refusal(withU32(oneResource, 12, 0xFFFF0000u)), "the resource directory runs past its section");
}

TEST(ResourceSectionTest, RefusesANameListedTwice) {
    const std::string twoTypes = writeResourceSection(
        treeOf({{std::uint32_t{3}, std::uint32_t{1}, 0, "a"}, {std::uint32_t{4}, std::uint32_t{1}, 0, "b"}}), rva);

    EXPECT_EQ(refusal(withU32(twoTypes, 24, 3)), "a resource directory lists the same name twice");
}
