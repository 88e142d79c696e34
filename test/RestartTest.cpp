// End-to-end runs of both launchers on both paths: started without the
// application directory on PATH a launcher restarts itself in a job, and the
// child must see exactly what an in-process launch sees.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <tuple>
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
using testing_support::RunningProcess;
using testing_support::ScopedEnvVariable;

namespace {

std::string utf8(const tstring& text) { return tstrings::toUtf8(text); }

FixtureRecord launchRecord(const ProcessResult& result) {
    const FixtureRecord record = testing_support::parseFixtureRecord(result.out);
    EXPECT_TRUE(record.found) << "stdout: " << result.out << "\nstderr: " << result.err;
    return record;
}

int countLinesContaining(const std::string& text, const std::string& part) {
    int count = 0;
    for (const std::string& line : testing_support::lines(text)) {
        count += line.find(part) != std::string::npos ? 1 : 0;
    }
    return count;
}

// Checks which path a finished launch took: a restart runs the runtime in a
// second process.
void expectPathTaken(const ProcessResult& result, LaunchPath path) {
    const FixtureRecord record = launchRecord(result);
    if (path == LaunchPath::InProcess) {
        EXPECT_EQ(record.pid, result.pid);
    } else {
        EXPECT_NE(record.pid, result.pid);
    }
}

struct MainEntryCase {
    const char* name;
    std::string cfg;
    // The expected vector, "<launcher>", "<app>" and "<root>" standing for
    // the image's paths.
    std::vector<std::string> argv;
};

std::string expand(std::string text, const LauncherImage& image) {
    const std::pair<std::string, std::string> names[] = {{"<launcher>", utf8(image.launcherPath())},
                                                          {"<app>", utf8(image.appDir())},
                                                          {"<root>", utf8(image.root())}};
    for (const auto& [name, value] : names) {
        for (std::size_t at = text.find(name); at != std::string::npos; at = text.find(name, at + value.size())) {
            text.replace(at, name.size(), value);
        }
    }
    return text;
}

const MainEntryCase kMainEntries[] = {
    {"Classic",
     "[Application]\n"
     "app.classpath=$APPDIR\\a.jar\n"
     "app.classpath=$APPDIR\\b.jar\n"
     "app.mainclass=demo.Main\n"
     "[JavaOptions]\n"
     "java-options=-Dx=y z\n"
     "java-options=-Xmx64m\n"
     "[ArgOptions]\n"
     "arguments=--default\n",
     {"<launcher>", "-classpath", "<app>\\a.jar;<app>\\b.jar", "-Dx=y z", "-Xmx64m",
      "-Dkivo.app-path=<launcher>", "demo.Main", "--default"}},
    {"ClassicJar",
     "[Application]\n"
     "app.mainjar=$APPDIR\\demo.jar\n"
     "[ArgOptions]\n"
     "arguments=\n",
     {"<launcher>", "-Dkivo.app-path=<launcher>", "-jar", "<app>\\demo.jar", ""}},
    {"Modular",
     "[Application]\n"
     "app.modulepath=$APPDIR\\mods\n"
     "app.modulepath=$ROOTDIR\\more mods\n"
     "app.mainmodule=demo/demo.Main\n"
     "[JavaOptions]\n"
     "java-options=-Xss1m\n",
     {"<launcher>", "--module-path", "<app>\\mods", "--module-path", "<root>\\more mods", "-Xss1m",
      "-Dkivo.app-path=<launcher>", "-m", "demo/demo.Main"}},
};

void PrintTo(const MainEntryCase& entry, std::ostream* os) { *os << entry.name; }

}  // namespace

class RestartMainEntryTest : public testing::TestWithParam<std::tuple<MainEntryCase, LaunchPath, Launcher>> {};

TEST_P(RestartMainEntryTest, StartsWithExactArgumentVector) {
    const auto& [entry, path, launcher] = GetParam();
    LauncherImage image(launcher);
    image.installRuntime();
    image.writeCfg(entry.cfg);

    const ProcessResult result = image.run({}, path);

    ASSERT_EQ(result.exitCode, 0u) << result.err;
    EXPECT_EQ(result.err, "");
    std::vector<std::string> expected;
    for (const std::string& arg : entry.argv) {
        expected.push_back(expand(arg, image));
    }
    const FixtureRecord record = launchRecord(result);
    EXPECT_EQ(record.argv, expected);
    EXPECT_EQ(record.params, testing_support::kLaunchParams);
    expectPathTaken(result, path);
}

