// End-to-end runs of the launcher that must fail: every broken installation
// ends with exactly one line on standard error and exit code 1, and no input
// makes the launcher crash. The windowed launcher fails the same way where
// it cannot show its error box.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

#include "FixtureRecord.h"
#include "LauncherImage.h"
#include "TestSupport.h"

using testing_support::LaunchPath;
using testing_support::Launcher;
using testing_support::LauncherImage;
using testing_support::ProcessOptions;
using testing_support::ProcessResult;
using testing_support::errLines;

namespace {

std::string utf8(const tstring& text) { return tstrings::toUtf8(text); }

void expectOneLineFailure(const ProcessResult& result, const std::string& prefix, const std::string& suffix = "") {
    EXPECT_EQ(result.exitCode, 1u);
    const std::vector<std::string> lines = errLines(result);
    ASSERT_EQ(lines.size(), 1u) << result.err;
    EXPECT_EQ(lines[0].substr(0, prefix.size()), prefix) << lines[0];
    EXPECT_GE(lines[0].size(), prefix.size() + suffix.size()) << lines[0];
    EXPECT_EQ(lines[0].substr(lines[0].size() - std::min(lines[0].size(), suffix.size())), suffix) << lines[0];
    EXPECT_FALSE(testing_support::parseFixtureRecord(result.out).found) << result.out;
}

// Broken installations fail the same way on both paths: before the restart,
// or in the restarted child, whose one line and exit code pass through.
// Without an interactive desktop the windowed launcher's error box fails at
// once and the line on standard error is all it shows; where a box would
// appear, the error dialog tests cover it.
class LaunchFailureTest : public testing::TestWithParam<std::tuple<Launcher, LaunchPath>> {
protected:
    void SetUp() override {
        if (launcher() == Launcher::Windowed && testing_support::sessionShowsDialogs()) {
            GTEST_SKIP() << "this session shows the windowed launcher's error box";
        }
        image.installRuntime();
        image.writeCfg("[Application]\napp.mainclass=demo.Main\n");
    }

    static Launcher launcher() { return std::get<0>(GetParam()); }

    ProcessResult run(ProcessOptions options = {}) const {
        return image.run({}, std::get<1>(GetParam()), options);
    }

    LauncherImage image{launcher()};
};

}  // namespace

TEST_P(LaunchFailureTest, MissingCfgFileIsOneLine) {
    testing_support::removeTree(image.cfgPath());

    expectOneLineFailure(run(), "Error opening \"" + utf8(image.cfgPath()) + "\" file: ");
}

TEST_P(LaunchFailureTest, MalformedCfgFileIsOneLine) {
    image.writeCfg("; comment\n\n[Application\napp.mainclass=x\n");

    expectOneLineFailure(run(), "Error parsing [" + utf8(image.cfgPath()) + "] file at 3: Missing ']' character");
}

TEST_P(LaunchFailureTest, MissingRuntimeIsOneLine) {
    testing_support::removeTree(image.runtimeDir());

    expectOneLineFailure(run(), "Failed to find JVM in \"" + utf8(image.runtimeDir()) + "\" directory.");
}

TEST_P(LaunchFailureTest, UnreadablePackageFileIsOneLine) {
    testing_support::makeDirs(image.appDir() + L"\\.package");

    expectOneLineFailure(run(), "Error opening \"" + utf8(image.appDir()) + "\\.package\" file: ");
}

TEST_P(LaunchFailureTest, RuntimeWithoutEntryPointIsOneLine) {
    testing_support::removeTree(image.runtimeDir());
    image.installRuntime(L"noentry");
    const std::string lib = utf8(image.runtimeDir() + L"\\bin\\qsr.dll");

    expectOneLineFailure(run(), "GetProcAddress(" + lib + ", QSR_Launch) failed. System error [");
}

TEST_P(LaunchFailureTest, FailingEntryPointIsOneLine) {
    ProcessOptions options;
    options.env[L"KIVO_FIXTURE_RESULT"] = L"-1";

    const ProcessResult result = run(options);

    EXPECT_EQ(result.exitCode, 1u);
    EXPECT_EQ(errLines(result), std::vector<std::string>{"Failed to launch JVM"});
}

TEST_P(LaunchFailureTest, MissingSplashLibraryIsOneLine) {
    testing_support::writeFile(image.appDir() + L"\\splash.png", "png");
    image.writeCfg("[Application]\napp.splash=$APPDIR\\splash.png\n");
    testing_support::removeTree(image.runtimeDir() + L"\\bin\\splashscreen.dll");

    expectOneLineFailure(run(), "LoadLibraryW(" + utf8(image.runtimeDir()) + "\\bin\\splashscreen.dll) failed. "
                                "System error [126](system error 126 (", "))");
}

INSTANTIATE_TEST_SUITE_P(Paths, LaunchFailureTest,
                         testing::Combine(testing::Values(Launcher::Console, Launcher::Windowed),
                                          testing::Values(LaunchPath::InProcess, LaunchPath::Restart)),
                         [](const auto& info) {
                             return testing::PrintToString(std::get<0>(info.param)) +
                                    testing::PrintToString(std::get<1>(info.param));
                         });

struct BadCfgCase {
    const char* name;
    std::string bytes;
};

void PrintTo(const BadCfgCase& c, std::ostream* os) { *os << c.name; }

class BadCfgTest : public testing::TestWithParam<BadCfgCase> {};

// Whatever the file holds, the launcher ends with a clear line or starts the
// runtime; it never crashes.
TEST_P(BadCfgTest, NeverCrashes) {
    LauncherImage image;
    image.installRuntime();
    image.writeCfg(GetParam().bytes);

    const ProcessResult result = image.run({}, LaunchPath::InProcess);

    EXPECT_TRUE(result.exitCode == 0 || result.exitCode == 1) << std::hex << result.exitCode;
    EXPECT_LE(errLines(result).size(), 1u) << result.err;
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, BadCfgTest,
    testing::Values(BadCfgCase{"Binary", std::string("\x00\xff\xfe[\x01]\n=\x80\x80\n", 10)},
                    BadCfgCase{"SectionsOnly", "[Application]\n[JavaOptions]\n[ArgOptions]\n"},
                    BadCfgCase{"EmptyValues", "[Application]\napp.runtime=\napp.classpath\napp.splash=\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(LaunchFailureImageTest, ImageDirectoryNamedLikeMacroIsOneLine) {
    LauncherImage image(L"Demo.exe", L"x$ROOTDIR");
    image.installRuntime();
    image.writeCfg("[Application]\napp.mainclass=$ROOTDIR\n");

    const ProcessResult result = image.run({}, LaunchPath::InProcess);

    EXPECT_EQ(result.exitCode, 1u);
    EXPECT_EQ(errLines(result).size(), 1u) << result.err;
}
