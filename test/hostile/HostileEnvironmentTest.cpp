// Extreme environments and command lines: PATH unset, empty, odd or at the
// 32,767-character limit, lookup variables unset or at the limit, and a
// command line that outgrows the limit when the launcher restarts itself.
#include <gtest/gtest.h>

#include <string>

#include "HostileLaunch.h"

using namespace testing_support;

namespace {

const char* const kCfg = "[Application]\napp.mainclass=Main\n";

// The longest value an environment variable can hold.
constexpr std::size_t kMaxValueLength = 32766;

// This process's PATH followed by directories that do not exist, exactly
// `length` characters long.
tstring filledPath(std::size_t length) {
    tstring path = envVariable(L"PATH").value_or(tstring());
    for (int i = 0; path.size() < length; ++i) {
        path += L";C:\\kivo-hostile-filler-" + std::to_wstring(i);
    }
    path.resize(length);
    return path;
}

struct PathValueCase {
    const char* name;
    std::optional<tstring> (*value)(const tstring& appDir);
};

void PrintTo(const PathValueCase& testCase, std::ostream* out) { *out << testCase.name; }

const PathValueCase pathValueCases[] = {
    {"Unset", [](const tstring&) -> std::optional<tstring> { return std::nullopt; }},
    {"Empty", [](const tstring&) -> std::optional<tstring> { return tstring(); }},
    {"OnlySeparators", [](const tstring&) -> std::optional<tstring> { return tstring(L";;;"); }},
    {"QuotedAppDir", [](const tstring& appDir) -> std::optional<tstring> { return L"\"" + appDir + L"\""; }},
    {"AppDirWithTrailingBackslash", [](const tstring& appDir) -> std::optional<tstring> { return appDir + L"\\"; }},
    {"FilledUpToTheAppendedAppDir",
     [](const tstring& appDir) -> std::optional<tstring> { return filledPath(kMaxValueLength - 1 - appDir.size()); }},
};

class HostilePathValueTest : public ::testing::TestWithParam<PathValueCase> {};

// None of these values names the application directory, so the launcher
// restarts once with ";" and the directory appended to what it found.
TEST_P(HostilePathValueTest, RestartsOnceWithAppDirAppended) {
    LauncherImage image;
    image.installRuntime();
    image.writeCfg(kCfg);
    const std::optional<tstring> value = GetParam().value(image.appDir());
    ProcessOptions options;
    options.env[L"PATH"] = value;
    options.env[L"KIVO_FIXTURE_SHOW_ENV"] = L"PATH";

    const HostileRun run = runHostile(image, LaunchPath::Restart, {}, options);

    EXPECT_EQ(run.result.exitCode, 0u);
    EXPECT_EQ(run.result.err, "");
    ASSERT_TRUE(run.record.found) << run.result.out;
    EXPECT_EQ(run.record.argv.back(), "Main");
    EXPECT_EQ(run.record.env.count("PATH"), 1u);
    EXPECT_EQ(run.record.env.count("PATH") ? run.record.env.at("PATH") : std::nullopt,
              utf8(value.value_or(tstring()) + L";" + image.appDir()));
}

INSTANTIATE_TEST_SUITE_P(Values, HostilePathValueTest, ::testing::ValuesIn(pathValueCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(HostilePathLimitTest, LaunchesInProcessWhenAppDirEndsFullPath) {
    LauncherImage image;
    image.installRuntime();
    image.writeCfg(kCfg);
    ProcessOptions options;
    options.env[L"PATH"] = filledPath(kMaxValueLength - 1 - image.appDir().size()) + L";" + image.appDir();

    const HostileRun run = runHostile(image, LaunchPath::InProcess, {}, options);

    EXPECT_EQ(run.result.exitCode, 0u);
    EXPECT_EQ(run.result.err, "");
    ASSERT_TRUE(run.record.found);
    EXPECT_EQ(run.record.argv.back(), "Main");
}

// PATH is full already, so the restart's PATH cannot hold the application
// directory. Expected on Windows: SetEnvironmentVariableW refuses a value
// beyond the limit and the launcher reports that in one line, or the system
// keeps the longer value and the child launches in-process. Wine cuts the
// value silently at the limit; the launcher sees that the application
// directory did not make it onto PATH and fails in one line instead of
// restarting children that would restart again without end.
TEST(HostilePathLimitTest, EndsWhenFullPathLeavesNoRoomForAppDir) {
    LauncherImage image;
    image.installRuntime();
    image.writeCfg(kCfg);
    ProcessOptions options;
    options.env[L"PATH"] = filledPath(kMaxValueLength);
    // A hang is certain to show by then; no need to wait for the full limit.
    options.timeoutMs = 3000;

    const HostileRun run = runHostile(image, LaunchPath::Restart, {}, options);

    EXPECT_TRUE(run.result.exitCode == 0 || run.result.exitCode == 1) << run.result.exitCode;
    EXPECT_EQ(run.result.exitCode == 1, !run.errorLine.empty()) << run.errorLine;
}

// The first loading method fails on a library that is no DLL, and the
// second one has no room left to append the library's directory to PATH.
TEST(HostilePathLimitTest, ReportsBrokenLibraryWhenFullPathLeavesNoRoomForLibraryDir) {
    LauncherImage image;
    image.installRuntime();
    image.writeCfg(kCfg);
    writeFile(image.runtimeDir() + L"\\bin\\qsr.dll", "not a library\n");
    ProcessOptions options;
    options.env[L"PATH"] = filledPath(kMaxValueLength - 1 - image.appDir().size()) + L";" + image.appDir();

    const HostileRun run = runHostile(image, LaunchPath::InProcess, {}, options);

    EXPECT_EQ(run.result.exitCode, 1u);
    EXPECT_FALSE(run.errorLine.empty());
    EXPECT_FALSE(run.record.found);
}

struct LookupCase {
    const char* name;
    std::optional<tstring> localAppData;
    std::optional<tstring> appData;
};

void PrintTo(const LookupCase& testCase, std::ostream* out) { *out << testCase.name; }

const LookupCase lookupCases[] = {
    {"BothUnset", std::nullopt, std::nullopt},
    {"BothEmpty", tstring(), tstring()},
    {"AtTheLimit", tstring(kMaxValueLength, L'l'), L"C:\\" + tstring(kMaxValueLength - 3, L'a')},
};

class HostileLookupVariablesTest : public ::testing::TestWithParam<LookupCase> {};

// Lookup directories that are missing or cannot exist leave the image's
// own configuration file; with the debug switch off nothing is printed. On
// the restart path both the launcher and its in-process child look up.
TEST_P(HostileLookupVariablesTest, UsesTheImageConfiguration) {
    LauncherImage image;
    image.installRuntime();
    image.writeCfg(kCfg);
    image.writePackage("KivoHostilePackage\n");
    ProcessOptions options;
    options.env[L"LOCALAPPDATA"] = GetParam().localAppData;
    options.env[L"APPDATA"] = GetParam().appData;

    const HostileRun run = runHostile(image, LaunchPath::Restart, {}, options);

    EXPECT_EQ(run.result.exitCode, 0u);
    EXPECT_EQ(run.result.err, "");
    ASSERT_TRUE(run.record.found);
    EXPECT_EQ(run.record.argv.back(), "Main");
}

INSTANTIATE_TEST_SUITE_P(Variables, HostileLookupVariablesTest, ::testing::ValuesIn(lookupCases),
                         [](const auto& info) { return std::string(info.param.name); });

class HostileCommandLineTest : public ::testing::TestWithParam<LaunchPath> {};

// Started by its bare name, the launcher gets a command line right at the
// limit; the restart's command line names the launcher by its full path
// and so outgrows it. In-process the argument reaches the runtime whole.
// Expected on Windows on the restart path: CreateProcessW refuses a command
// line beyond 32,767 characters and the launcher reports that it cannot
// start the child. Wine's CreateProcessW cuts the command line at that
// length instead, so there the child runs with the argument shortened.
TEST_P(HostileCommandLineTest, PassesOnOrReportsArgumentAtTheLimit) {
    LauncherImage image;
    image.installRuntime();
    image.writeCfg(kCfg);
    const tstring program = L"Demo.exe";
    const tstring arg(kMaxValueLength - program.size() - 1, L'a');
    ProcessOptions options;
    options.rawCommandLine = program + L" " + arg;
    options.cwd = image.root();

    const HostileRun run = runHostile(image, GetParam(), {}, options);

    if (GetParam() == LaunchPath::InProcess) {
        EXPECT_EQ(run.result.exitCode, 0u);
        ASSERT_TRUE(run.record.found);
        EXPECT_EQ(run.record.argv.back(), utf8(arg));
    } else if (runningUnderWine()) {
        EXPECT_EQ(run.result.exitCode, 0u);
        ASSERT_TRUE(run.record.found);
        // The line keeps 32,766 characters and the terminator.
        const std::size_t kept = kMaxValueLength - image.launcherPath().size() - 1;
        EXPECT_EQ(run.record.argv.back().size(), kept);
        EXPECT_EQ(run.record.argv.back(), utf8(arg.substr(0, kept)));
    } else {
        EXPECT_EQ(run.result.exitCode, 1u);
        EXPECT_TRUE(startsWith(run.errorLine, "CreateProcess")) << run.errorLine.substr(0, 200);
        EXPECT_NE(run.errorLine.find(") failed. System error ["), std::string::npos) << run.errorLine.substr(0, 200);
        EXPECT_FALSE(run.record.found);
    }
}

INSTANTIATE_TEST_SUITE_P(Paths, HostileCommandLineTest, ::testing::Values(LaunchPath::InProcess, LaunchPath::Restart),
                         [](const auto& info) { return launchPathName(info.param); });

}  // namespace
