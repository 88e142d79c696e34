// End-to-end runs of a launcher from an image whose directory, launcher name,
// class path and arguments hold Cyrillic, CJK, a character outside the Basic
// Multilingual Plane and a combining accent: the runtime must receive every
// character as UTF-8, in a process whose code page is UTF-8.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "FixtureRecord.h"
#include "LauncherImage.h"
#include "TestSupport.h"

using testing_support::LaunchPath;

namespace {

struct Text {
    tstring wide;
    // The same text as UTF-8, written out byte by byte.
    std::string utf8;
};

Text operator+(const Text& a, const Text& b) { return {a.wide + b.wide, a.utf8 + b.utf8}; }

Text ascii(const std::string& text) { return {tstring(text.begin(), text.end()), text}; }

const Text kCyrillic = {L"\x0416\x0430\x043d\x043d\x0430", "\xd0\x96\xd0\xb0\xd0\xbd\xd0\xbd\xd0\xb0"};
const Text kCjk = {L"\x65e5\x672c\x8a9e", "\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e"};
const Text kEmoji = {L"\xd83d\xde00", "\xf0\x9f\x98\x80"};
const Text kCombiningAccent = {L"e\x0301", "e\xcc\x81"};
const Text kMixed = kCyrillic + ascii("-") + kCjk + ascii("-") + kEmoji + ascii("-") + kCombiningAccent;

// A launcher built beside the test programs, and the path it takes.
class UnicodeLaunchTest : public ::testing::TestWithParam<std::tuple<testing_support::Launcher, LaunchPath>> {};

TEST_P(UnicodeLaunchTest, RuntimeReceivesEveryCharacterAsUtf8InUtf8CodePage) {
    const auto& [launcher, path] = GetParam();
    const Text rootName = ascii("image-") + kMixed;
    const Text exeName = kCyrillic + ascii("-") + kCjk + ascii(".exe");
    const Text jar = ascii("lib-") + kMixed + ascii(".jar");
    const testing_support::LauncherImage image(exeName.wide, rootName.wide, launcher);
    image.installRuntime();
    image.writeCfg("[Application]\napp.classpath=$APPDIR\\" + jar.utf8 + "\napp.mainclass=demo.Main\n");
    const std::vector<Text> args = {kCyrillic, kCjk, kEmoji, kCombiningAccent, kMixed + ascii(" two words")};
    tstring_array wideArgs;
    for (const Text& arg : args) {
        wideArgs.push_back(arg.wide);
    }

    const testing_support::ProcessResult result = image.run(wideArgs, path);

    ASSERT_EQ(result.exitCode, 0u) << result.err;
    EXPECT_EQ(result.err, "");
    const testing_support::FixtureRecord record = testing_support::parseFixtureRecord(result.out);
    ASSERT_TRUE(record.found) << result.out;
    // The temporary directory above the image is ASCII.
    const tstring temp = image.root().substr(0, image.root().size() - rootName.wide.size());
    const std::string root = tstrings::toUtf8(temp) + rootName.utf8;
    const std::string launcherPath = root + "\\" + exeName.utf8;
    std::vector<std::string> expected = {launcherPath, "-classpath", root + "\\app\\" + jar.utf8,
                                         "-Dkivo.app-path=" + launcherPath, "demo.Main"};
    for (const Text& arg : args) {
        expected.push_back(arg.utf8);
    }
    EXPECT_EQ(record.argv, expected);
    EXPECT_EQ(record.acp, 65001u);
    EXPECT_EQ(record.oemcp, 65001u);
}

INSTANTIATE_TEST_SUITE_P(Launchers, UnicodeLaunchTest,
                         ::testing::Combine(::testing::Values(testing_support::Launcher::Console,
                                                              testing_support::Launcher::Windowed),
                                            ::testing::Values(LaunchPath::InProcess, LaunchPath::Restart)),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param) == testing_support::Launcher::Console
                                                    ? "Console"
                                                    : "Windowed") +
                                    (std::get<1>(info.param) == LaunchPath::InProcess ? "InProcess" : "Restart");
                         });

}  // namespace
