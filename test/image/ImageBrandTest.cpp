// End-to-end tests of branding, of both builds: icon files and launchers it
// must refuse, naming the user's file and leaving it as it was.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "FileUtils.h"
#include "ImageTool.h"
#include "TestFiles.h"

using testing_support::ProcessResult;
using testing_support::TempDir;
using testing_support::readFile;
using testing_support::runImageTool;
using testing_support::writeFile;

namespace {

std::string utf8(const tstring& text) { return tstrings::toUtf8(text); }

}  // namespace

namespace {

struct BadIcon {
    const char* title;
    std::string bytes;
    std::string reason;
};

void PrintTo(const BadIcon& c, std::ostream* os) { *os << c.title; }

class ImageBrandIconTest : public testing::TestWithParam<BadIcon> {};

std::string cut(std::string bytes, std::size_t size) { return bytes.substr(0, size); }

std::string withByte(std::string bytes, std::size_t at, char value) {
    bytes[at] = value;
    return bytes;
}

}  // namespace

TEST_P(ImageBrandIconTest, RefusesTheFileAndLeavesTheLauncher) {
    TempDir temp;
    const tstring exe = FileUtils::combinePath(temp.path(), L"Tool.exe");
    const tstring icon = FileUtils::combinePath(temp.path(), L"bad.ico");
    testing_support::copyFile(testing_support::launcherPath(L"kivo.exe"), exe);
    writeFile(icon, GetParam().bytes);

    const ProcessResult result = runImageTool({L"brand", exe, L"--icon", icon});

    EXPECT_EQ(result.exitCode, 1u);
    EXPECT_EQ(testing_support::lines(result.err),
              std::vector<std::string>{"kivo-image: \"" + utf8(icon) + "\" is not an icon file: " + GetParam().reason});
    EXPECT_EQ(readFile(exe), readFile(testing_support::launcherPath(L"kivo.exe")));
    EXPECT_EQ(result.out, "");
}

INSTANTIATE_TEST_SUITE_P(
    Files, ImageBrandIconTest,
    testing::Values(BadIcon{"Empty", "", "it is too short"},
                    BadIcon{"Png", "\x89PNG\r\n\x1a\n", "its header does not say icon"},
                    BadIcon{"Cursor", withByte(testing_support::makeIconFile({16}), 2, 2), "its header does not say icon"},
                    BadIcon{"NoImages", std::string("\0\0\1\0\0\0", 6), "it holds no image"},
                    BadIcon{"DirectoryCut", cut(testing_support::makeIconFile({16, 32}), 20), "its directory is cut short"},
                    BadIcon{"ImageCut", cut(testing_support::makeIconFile({16}), 100), "an image lies outside the file"}),
    [](const testing::TestParamInfo<BadIcon>& info) { return std::string(info.param.title); });

namespace {

struct BadLauncher {
    const char* title;
    // Makes the file to brand at the path.
    void (*make)(const tstring& path);
    // What the message says after the file's quoted path.
    std::string reason;
};

void PrintTo(const BadLauncher& c, std::ostream* os) { *os << c.title; }

class ImageBrandLauncherTest : public testing::TestWithParam<BadLauncher> {};

void configurationFile(const tstring& path) { writeFile(path, "[Application]\r\napp.mainclass=Main\r\n"); }

void signedLauncher(const tstring& path) {
    const std::size_t certificates = 4;
    testing_support::copyFile(testing_support::launcherPath(L"kivo.exe"), path);
    const auto end = static_cast<std::uint32_t>(readFile(path).size());
    testing_support::setPeDataDirectory(path, certificates, end, 0x200);
}

}  // namespace

TEST_P(ImageBrandLauncherTest, RefusesTheFileNamingItAndLeavesIt) {
    TempDir temp;
    const tstring exe = FileUtils::combinePath(temp.path(), L"App.cfg");
    GetParam().make(exe);
    const std::string before = readFile(exe);

    const ProcessResult result = runImageTool({L"brand", exe, L"--version", L"1.0.0.0"});

    EXPECT_EQ(result.exitCode, 1u);
    EXPECT_EQ(testing_support::lines(result.err),
              std::vector<std::string>{"kivo-image: \"" + utf8(exe) + "\" " + GetParam().reason});
    EXPECT_EQ(result.err.find("%1"), std::string::npos);
    EXPECT_EQ(readFile(exe), before);
    EXPECT_EQ(result.out, "");
}

INSTANTIATE_TEST_SUITE_P(
    Files, ImageBrandLauncherTest,
    testing::Values(BadLauncher{"NotAProgram", configurationFile,
                                "is not a Windows program: it does not start with \"MZ\""},
                    BadLauncher{"Signed", signedLauncher,
                                "is signed: brand the launcher before signing it, since branding changes the file "
                                "and its signature would no longer match"}),
    [](const testing::TestParamInfo<BadLauncher>& info) { return std::string(info.param.title); });
