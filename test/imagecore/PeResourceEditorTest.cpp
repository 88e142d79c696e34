// The rewrite of a PE32+ image's resources: the other resources, the moved
// relocations, the headers and the checksum, and the images it refuses.
#include <gtest/gtest.h>

#include "PeImageError.h"
#include "PeResourceEditor.h"
#include "PeTestImage.h"

using imagetool::PeImageError;
using imagetool::PeProblem;
using imagetool::PeResourceEditor;
using imagetool::ResourceTree;
using testing_support::buildTestImage;
using testing_support::findSection;
using testing_support::readU32;
using testing_support::testDirectoryField;
using testing_support::TestImageLayout;
using testing_support::testOptionalField;

namespace {

namespace type = imagetool::resource_type;

TestImageLayout launcherLike() {
    TestImageLayout layout;
    layout.resources = testing_support::launcherLikeResources();
    return layout;
}

// The resources with a version resource of `size` bytes added.
ResourceTree withVersion(std::size_t size) {
    ResourceTree tree = testing_support::launcherLikeResources();
    tree.put(type::version, std::uint32_t{1}, 0x0409, {std::string(size, 'V'), 0});
    return tree;
}

// The checksum computed the plain way: the field zeroed, every word added
// up, the carries folded back in at the end.
std::uint32_t referenceChecksum(std::string image) {
    image.replace(testing_support::testChecksumOffset, 4, std::string(4, '\0'));
    if (image.size() % 2 != 0) {
        image.push_back('\0');
    }
    std::uint64_t sum = 0;
    for (std::size_t at = 0; at < image.size(); at += 2) {
        sum += testing_support::readU16(image, at);
    }
    while (sum > 0xFFFF) {
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    return static_cast<std::uint32_t>(sum + image.size());
}

struct Refusal {
    PeProblem problem;
    std::string reason;
};

Refusal refusalOf(const std::string& image) {
    try {
        PeResourceEditor editor(image);
    } catch (const PeImageError& error) {
        return {error.problem(), error.what()};
    }
    return {PeProblem::notAProgram, "(accepted)"};
}

std::string withU32(std::string bytes, std::size_t at, std::uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i) {
        bytes[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    }
    return bytes;
}

struct BadImage {
    const char* title;
    std::string image;
    PeProblem problem;
    std::string reason;
};

void PrintTo(const BadImage& c, std::ostream* os) { *os << c.title; }

class PeResourceEditorRefusalTest : public testing::TestWithParam<BadImage> {};

const std::string goodImage = buildTestImage(launcherLike());
const std::size_t peOffset = 0x40;

TestImageLayout signedImage() {
    TestImageLayout layout = launcherLike();
    layout.signedImage = true;
    return layout;
}

TestImageLayout dataBehind() {
    TestImageLayout layout = launcherLike();
    layout.sectionBehind = ".data";
    return layout;
}

}  // namespace

TEST(PeResourceEditorTest, ReadsTheResourcesTheImageHolds) {
    EXPECT_EQ(PeResourceEditor(goodImage).resources(), testing_support::launcherLikeResources());
}

TEST(PeResourceEditorTest, KeepsEveryOtherResourceByteForByte) {
    const ResourceTree expected = withVersion(100);

    const std::string rewritten = PeResourceEditor(goodImage).withResources(expected);

    const ResourceTree actual = PeResourceEditor(rewritten).resources();
    EXPECT_EQ(actual, expected);
    EXPECT_EQ(
        actual.find(type::manifest, std::uint32_t{1}, 0x0409)->bytes,
        goodImage.substr(goodImage.find("<?xml"), actual.find(type::manifest, std::uint32_t{1}, 0x0409)->bytes.size()));
}

TEST(PeResourceEditorTest, MovesTheRelocationsBehindLargerResources) {
    const std::string rewritten = PeResourceEditor(goodImage).withResources(withVersion(0x2345));

    const auto resources = findSection(rewritten, ".rsrc");
    const auto relocations = findSection(rewritten, ".reloc");
    const auto oldRelocations = findSection(goodImage, ".reloc");
    ASSERT_TRUE(relocations.found);
    EXPECT_EQ(resources.sizeOfRawData % testing_support::testFileAlignment, 0u);
    EXPECT_GE(resources.virtualSize, 0x2345u);
    EXPECT_EQ(relocations.virtualAddress, 0x2000u + 0x3000u);
    EXPECT_EQ(relocations.pointerToRawData, resources.pointerToRawData + resources.sizeOfRawData);
    EXPECT_EQ(rewritten.substr(relocations.pointerToRawData, relocations.virtualSize),
              goodImage.substr(oldRelocations.pointerToRawData, oldRelocations.virtualSize));
    EXPECT_EQ(readU32(rewritten, testDirectoryField(5)), relocations.virtualAddress);
    EXPECT_EQ(readU32(rewritten, testDirectoryField(5) + 4), testing_support::testRelocations().size());
    EXPECT_EQ(readU32(rewritten, testDirectoryField(2) + 4), resources.virtualSize);
    EXPECT_EQ(readU32(rewritten, testOptionalField(56)), relocations.virtualAddress + 0x1000u);
    EXPECT_EQ(readU32(rewritten, testOptionalField(8)), readU32(goodImage, testOptionalField(8)) +
                                                            resources.sizeOfRawData -
                                                            findSection(goodImage, ".rsrc").sizeOfRawData);
    EXPECT_EQ(rewritten.size(), std::size_t{relocations.pointerToRawData} + relocations.sizeOfRawData);
}

TEST(PeResourceEditorTest, MovesTheRelocationsForwardBehindSmallerResources) {
    const std::string large = PeResourceEditor(goodImage).withResources(withVersion(0x2345));

    const std::string small = PeResourceEditor(large).withResources(testing_support::launcherLikeResources());

    EXPECT_EQ(small, PeResourceEditor(goodImage).withResources(testing_support::launcherLikeResources()));
    EXPECT_EQ(findSection(small, ".reloc").virtualAddress, findSection(goodImage, ".reloc").virtualAddress);
}

TEST(PeResourceEditorTest, WritesTheChecksum) {
    const std::string rewritten = PeResourceEditor(goodImage).withResources(withVersion(77));

    EXPECT_EQ(readU32(rewritten, testing_support::testChecksumOffset), referenceChecksum(rewritten));
}

TEST(PeResourceEditorTest, GivesTheSameBytesForTheSameInput) {
    EXPECT_EQ(PeResourceEditor(goodImage).withResources(withVersion(5)),
              PeResourceEditor(goodImage).withResources(withVersion(5)));
}

TEST(PeResourceEditorTest, RewritesAnImageWithoutRelocations) {
    TestImageLayout layout = launcherLike();
    layout.withRelocations = false;

    const std::string rewritten = PeResourceEditor(buildTestImage(layout)).withResources(withVersion(0x1800));

    EXPECT_EQ(PeResourceEditor(rewritten).resources(), withVersion(0x1800));
    EXPECT_EQ(readU32(rewritten, testOptionalField(56)), 0x2000u + 0x2000u);
}

TEST(PeResourceEditorTest, RefusesEveryCutOfAnImage) {
    for (std::size_t length = 0; length < goodImage.size(); length += (length < 0x400 ? 1 : 7)) {
        EXPECT_THROW(PeResourceEditor(goodImage.substr(0, length)), PeImageError) << length;
    }
}

TEST(PeResourceEditorTest, NeverReadsOutsideAGarbledHeader) {
    for (std::size_t at = 0; at < 0x400; ++at) {
        for (char value : {'\xFF', '\x80', '\x00'}) {
            std::string image = goodImage;
            image[at] = value;
            try {
                PeResourceEditor editor(image);
                editor.withResources(editor.resources());
            } catch (const PeImageError&) {
            }
        }
    }
}

TEST_P(PeResourceEditorRefusalTest, RefusesWithOneReason) {
    const Refusal refusal = refusalOf(GetParam().image);

    EXPECT_EQ(refusal.reason, GetParam().reason);
    EXPECT_EQ(refusal.problem, GetParam().problem);
}

INSTANTIATE_TEST_SUITE_P(
    Images, PeResourceEditorRefusalTest,
    testing::Values(
        BadImage{"Text", "[Application]\r\n", PeProblem::notAProgram, "it does not start with \"MZ\""},
        BadImage{"Empty", "", PeProblem::notAProgram, "it does not start with \"MZ\""},
        BadImage{"NoPeHeader", withU32(goodImage, peOffset, 0), PeProblem::notAProgram, "it has no PE header"},
        BadImage{"PeOffsetOutside", withU32(goodImage, 0x3C, 0xFFFFFFF0u), PeProblem::notAProgram, "it is cut short"},
        BadImage{"ThirtyTwoBit", withU32(goodImage, peOffset + 24, 0x010B), PeProblem::notAProgram,
                 "it is not a 64-bit program"},
        BadImage{"AlignmentZero", withU32(goodImage, testOptionalField(36), 0), PeProblem::notAProgram,
                 "its section alignment is not valid"},
        BadImage{"TooManyDirectories", withU32(goodImage, testOptionalField(108), 17), PeProblem::notAProgram,
                 "its optional header is garbled"},
        BadImage{"SectionOutside", withU32(goodImage, 0x40 + 24 + 240 + 40 + 20, 0x7FFFFFFF), PeProblem::notAProgram,
                 "the section \".rsrc\" lies outside the file"},
        BadImage{"SectionDataOverHeaders", withU32(goodImage, 0x40 + 24 + 240 + 40 + 20, 0x100), PeProblem::notAProgram,
                 "the data of the section \".rsrc\" overlaps the headers"},
        BadImage{"ResourcesOutside", withU32(goodImage, testDirectoryField(2), 0x90000), PeProblem::notAProgram,
                 "its resource directory lies outside every section"},
        BadImage{"NoResources", withU32(withU32(goodImage, testDirectoryField(2), 0), testDirectoryField(2) + 4, 0),
                 PeProblem::unsupportedLayout, "it has no resource section"},
        BadImage{"SharedSection", withU32(goodImage, testDirectoryField(2), 0x2010), PeProblem::unsupportedLayout,
                 "its resources share the section \".rsrc\" with other data"},
        BadImage{"DataBehind", buildTestImage(dataBehind()), PeProblem::unsupportedLayout,
                 "the section \".data\" follows the resources and cannot be moved"},
        BadImage{"Signed", buildTestImage(signedImage()), PeProblem::signedImage, "it is signed"}),
    [](const testing::TestParamInfo<BadImage>& info) { return std::string(info.param.title); });