INSTANTIATE_TEST_SUITE_P(Paths, RestartMainEntryTest,
                         testing::Combine(testing::ValuesIn(kMainEntries),
                                          testing::Values(LaunchPath::InProcess, LaunchPath::Restart),
                                          testing::Values(Launcher::Console, Launcher::Windowed)),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).name) +
                                    testing::PrintToString(std::get<1>(info.param)) +
                                    testing::PrintToString(std::get<2>(info.param));
                         });

class RestartTest : public testing::TestWithParam<Launcher> {
protected:
    void SetUp() override {
        image.installRuntime();
        image.writeCfg("[Application]\napp.mainclass=demo.Main\n[ArgOptions]\narguments=--default\n");
    }

    LauncherImage image{GetParam()};
};

INSTANTIATE_TEST_SUITE_P(Launchers, RestartTest, testing::Values(Launcher::Console, Launcher::Windowed),
                         [](const auto& info) { return testing::PrintToString(info.param); });

TEST_P(RestartTest, AwkwardArgumentsArriveUnchangedOnBothPaths) {
    const tstring_array args = {L"",       L"a b",          L"say \"hi\"", L"trail\\",       L"two trail\\\\",
                                L"x\\ y\\", L"tab\there",    L"\"",         L"a\\\\\"b",      L"  ",
                                L"\u00e9", L"caf\u00e9 au", L"%PATH%",     L"C:\\Program Files\\"};
    std::vector<std::string> expected = {utf8(image.launcherPath()), utf8(L"-Dkivo.app-path=" + image.launcherPath()),
                                         "demo.Main"};
    for (const tstring& arg : args) {
        expected.push_back(utf8(arg));
    }

    const ProcessResult inProcess = image.run(args, LaunchPath::InProcess);
    const ProcessResult restarted = image.run(args, LaunchPath::Restart);

    EXPECT_EQ(inProcess.exitCode, 0u) << inProcess.err;
    EXPECT_EQ(restarted.exitCode, 0u) << restarted.err;
    EXPECT_EQ(launchRecord(inProcess).argv, expected);
    EXPECT_EQ(launchRecord(restarted).argv, expected);
    expectPathTaken(restarted, LaunchPath::Restart);
}

TEST_P(RestartTest, ChildSeesAppDirAppendedToPath) {
    ProcessOptions options;
    options.env[L"KIVO_FIXTURE_SHOW_ENV"] = L"PATH";

    const ProcessResult result = image.run({}, LaunchPath::Restart, options);

    EXPECT_EQ(result.exitCode, 0u) << result.err;
    EXPECT_EQ(launchRecord(result).env["PATH"],
              tstrings::toUtf8(image.pathFor(LaunchPath::Restart) + L";" + image.appDir()));
}

TEST_P(RestartTest, ExitCodeOfChildIsPassedThrough) {
    for (const auto& [value, code] : {std::pair<const wchar_t*, DWORD>{L"5", 5}, {L"0", 0},
                                      {L"3221225477", 0xC0000005}, {L"4294967295", 0xFFFFFFFF}}) {
        ProcessOptions options;
        options.env[L"KIVO_FIXTURE_EXIT"] = value;

        const ProcessResult result = image.run({}, LaunchPath::Restart, options);

        EXPECT_EQ(result.exitCode, code) << tstrings::toUtf8(value);
        EXPECT_FALSE(result.timedOut) << tstrings::toUtf8(value);
        expectPathTaken(result, LaunchPath::Restart);
    }
}

TEST_P(RestartTest, TracesChildExitCode) {
    ProcessOptions options;
    options.env[L"KIVO_DEBUG"] = L"true";
    options.env[L"KIVO_FIXTURE_EXIT"] = L"5";

    const ProcessResult result = image.run({}, LaunchPath::Restart, options);

    EXPECT_EQ(result.exitCode, 5u);
    EXPECT_EQ(countLinesContaining(result.err, ": Executor worker thread terminated. Exit code=5"), 1) << result.err;
    EXPECT_EQ(countLinesContaining(result.err, "CreateProcess[suspended][visible][inherit]("), 1) << result.err;
}

TEST_P(RestartTest, PathWithTrailingBackslashRestartsOnce) {
    ProcessOptions options;
    options.env[L"PATH"] = image.pathFor(LaunchPath::Restart) + L";" + image.appDir() + L"\\";
    options.env[L"KIVO_DEBUG"] = L"true";
    options.timeoutMs = 30000;

    const ProcessResult result = image.run({}, LaunchPath::Restart, options);

    EXPECT_FALSE(result.timedOut);
    EXPECT_EQ(result.exitCode, 0u) << result.err;
    EXPECT_EQ(countLinesContaining(result.err, ": CreateProcess"), 1) << result.err;
    expectPathTaken(result, LaunchPath::Restart);
}

