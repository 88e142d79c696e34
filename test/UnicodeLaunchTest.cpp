// End-to-end runs of a launcher from an image whose directory, launcher name,
// class path and arguments hold Cyrillic, CJK, a character outside the Basic
// Multilingual Plane and a combining accent: the runtime must receive every
// character as UTF-8, in a process whose ANSI code page is UTF-8.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "FixtureRecord.h"
#include "LauncherImage.h"
#include "TestSupport.h"

using testing_support::FixtureRecord;
using testing_support::LaunchPath;
using testing_support::LauncherImage;
using testing_support::ProcessResult;

namespace {

const UINT kUtf8CodePage = 65001;

struct Text {
    tstring wide;
    // The same text as UTF-8, written out byte by byte.
    std::string utf8;
};

const Text kCyrillic = {L"\x0416\x0430\x043d\x043d\x0430", "\xd0\x96\xd0\xb0\xd0\xbd\xd0\xbd\xd0\xb0"};
const Text kCjk = {L"\x65e5\x672c\x8a9e", "\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e"};
const Text kEmoji = {L"\xd83d\xde00", "\xf0\x9f\x98\x80"};
const Text kCombiningAccent = {L"e\x0301", "e\xcc\x81"};

Text operator+(const Text& a, const Text& b) { return {a.wide + b.wide, a.utf8 + b.utf8}; }

Text ascii(const char* text) { return {tstring(text, text + std::char_traits<char>::length(text)), text}; }

// All four kinds in one piece of text.
Text mixed() { return kCyrillic + ascii("-") + kCjk + ascii("-") + kEmoji + ascii("-") + kCombiningAccent; }

std::string utf8(const tstring& text) { return tstrings::toUtf8(text); }

// A launcher built beside the test programs, and the path it takes.
class UnicodeLaunchTest : public ::testing::TestWithParam<std::tuple<const wchar_t*, LaunchPath>> {
protected:
    UnicodeLaunchTest()
        : root(ascii("image-") + mixed()),
          launcher(kCyrillic + ascii("-") + kCjk + ascii(".exe")),
          image(launcher.wide, root.wide, std::get<0>(GetParam())) {
        image.installRuntime();
    }

    ProcessResult run(const std::vector<Text>& args) const {
        tstring_array wideArgs;
        for (const Text& arg : args) {
            wideArgs.push_back(arg.wide);
        }
        return image.run(wideArgs, std::get<1>(GetParam()));
    }

    // The launcher's path as the runtime receives it, from the bytes above
    // and the temporary directory's ASCII path.
    std::string launcherBytes() const {
        const tstring temp = image.root().substr(0, image.root().size() - root.wide.size());
        return utf8(temp) + root.utf8 + "\\" + launcher.utf8;
    }

    Text root;
    Text launcher;
    LauncherImage image;
};

TEST_P(UnicodeLaunchTest, RuntimeReceivesEveryCharacterAsUtf8) {
    const Text jar = ascii("lib-") + mixed() + ascii(".jar");
    image.writeCfg("[Application]\napp.classpath=$APPDIR\\" + jar.utf8 + "\napp.mainclass=demo.Main\n");
    const std::vector<Text> args = {kCyrillic, kCjk, kEmoji, kCombiningAccent, mixed() + ascii(" two words")};

    const ProcessResult result = run(args);

    ASSERT_EQ(result.exitCode, 0u) << result.err;
    EXPECT_EQ(result.err, "");
    const FixtureRecord record = testing_support::parseFixtureRecord(result.out);
    ASSERT_TRUE(record.found) << result.out;
    const std::string appDir = launcherBytes().substr(0, launcherBytes().rfind('\\')) + "\\app";
    std::vector<std::string> expected = {launcherBytes(), "-classpath", appDir + "\\" + jar.utf8,
                                         "-Dkivo.app-path=" + launcherBytes(), "demo.Main"};
    for (const Text& arg : args) {
        expected.push_back(arg.utf8);
    }
    EXPECT_EQ(record.argv, expected);
}

TEST_P(UnicodeLaunchTest, RuntimeRunsWithUtf8CodePage) {
    image.writeCfg("[Application]\napp.mainclass=demo.Main\n");

    const ProcessResult result = run({});

    ASSERT_EQ(result.exitCode, 0u) << result.err;
    const FixtureRecord record = testing_support::parseFixtureRecord(result.out);
    ASSERT_TRUE(record.found) << result.out;
    EXPECT_EQ(record.acp, kUtf8CodePage);
    EXPECT_EQ(record.oemcp, kUtf8CodePage);
    EXPECT_EQ(record.argv, (std::vector<std::string>{launcherBytes(), "-Dkivo.app-path=" + launcherBytes(),
                                                     "demo.Main"}));
}

INSTANTIATE_TEST_SUITE_P(Launchers, UnicodeLaunchTest,
                         ::testing::Combine(::testing::Values(L"kivo.exe"),
                                            ::testing::Values(LaunchPath::InProcess, LaunchPath::Restart)),
                         [](const auto& info) {
                             const std::string launcher = utf8(std::get<0>(info.param));
                             return launcher.substr(0, launcher.find('.')) +
                                    (std::get<1>(info.param) == LaunchPath::InProcess ? "InProcess" : "Restart");
                         });

}  // namespace
