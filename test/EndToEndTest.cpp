// End-to-end runs of both launchers on their in-process path: application
// images with the fixture runtime, started with the application directory on
// PATH.
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <string>
#include <utility>
#include <vector>

#include "FixtureRecord.h"
#include "LauncherImage.h"
#include "TestSupport.h"

using testing_support::FixtureRecord;
using testing_support::LaunchPath;
using testing_support::Launcher;
using testing_support::LauncherImage;
using testing_support::ProcessOptions;
using testing_support::ProcessResult;
using testing_support::TempDir;
using testing_support::errLines;

namespace {

const std::string kCfg =
    "[Application]\n"
    "app.classpath=$APPDIR\\main.jar\n"
    "app.mainclass=demo.Main\n"
    "[JavaOptions]\n"
    "java-options=-Xmx64m\n"
    "[ArgOptions]\n"
    "arguments=--first\n"
    "arguments=--second\n";

std::string utf8(const tstring& text) { return tstrings::toUtf8(text); }

// The argument vector that kCfg gives, before the application arguments.
std::vector<std::string> cfgArgv(const LauncherImage& image) {
    return {utf8(image.launcherPath()), "-classpath", utf8(image.appDir() + L"\\main.jar"), "-Xmx64m",
            utf8(L"-Dkivo.app-path=" + image.launcherPath()), "demo.Main"};
}

std::vector<std::string> concat(std::vector<std::string> head, const std::vector<std::string>& tail) {
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

// A line of an expected trace: literal text, where "<n>" stands for a
// decimal number and "<addr>" for a pointer in sixteen hexadecimal digits.
std::regex tracePattern(const std::string& expected) {
    static const std::regex special(R"([.^$|()\[\]{}*+?\\])");
    std::string pattern = std::regex_replace(expected, special, R"(\$&)");
    for (const auto& [placeholder, regex] : {std::pair<std::string, std::string>{"<n>", "[0-9]+"},
                                             std::pair<std::string, std::string>{"<addr>", "[0-9A-F]{16}"}}) {
        for (std::size_t at = pattern.find(placeholder); at != std::string::npos;
             at = pattern.find(placeholder, at + regex.size())) {
            pattern.replace(at, placeholder.size(), regex);
        }
    }
    return std::regex(pattern);
}

void expectTrace(const std::vector<std::string>& actual, const std::vector<std::string>& expected) {
    for (std::size_t i = 0; i < std::max(actual.size(), expected.size()); ++i) {
        const std::string got = i < actual.size() ? actual[i] : "(missing)";
        const std::string want = i < expected.size() ? expected[i] : "(nothing)";
        EXPECT_TRUE(i < expected.size() && std::regex_match(got, tracePattern(want)))
            << "line " << i << "\n  actual:   " << got << "\n  expected: " << want;
    }
}

bool loadedLibrary(const std::vector<std::string>& trace, const std::string& path) {
    for (const std::string& line : trace) {
        if (line.find("LoadLibraryEx(" + path + ", ") != std::string::npos) {
            return true;
        }
    }
    return false;
}

class EndToEndTest : public testing::TestWithParam<Launcher> {
protected:
    void SetUp() override {
        image.installRuntime();
        image.writeCfg(kCfg);
    }

    ProcessResult run(const tstring_array& args = {}, ProcessOptions options = {}) const {
        return image.run(args, LaunchPath::InProcess, options);
    }

    // A configuration for package DemoPkg in the per-user directory `dir`
    // whose main class names where it comes from.
    static void writeUserCfg(const TempDir& dir, const std::string& mainClass) {
        testing_support::makeDirs(dir.path() + L"\\DemoPkg");
        testing_support::writeFile(dir.path() + L"\\DemoPkg\\Demo.cfg", "[Application]\napp.mainclass=" + mainClass + "\n");
    }

    ProcessResult runWithUserDirs(const TempDir& localAppData, const TempDir& appData) const {
        ProcessOptions options;
        options.env[L"LOCALAPPDATA"] = localAppData.path();
        options.env[L"APPDATA"] = appData.path();
        return run({}, options);
    }

    static ProcessOptions traced() {
        ProcessOptions options;
        options.env[L"KIVO_DEBUG"] = L"true";
        return options;
    }

    // The last runtime argument, which the tests' configurations make the
    // main class when there are no application arguments.
    std::string lastArgument(const ProcessResult& result) const {
        const std::vector<std::string> argv = record(result).argv;
        return argv.empty() ? std::string("(none)") : argv.back();
    }

    FixtureRecord record(const ProcessResult& result) const {
        const FixtureRecord parsed = testing_support::parseFixtureRecord(result.out);
        EXPECT_TRUE(parsed.found) << "stdout: " << result.out << "\nstderr: " << result.err;
        return parsed;
    }

    LauncherImage image{GetParam()};
};

}  // namespace

INSTANTIATE_TEST_SUITE_P(Launchers, EndToEndTest, testing::Values(Launcher::Console, Launcher::Windowed),
                         [](const auto& info) { return testing::PrintToString(info.param); });

TEST_P(EndToEndTest, StartsRuntimeInProcessWithConfiguredArguments) {
    const ProcessResult result = run();

    EXPECT_EQ(result.exitCode, 0u) << result.err;
    EXPECT_EQ(result.err, "");
    const FixtureRecord launched = record(result);
    EXPECT_EQ(launched.argv, concat(cfgArgv(image), {"--first", "--second"}));
    EXPECT_EQ(launched.argc, 8);
    EXPECT_TRUE(launched.argvTerminated);
    EXPECT_EQ(launched.params, testing_support::kLaunchParams);
    EXPECT_EQ(launched.pid, result.pid);
}

TEST_P(EndToEndTest, CommandLineArgumentsReplaceConfiguredOnes) {
    const ProcessResult result = run({L"one", L"$APPDIR"});

    EXPECT_EQ(result.exitCode, 0u) << result.err;
    EXPECT_EQ(record(result).argv, concat(cfgArgv(image), {"one", "$APPDIR"}));
}

TEST_P(EndToEndTest, TypicalTracedLaunchFollowsDocumentedOrder) {
    const TempDir localAppData;
    const TempDir appData;
    image.writePackage("DemoPkg\n");
    ProcessOptions options = traced();
    options.env[L"LOCALAPPDATA"] = localAppData.path();
    options.env[L"APPDATA"] = appData.path();

    const ProcessResult result = run({L"x y"}, options);

    ASSERT_EQ(result.exitCode, 0u) << result.err;
    const std::string lib = utf8(image.runtimeDir() + L"\\bin\\qsr.dll");
    const std::string binDir = utf8(image.runtimeDir() + L"\\bin");
    const std::vector<std::string> argv = concat(cfgArgv(image), {"x y"});
    std::size_t bufferSize = 40 + lib.size() + 1 + (argv.size() + 1) * 8;
    for (const std::string& arg : argv) {
        bufferSize += arg.size() + 1;
    }
    const std::string size = std::to_string(bufferSize);
    std::vector<std::string> expected = {
        "[TRACE] app.cpp:<n>: Entering app::launch",
        "[TRACE] PackageFile.cpp:<n>: Read \"" + utf8(image.appDir()) + "\\.package\" package file",
        "[TRACE] PackageFile.cpp:<n>: Package name is [DemoPkg]",
        "[TRACE] AppLauncher.cpp:<n>: Check [" + utf8(localAppData.path()) + "\\DemoPkg\\Demo.cfg] file exit",
        "[TRACE] AppLauncher.cpp:<n>: Check [" + utf8(appData.path()) + "\\DemoPkg\\Demo.cfg] file exit",
        "[TRACE] AppLauncher.cpp:<n>: Launcher config file path: \"" + utf8(image.cfgPath()) + "\"",
        "[TRACE] JvmLauncher.cpp:<n>: Jvm(<addr>)::Jvm()",
        "[TRACE] AppLauncher.cpp:<n>: Property \"app.runtime\" not found in \"Application\" section of launcher "
        "config file. Using Java runtime from \"" + utf8(image.runtimeDir()) + "\" directory",
        "[TRACE] WinLauncher.cpp:<n>: SetDllDirectory to: " + binDir,
        "[TRACE] WinLauncher.cpp:<n>: Entering `anonymous-namespace'::loadDllWithAddDllDirectory",
        "[TRACE] WinLauncher.cpp:<n>: AddDllDirectory(" + binDir + "): OK",
        "[TRACE] WinLauncher.cpp:<n>: LoadLibraryEx(" + lib + ", LOAD_LIBRARY_SEARCH_DEFAULT_DIRS): <addr>",
        "[TRACE] WinLauncher.cpp:0: Exiting `anonymous-namespace'::loadDllWithAddDllDirectory (entered at "
        "WinLauncher.cpp:<n>)",
        "[TRACE] JvmLauncher.cpp:<n>: Need " + size + " bytes for JvmlLauncherData buffer",
        "[TRACE] JvmLauncher.cpp:<n>: Need " + size + " bytes for JvmlLauncherData buffer",
        "[TRACE] JvmLauncher.cpp:<n>: Initialized " + size + " bytes at <addr> address",
        "[TRACE] JvmLauncher.cpp:<n>: JVM library: \"" + lib + "\"",
        "qsr lib: [" + lib + "]",
    };
    for (std::size_t i = 0; i < argv.size(); ++i) {
        expected.push_back("qsr arg[" + std::to_string(i) + "]: [" + argv[i] + "]");
    }
    expected.push_back("[TRACE] JvmLauncher.cpp:<n>: Jvm(<addr>)::~Jvm()");
    expected.push_back("[TRACE] app.cpp:0: Exiting app::launch (entered at app.cpp:<n>)");

    expectTrace(errLines(result), expected);
    EXPECT_EQ(record(result).argv, argv);
}

TEST_P(EndToEndTest, DebugSwitchIsOnOnlyForExactlyTrue) {
    for (const wchar_t* value : {L"", L"TRUE", L"True", L"1", L"true "}) {
        ProcessOptions options;
        options.env[L"KIVO_DEBUG"] = value;

        const ProcessResult result = run({}, options);

        EXPECT_EQ(result.exitCode, 0u);
        EXPECT_EQ(result.err, "") << "KIVO_DEBUG=" << utf8(value);
    }
}

TEST_P(EndToEndTest, PathNamingAppDirInOtherCaseRunsInProcess) {
    ProcessOptions options;
    options.env[L"PATH"] = image.pathFor(LaunchPath::Restart) + L";" + tstrings::toLower(image.appDir());

    const ProcessResult result = image.run({}, LaunchPath::InProcess, options);

    EXPECT_EQ(result.exitCode, 0u) << result.err;
    EXPECT_EQ(record(result).pid, result.pid);
}

TEST_P(EndToEndTest, LocalAppDataCfgComesFirst) {
    const TempDir localAppData;
    const TempDir appData;
    image.writePackage("DemoPkg");
    writeUserCfg(localAppData, "from.LocalAppData");
    writeUserCfg(appData, "from.AppData");

    const ProcessResult result = runWithUserDirs(localAppData, appData);

    EXPECT_EQ(result.exitCode, 0u) << result.err;
    EXPECT_EQ(lastArgument(result), "from.LocalAppData");
}

TEST_P(EndToEndTest, AppDataCfgComesBeforeAppDir) {
    const TempDir localAppData;
    const TempDir appData;
    image.writePackage("DemoPkg\r\nignored\n");
    writeUserCfg(appData, "from.AppData");

    const ProcessResult result = runWithUserDirs(localAppData, appData);

    EXPECT_EQ(result.exitCode, 0u) << result.err;
    EXPECT_EQ(lastArgument(result), "from.AppData");
}

TEST_P(EndToEndTest, UnsetLocalAppDataIsReportedOnlyInTrace) {
    const TempDir appData;
    image.writePackage("DemoPkg");
    writeUserCfg(appData, "from.AppData");
    ProcessOptions options = traced();
    options.env[L"LOCALAPPDATA"] = std::nullopt;
    options.env[L"APPDATA"] = appData.path();

    const ProcessResult traceOn = run({}, options);
    options.env[L"KIVO_DEBUG"] = std::nullopt;
    const ProcessResult traceOff = run({}, options);

    EXPECT_EQ(traceOn.exitCode, 0u) << traceOn.err;
    EXPECT_EQ(lastArgument(traceOn), "from.AppData");
    int errors = 0;
    int checks = 0;
    for (const std::string& line : errLines(traceOn)) {
        if (line.rfind("[ERROR] WinLauncher.cpp:", 0) == 0) {
            ++errors;
            EXPECT_NE(line.find("GetEnvironmentVariable(LOCALAPPDATA) failed. Variable not set"), std::string::npos)
                << line;
        }
        checks += line.find(": Check [") != std::string::npos ? 1 : 0;
    }
    EXPECT_EQ(errors, 1) << traceOn.err;
    EXPECT_EQ(checks, 1) << traceOn.err;
    EXPECT_EQ(traceOff.exitCode, 0u);
    EXPECT_EQ(traceOff.err, "");
}

TEST_P(EndToEndTest, WithoutPackageNameCfgComesFromAppDir) {
    const TempDir localAppData;
    testing_support::writeFile(localAppData.path() + L"\\Demo.cfg", "[Application]\napp.mainclass=from.LocalAppData\n");
    ProcessOptions options = traced();
    options.env[L"LOCALAPPDATA"] = localAppData.path();
    options.env[L"APPDATA"] = localAppData.path();

    const ProcessResult result = run({}, options);

    EXPECT_EQ(result.exitCode, 0u) << result.err;
    EXPECT_EQ(lastArgument(result), "--second");
    EXPECT_EQ(result.err.find("Check ["), std::string::npos);
}

TEST_P(EndToEndTest, RuntimeEndingProcessSetsExitCode) {
    ProcessOptions options;
    options.env[L"KIVO_FIXTURE_EXIT"] = L"5";

    EXPECT_EQ(run({}, options).exitCode, 5u);
}

TEST_P(EndToEndTest, SplashScreenLoadsVirtualMachineAndSplashLibraries) {
    testing_support::writeFile(image.appDir() + L"\\splash.png", "png");
    image.writeCfg("[Application]\napp.splash=$APPDIR\\splash.png\napp.mainclass=demo.Main\n");

    const ProcessResult result = run({}, traced());

    ASSERT_EQ(result.exitCode, 0u) << result.err;
    const std::string bin = utf8(image.runtimeDir() + L"\\bin");
    const std::vector<std::string> trace = errLines(result);
    std::vector<std::string> loads;
    for (const std::string& line : trace) {
        const std::size_t at = line.find("LoadLibraryEx(");
        if (at != std::string::npos) {
            loads.push_back(line.substr(at, line.find(", ", at) - at));
        }
    }
    EXPECT_EQ(loads, (std::vector<std::string>{"LoadLibraryEx(" + bin + "\\qsr.dll",
                                               "LoadLibraryEx(" + bin + "\\server\\jvm.dll",
                                               "LoadLibraryEx(" + bin + "\\splashscreen.dll"}));
    const std::vector<std::string> argv = record(result).argv;
    ASSERT_EQ(argv.size(), 4u);
    EXPECT_EQ(argv[1], utf8(L"-splash:" + image.appDir() + L"\\splash.png"));
}

TEST_P(EndToEndTest, WithoutSplashScreenNeitherLibraryIsLoaded) {
    const ProcessResult result = run({}, traced());

    ASSERT_EQ(result.exitCode, 0u) << result.err;
    const std::string bin = utf8(image.runtimeDir() + L"\\bin");
    EXPECT_TRUE(loadedLibrary(errLines(result), bin + "\\qsr.dll"));
    EXPECT_FALSE(loadedLibrary(errLines(result), bin + "\\server\\jvm.dll"));
    EXPECT_FALSE(loadedLibrary(errLines(result), bin + "\\splashscreen.dll"));
}

TEST(EndToEndImageTest, CfgFileIsNamedAfterLauncherFile) {
    for (const wchar_t* exeName : {L"My.App.exe", L"NoDot"}) {
        LauncherImage image(exeName);
        image.installRuntime();
        image.writeCfg("[Application]\napp.mainclass=demo.Main\n");
        ASSERT_TRUE(tstrings::endsWith(image.cfgPath(), exeName == tstring(L"NoDot") ? L"\\NoDot.cfg" : L"\\My.App.cfg"));

        for (LaunchPath path : {LaunchPath::InProcess, LaunchPath::Restart}) {
            const ProcessResult result = image.run({}, path);

            EXPECT_EQ(result.exitCode, 0u) << utf8(exeName) << ": " << result.err;
            EXPECT_FALSE(result.timedOut) << utf8(exeName) << (path == LaunchPath::InProcess ? " in-process" : " restart");
            EXPECT_EQ(testing_support::parseFixtureRecord(result.out).argv.size(), 3u) << utf8(exeName);
        }
    }
}