TEST(RestartImageTest, AppDirContainingSemicolonRestartsOnce) {
    // No piece of PATH can name this directory; the child must still take
    // the in-process path. The runtime sits outside it, where a ";" in its
    // path cannot hinder the DLL search.
    LauncherImage image(L"Demo.exe", L"semi;colon");
    const tstring runtimeDir = image.root().substr(0, image.root().rfind(L'\\')) + L"\\runtime";
    testing_support::copyTree(testing_support::testBinDir() + L"\\fixtures\\runtime", runtimeDir);
    image.writeCfg("[Application]\napp.runtime=" + tstrings::toUtf8(runtimeDir) + "\napp.mainclass=demo.Main\n");
    ProcessOptions options;
    options.env[L"KIVO_DEBUG"] = L"true";
    options.timeoutMs = 30000;

    const ProcessResult result = image.run({L"a"}, LaunchPath::Restart, options);

    EXPECT_FALSE(result.timedOut);
    EXPECT_EQ(result.exitCode, 0u) << result.err;
    EXPECT_EQ(countLinesContaining(result.err, ": CreateProcess"), 1) << result.err;
    expectPathTaken(result, LaunchPath::Restart);
    EXPECT_EQ(launchRecord(result).argv,
              (std::vector<std::string>{utf8(image.launcherPath()), utf8(L"-Dkivo.app-path=" + image.launcherPath()),
                                        "demo.Main", "a"}));
}

TEST_P(RestartTest, KillingLauncherEndsChild) {
    const ScopedEnvVariable path(L"PATH", image.pathFor(LaunchPath::Restart));
    const ScopedEnvVariable debug(L"KIVO_DEBUG", std::nullopt);
    const ScopedEnvVariable sleep(L"KIVO_FIXTURE_SLEEP_MS", tstring(L"60000"));
    RunningProcess launcher(image.launcherPath(), {});

    const FixtureRecord record = testing_support::parseFixtureRecord(launcher.readUntil("qsr: end\n"));
    ASSERT_TRUE(record.found);
    ASSERT_NE(record.pid, launcher.pid());
    const OwnedHandle child(::OpenProcess(SYNCHRONIZE, FALSE, record.pid));
    ASSERT_NE(child.get(), nullptr) << ::GetLastError();
    ASSERT_TRUE(::TerminateProcess(launcher.handle(), 9));

    EXPECT_EQ(::WaitForSingleObject(child.get(), 10000), WAIT_OBJECT_0);
}

class RestartConsoleCtrlTest : public testing::TestWithParam<const char*> {};

// The runtime ends its process with 42 on Ctrl+C and Ctrl+Break; a launcher
// that died of the event itself would end with its own code instead, and
// take the child with it.
TEST_P(RestartConsoleCtrlTest, EventReachesChildWhileLauncherWaitsForIt) {
    LauncherImage image;
    image.installRuntime(testing_support::testBinDir() + L"\\launcher-fixtures\\ctrl-c");
    image.writeCfg("[Application]\napp.mainclass=demo.Main\n");
    const ScopedEnvVariable path(L"PATH", image.pathFor(LaunchPath::Restart));
    const ScopedEnvVariable debug(L"KIVO_DEBUG", std::nullopt);
    RunningProcess launcher(image.launcherPath(), {}, CREATE_NEW_CONSOLE);

    const FixtureRecord record = testing_support::parseFixtureRecord(launcher.readUntil("qsr: end\n"));
    ASSERT_TRUE(record.found);
    ASSERT_NE(record.pid, launcher.pid());
    const ProcessResult sent =
        testing_support::runProcess(testing_support::testBinDir() + L"\\kivo_send_console_ctrl.exe",
                                    {tstrings::fromUtf8(GetParam()), std::to_wstring(launcher.pid())});
    if (sent.exitCode != 0) {
        GTEST_SKIP() << "this system cannot deliver the console event (sender exit code " << sent.exitCode << ")";
    }

    EXPECT_EQ(launcher.wait(), std::optional<DWORD>(42));
}

INSTANTIATE_TEST_SUITE_P(Events, RestartConsoleCtrlTest, testing::Values("c", "break"),
                         [](const auto& info) { return std::string(info.param[0] == 'c' ? "CtrlC" : "CtrlBreak"); });
