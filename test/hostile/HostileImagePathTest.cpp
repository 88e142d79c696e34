// Images in awkward places: blanks, non-ASCII and shell characters in the
// directory and launcher names, ";" in them, paths at and beyond MAX_PATH,
// and package names that make impossible lookup directories.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "HostileLaunch.h"

using namespace testing_support;

namespace {

const char* const kCfg = "[Application]\napp.mainclass=Main\n";

void expectLaunchedMain(const HostileRun& run, const tstring& launcher) {
    EXPECT_EQ(run.result.exitCode, 0u);
    EXPECT_EQ(run.result.err, "");
    ASSERT_TRUE(run.record.found) << run.result.out;
    const std::vector<std::string> argv = {utf8(launcher), "-Dkivo.app-path=" + utf8(launcher), "Main"};
    EXPECT_EQ(run.record.argv, argv);
}

struct NamesCase {
    const char* name;
    const wchar_t* rootName;
    const wchar_t* appName;
};

void PrintTo(const NamesCase& testCase, std::ostream* out) { *out << testCase.name; }

const NamesCase namesCases[] = {
    {"Blanks", L" my  image", L"My App"},
    {"NonAscii", L"imäge-日本-\U0001F600", L"Démo日本"},
    {"ShellCharacters", L"a&b^c%PATH%!(x)'", L"x&y^%z%"},
    {"DotsAndNoExtension", L"image.v1.2", L"My.App"},
};

class HostileImageNamesTest : public ::testing::TestWithParam<std::tuple<NamesCase, LaunchPath>> {};

TEST_P(HostileImageNamesTest, LaunchesTheImage) {
    const auto& [testCase, path] = GetParam();
    LauncherImage image(testCase.appName, testCase.rootName);
    image.installRuntime();
    image.writeCfg(kCfg);

    expectLaunchedMain(runHostile(image, path), image.launcherPath());
}

INSTANTIATE_TEST_SUITE_P(Names, HostileImageNamesTest,
                         ::testing::Combine(::testing::ValuesIn(namesCases),
                                            ::testing::Values(LaunchPath::InProcess, LaunchPath::Restart)),
                         [](const auto& info) {
                             return std::get<0>(info.param).name + launchPathName(std::get<1>(info.param));
                         });

class HostileImagePathTest : public ::testing::TestWithParam<LaunchPath> {};

// PATH is split at ";", so an application directory holding one is found
// only as the tail of PATH, which is where the restart puts it.
// Expected on Windows: the launch succeeds, since the loader keeps the
// directories added with AddDllDirectory as a list. Wine joins its DLL
// search directories into one ";"-separated string, so there the runtime's
// dependency beside it is not found and loading fails with error 126.
TEST_P(HostileImagePathTest, LaunchesFromDirectoryWithSemicolon) {
    LauncherImage image(L"x;y", L"a;b");
    image.installRuntime();
    image.writeCfg(kCfg);

    const HostileRun run = runHostile(image, GetParam());

    if (!runningUnderWine()) {
        expectLaunchedMain(run, image.launcherPath());
        return;
    }
    EXPECT_EQ(run.result.exitCode, 1u);
    EXPECT_TRUE(startsWith(run.errorLine, "LoadLibraryW(" + utf8(image.runtimeDir()) + "\\bin\\qsr.dll) failed. " +
                                              systemErrorPrefix(ERROR_MOD_NOT_FOUND)))
        << run.errorLine;
}

// The launcher path is one below MAX_PATH, so the configuration file and the
// runtime library lie beyond it. Expected on Windows without long paths
// enabled for the system: the configuration file does not open, and the
// launcher says so with the C runtime's text. The test process is long-path
// aware like the launcher, so it sees what the launcher sees. Wine has no
// such limit: the launch succeeds.
TEST_P(HostileImagePathTest, LaunchesOrReportsFilesBeyondMaxPath) {
    TempDir temp(L"kivo-long");
    const tstring name = L"Demo";
    const std::size_t rootLength = MAX_PATH - 1 - (name.size() + 5);
    const tstring root = temp.path() + L"\\" + tstring(rootLength - temp.path().size() - 1, L'r');
    const ImageLayout layout = {root, root + L"\\" + name + L".exe", root + L"\\app"};
    ASSERT_EQ(layout.launcher.size(), static_cast<std::size_t>(MAX_PATH - 1));
    makeLongDirs(layout.appDir);
    copyFile(testBinDir() + L"\\kivo.exe", extendedPath(layout.launcher));
    const tstring cfgPath = layout.appDir + L"\\" + name + L".cfg";
    writeFile(extendedPath(cfgPath), kCfg);
    copyTreeLong(testBinDir() + L"\\fixtures\\runtime", root + L"\\runtime");

    const std::optional<std::string> openError = expectedOpenError(cfgPath);
    const bool libraryFound = ::GetFileAttributesW((root + L"\\runtime\\bin\\qsr.dll").c_str()) != INVALID_FILE_ATTRIBUTES;
    const HostileRun run = runHostile(layout, GetParam());

    if (openError) {
        EXPECT_EQ(run.result.exitCode, 1u);
        EXPECT_EQ(run.errorLine, *openError);
    } else if (!libraryFound) {
        EXPECT_EQ(run.result.exitCode, 1u);
        EXPECT_EQ(run.errorLine, "Failed to find JVM in \"" + utf8(root) + "\\runtime\" directory.");
    } else {
        expectLaunchedMain(run, layout.launcher);
    }
}

// The launcher is long-path aware: from a path beyond MAX_PATH its module
// path, the configuration lookup and the runtime search work, and the
// runtime starts in-process. Wine's CreateProcessW refuses such program
// paths but takes one relative to the current directory, so the test starts
// the launcher from its own directory. The restart path starts the launcher
// again by its full path, which Wine refuses: there it is not tested.
// Windows also needs long paths enabled for the system; without them the
// test process (long-path aware too) cannot enter the directory and skips.
TEST_P(HostileImagePathTest, StartsFromBeyondMaxPath) {
    TempDir temp(L"kivo-longer");
    const tstring root = temp.path() + L"\\" + tstring(120, L'r') + L"\\" + tstring(120, L's');
    const ImageLayout layout = {root, root + L"\\Demo.exe", root + L"\\app"};
    ASSERT_GT(layout.launcher.size(), static_cast<std::size_t>(MAX_PATH));
    makeLongDirs(layout.appDir);
    copyFile(testBinDir() + L"\\kivo.exe", extendedPath(layout.launcher));
    writeFile(extendedPath(layout.appDir + L"\\Demo.cfg"), kCfg);
    copyTreeLong(testBinDir() + L"\\fixtures\\runtime", root + L"\\runtime");
    if (GetParam() == LaunchPath::Restart && runningUnderWine()) {
        GTEST_SKIP() << "Wine's CreateProcessW refuses the launcher's own path beyond MAX_PATH";
    }

    // Programs the test starts on its own take its current directory.
    keepDesktopInUse();
    const ScopedCurrentDirectory inRoot(root);
    if (!inRoot.entered()) {
        GTEST_SKIP() << "the system does not take a current directory beyond MAX_PATH";
    }
    // Wine cannot start a process in a working directory beyond MAX_PATH.
    ProcessOptions options;
    options.cwd = temp.path();
    const HostileRun run = runHostile(ImageLayout{root, L".\\Demo.exe", layout.appDir}, GetParam(), {}, options);

    expectLaunchedMain(run, layout.launcher);
}

// "app.runtime" names a directory deeper than MAX_PATH. Expected on Windows
// without long paths enabled: the runtime library is not found there. Wine
// finds and loads it.
TEST_P(HostileImagePathTest, ReportsOrLoadsRuntimeBeyondMaxPath) {
    LauncherImage image;
    const tstring runtimeDir = image.root() + L"\\" + tstring(150, L'd') + L"\\" + tstring(150, L'e');
    copyTreeLong(testBinDir() + L"\\fixtures\\runtime", runtimeDir);
    image.writeCfg("[Application]\napp.runtime=$ROOTDIR\\" + std::string(150, 'd') + "\\" + std::string(150, 'e') +
                   "\napp.mainclass=Main\n");
    const bool libraryFound = ::GetFileAttributesW((runtimeDir + L"\\bin\\qsr.dll").c_str()) != INVALID_FILE_ATTRIBUTES;

    const HostileRun run = runHostile(image, GetParam());

    if (libraryFound) {
        expectLaunchedMain(run, image.launcherPath());
    } else {
        EXPECT_EQ(run.result.exitCode, 1u);
        EXPECT_EQ(run.errorLine, "Failed to find JVM in \"" + utf8(runtimeDir) + "\" directory.");
    }
}

INSTANTIATE_TEST_SUITE_P(Paths, HostileImagePathTest,
                         ::testing::Values(LaunchPath::InProcess, LaunchPath::Restart),
                         [](const auto& info) { return launchPathName(info.param); });

struct PackageNameCase {
    const char* name;
    std::string packageName;
};

void PrintTo(const PackageNameCase& testCase, std::ostream* out) { *out << testCase.name; }

const PackageNameCase packageNameCases[] = {
    {"LongerThanAnyPath", std::string(40000, 'p')},
    {"ReservedCharacters", "a<>:\"|?*b"},
    {"DeviceName", "CON"},
    {"AbsolutePath", "C:\\kivo-hostile-no-such-dir"},
    {"ControlCharacters", "\x01\x02\t\x7F"},
};

class HostilePackageNameTest : public ::testing::TestWithParam<PackageNameCase> {};

// Lookup directories are only tested for existence, so names that make no
// valid path leave the configuration file of the image in use. The lookup
// comes before the launch paths part; on the restart path both the launcher
// and its child, which then launches in-process, go through it.
TEST_P(HostilePackageNameTest, FallsBackToTheImageConfiguration) {
    LauncherImage image;
    image.installRuntime();
    image.writeCfg(kCfg);
    image.writePackage(GetParam().packageName + "\r\nsecond line\r\n");
    TempDir userDirs(L"kivo-user");
    ProcessOptions options;
    options.env[L"LOCALAPPDATA"] = userDirs.path();
    options.env[L"APPDATA"] = userDirs.path();

    expectLaunchedMain(runHostile(image, LaunchPath::Restart, {}, options), image.launcherPath());
}

INSTANTIATE_TEST_SUITE_P(Packages, HostilePackageNameTest, ::testing::ValuesIn(packageNameCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
