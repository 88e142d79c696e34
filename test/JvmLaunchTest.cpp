// Tests of starting the runtime: a child program builds a Jvm and launches
// the fixture runtime, whose record on standard output shows what its entry
// point received; failures are checked in-process where nothing is printed.
#include <gtest/gtest.h>

#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "ErrorHandling.h"
#include "FixtureRecord.h"
#include "JvmLauncher.h"
#include "LogCapture.h"
#include "TestSupport.h"

using testing_support::FixtureRecord;
using testing_support::ProcessOptions;
using testing_support::ProcessResult;
using testing_support::TempDir;

namespace {

tstring binPath(const tstring& relative) {
    return testing_support::testBinDir() + L"\\" + relative;
}

const tstring kRuntime = L"fixtures\\runtime\\bin\\qsr.dll";
const tstring kNoEntry = L"fixtures\\noentry\\bin\\qsr.dll";

tstring payloadPath() {
    return binPath(L"jvm_launch_payload.exe");
}

ProcessOptions quietOptions() {
    ProcessOptions options;
    options.env[L"KIVO_DEBUG"] = std::nullopt;
    for (const wchar_t* name : {L"KIVO_FIXTURE_RESULT", L"KIVO_FIXTURE_EXIT", L"KIVO_FIXTURE_CRASH",
                                L"KIVO_FIXTURE_SLEEP_MS", L"KIVO_FIXTURE_SHOW_ENV"}) {
        options.env[name] = std::nullopt;
    }
    return options;
}

ProcessResult runPayload(const tstring_array& args, const ProcessOptions& options = quietOptions()) {
    return testing_support::runProcess(payloadPath(), args, options);
}

std::string utf8(const tstring& text) {
    return tstrings::toUtf8(text);
}

std::vector<std::string> errLines(const ProcessResult& result) {
    return testing_support::lines(result.err);
}

bool endsWith(const std::string& text, const std::string& suffix) {
    return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

bool startsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

// Index of the first line at or after `from` that ends with `message`; the
// lines' size when there is none.
std::size_t findLine(const std::vector<std::string>& lines, const std::string& message, std::size_t from = 0) {
    for (std::size_t i = from; i < lines.size(); ++i) {
        if (endsWith(lines[i], message)) {
            return i;
        }
    }
    return lines.size();
}

// The launch data size of a library path, arguments and variables, counted
// the way the buffer is laid out.
std::int32_t launchDataSize(const std::string& libPath, const std::vector<std::string>& args,
                            const tstring_array& names, const tstring_array& values) {
    std::size_t size = 40 + libPath.size() + 1 + 8 * (args.size() + 1) + 8 * names.size() + 8 * values.size();
    for (const std::string& arg : args) {
        size += arg.size() + 1;
    }
    for (const tstring& text : names) {
        size += 2 * (text.size() + 1);
    }
    for (const tstring& text : values) {
        size += 2 * (text.size() + 1);
    }
    return static_cast<std::int32_t>(size);
}

}  // namespace

TEST(JvmLaunchTest, ConfiguredJvmReachesEntryPointWithItsArguments) {
    TempDir dir;
    const tstring cfg = dir.path() + L"\\app.cfg";
    testing_support::writeFile(cfg,
                               "[Application]\n"
                               "app.classpath=C:\\app\\a.jar\n"
                               "app.classpath=C:\\app\\b b.jar\n"
                               "app.mainclass=demo.Main\n"
                               "[JavaOptions]\n"
                               "java-options=-Xmx64m\n"
                               "java-options=-Dp=two words\n"
                               "[ArgOptions]\n"
                               "arguments=first\n"
                               "arguments=\n");

    const ProcessResult result =
        runPayload({L"--lib", binPath(kRuntime), L"--arg", payloadPath(), L"--cfg", cfg, L"--arg", L"last"});

    EXPECT_EQ(result.exitCode, 0u) << result.err;
    EXPECT_EQ(result.err, "");
    const FixtureRecord record = testing_support::parseFixtureRecord(result.out);
    ASSERT_TRUE(record.found) << result.out;
    const std::vector<std::string> expected = {utf8(payloadPath()),
                                               "-classpath",
                                               "C:\\app\\a.jar;C:\\app\\b b.jar",
                                               "-Xmx64m",
                                               "-Dp=two words",
                                               "-Dkivo.app-path=" + utf8(payloadPath()),
                                               "demo.Main",
                                               "first",
                                               "",
                                               "last"};
    EXPECT_EQ(record.argv, expected);
    EXPECT_EQ(record.argc, static_cast<int>(expected.size()));
    EXPECT_TRUE(record.argvTerminated);
    EXPECT_EQ(record.params, testing_support::kLaunchParams);
    EXPECT_EQ(record.pid, result.pid);
}

TEST(JvmLaunchTest, DebugTraceCarriesBufferSizeAndLaunchLines) {
    ProcessOptions options = quietOptions();
    options.env[L"KIVO_DEBUG"] = tstring(L"true");
    options.env[L"KIVO_FIXTURE_SHOW_ENV"] = tstring(L"KIVO_JVMLAUNCH_A;KIVO_JVMLAUNCH_B;KIVO_JVMLAUNCH_UNSET");
    const tstring lib = binPath(kRuntime);

    const ProcessResult result = runPayload({L"--lib", lib, L"--arg", L"a.exe", L"--arg", L"-jar", L"--arg",
                                             L"x.jar", L"--env", L"KIVO_JVMLAUNCH_A=one", L"--env",
                                             L"KIVO_JVMLAUNCH_B=two = 2"},
                                            options);

    ASSERT_EQ(result.exitCode, 0u) << result.err;
    const std::int32_t size = launchDataSize(utf8(lib), {"a.exe", "-jar", "x.jar"},
                                             {L"KIVO_JVMLAUNCH_A", L"KIVO_JVMLAUNCH_B"}, {L"one", L"two = 2"});
    const std::string need = "Need " + std::to_string(size) + " bytes for JvmlLauncherData buffer";
    const std::vector<std::string> lines = errLines(result);

    const std::size_t firstNeed = findLine(lines, need);
    ASSERT_LT(firstNeed, lines.size()) << result.err;
    EXPECT_TRUE(startsWith(lines[firstNeed], "[TRACE] JvmLauncher.cpp:")) << lines[firstNeed];
    const std::size_t secondNeed = findLine(lines, need, firstNeed + 1);
    ASSERT_LT(secondNeed, lines.size()) << result.err;
    ASSERT_LT(secondNeed + 1, lines.size());
    const std::string initialized = lines[secondNeed + 1];
    const std::string initializedPrefix = "Initialized " + std::to_string(size) + " bytes at ";
    const std::size_t at = initialized.find(initializedPrefix);
    ASSERT_NE(at, std::string::npos) << initialized;
    EXPECT_EQ(initialized.substr(at + initializedPrefix.size() + 16), " address") << initialized;

    const std::size_t library = findLine(lines, "JVM library: \"" + utf8(lib) + "\"", secondNeed);
    ASSERT_LT(library, lines.size()) << result.err;
    const std::vector<std::string> launchLines = {"qsr lib: [" + utf8(lib) + "]",
                                                  "qsr arg[0]: [a.exe]",
                                                  "qsr arg[1]: [-jar]",
                                                  "qsr arg[2]: [x.jar]",
                                                  "env var[0]: KIVO_JVMLAUNCH_A=[one]",
                                                  "env var[1]: KIVO_JVMLAUNCH_B=[two = 2]"};
    ASSERT_GE(lines.size(), library + 1 + launchLines.size());
    EXPECT_EQ(std::vector<std::string>(lines.begin() + library + 1, lines.begin() + library + 1 + launchLines.size()),
              launchLines);

    const FixtureRecord record = testing_support::parseFixtureRecord(result.out);
    ASSERT_TRUE(record.found) << result.out;
    EXPECT_EQ(record.env.at("KIVO_JVMLAUNCH_A"), std::optional<std::string>("one"));
    EXPECT_EQ(record.env.at("KIVO_JVMLAUNCH_B"), std::optional<std::string>("two = 2"));
    EXPECT_EQ(record.env.at("KIVO_JVMLAUNCH_UNSET"), std::nullopt);
}

TEST(JvmLaunchTest, NoLaunchLinesUnlessDebugIsExactlyTrue) {
    for (const std::optional<tstring>& debug : {std::optional<tstring>(), std::optional<tstring>(L"TRUE"),
                                                std::optional<tstring>(L"true "), std::optional<tstring>(L"1")}) {
        ProcessOptions options = quietOptions();
        options.env[L"KIVO_DEBUG"] = debug;
        const ProcessResult result = runPayload({L"--lib", binPath(kRuntime), L"--arg", L"a.exe"}, options);

        EXPECT_EQ(result.exitCode, 0u);
        EXPECT_EQ(result.err, "") << "KIVO_DEBUG=" << utf8(debug.value_or(L"(unset)"));
        EXPECT_TRUE(testing_support::parseFixtureRecord(result.out).found);
    }
}

struct ResultCase {
    const wchar_t* fixtureResult;
    DWORD exitCode;
    const char* err;
};

void PrintTo(const ResultCase& c, std::ostream* os) {
    *os << "result=" << tstrings::toUtf8(c.fixtureResult);
}

class JvmLaunchResultTest : public testing::TestWithParam<ResultCase> {};

TEST_P(JvmLaunchResultTest, OnlyZeroFromEntryPointSucceeds) {
    ProcessOptions options = quietOptions();
    options.env[L"KIVO_FIXTURE_RESULT"] = tstring(GetParam().fixtureResult);

    const ProcessResult result = runPayload({L"--lib", binPath(kRuntime), L"--arg", L"a.exe"}, options);

    EXPECT_EQ(result.exitCode, GetParam().exitCode);
    EXPECT_EQ(testing_support::lines(result.err), testing_support::lines(GetParam().err));
    EXPECT_TRUE(testing_support::parseFixtureRecord(result.out).found);
}

INSTANTIATE_TEST_SUITE_P(Cases, JvmLaunchResultTest,
                         testing::Values(ResultCase{L"0", 0, ""}, ResultCase{L"1", 1, "Failed to launch JVM\n"},
                                         ResultCase{L"-1", 1, "Failed to launch JVM\n"},
                                         ResultCase{L"2147483647", 1, "Failed to launch JVM\n"}));

TEST(JvmLaunchTest, LibraryWithoutEntryPointFailsBeforeLaunchLines) {
    ProcessOptions options = quietOptions();
    options.env[L"KIVO_DEBUG"] = tstring(L"true");
    const tstring lib = binPath(kNoEntry);

    const ProcessResult result = runPayload({L"--lib", lib, L"--arg", L"a.exe"}, options);

    EXPECT_EQ(result.exitCode, 1u);
    EXPECT_EQ(result.out, "");
    const std::vector<std::string> lines = errLines(result);
    EXPECT_LT(findLine(lines, "JVM library: \"" + utf8(lib) + "\""), lines.size()) << result.err;
    EXPECT_EQ(result.err.find("qsr lib:"), std::string::npos) << result.err;
    const std::string message = "GetProcAddress(" + utf8(lib) + ", QSR_Launch) failed. System error [127]";
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(), [&](const std::string& line) { return startsWith(line, message); }),
              1)
        << result.err;
}

TEST(JvmLaunchTest, MissingLibraryFailsWithLoadError) {
    const tstring lib = binPath(L"fixtures\\missing\\bin\\qsr.dll");
    const ProcessResult result = runPayload({L"--lib", lib, L"--arg", L"a.exe"});

    EXPECT_EQ(result.exitCode, 1u);
    EXPECT_EQ(result.out, "");
    const std::vector<std::string> lines = errLines(result);
    ASSERT_EQ(lines.size(), 1u) << result.err;
    EXPECT_TRUE(startsWith(lines[0], "LoadLibraryW(" + utf8(lib) + ") failed. System error [")) << lines[0];
}

TEST(JvmLaunchTest, PathIsUtf8AndArgumentsAreAnsiCodePage) {
    TempDir dir;
    const tstring runtimeBin = dir.path() + L"\\rt \u00e9\u65e5\\bin";
    testing_support::makeDirs(runtimeBin);
    testing_support::copyFile(binPath(L"fixtures\\runtime\\bin\\qsr.dll"), runtimeBin + L"\\qsr.dll");
    testing_support::copyFile(binPath(L"fixtures\\runtime\\bin\\qsrdep.dll"), runtimeBin + L"\\qsrdep.dll");
    const tstring lib = runtimeBin + L"\\qsr.dll";
    const tstring arg = L"\u00e9\u65e5";
    ProcessOptions options = quietOptions();
    options.env[L"KIVO_DEBUG"] = tstring(L"true");

    options.env[L"KIVO_FIXTURE_SHOW_ENV"] = tstring(L"KIVO_JVMLAUNCH_U");

    const ProcessResult result =
        runPayload({L"--lib", lib, L"--arg", arg, L"--env", L"KIVO_JVMLAUNCH_U=" + arg}, options);

    ASSERT_EQ(result.exitCode, 0u) << result.err;
    const std::vector<std::string> lines = errLines(result);
    EXPECT_LT(findLine(lines, "qsr lib: [" + utf8(lib) + "]"), lines.size()) << result.err;
    EXPECT_LT(findLine(lines, "env var[0]: KIVO_JVMLAUNCH_U=[" + utf8(arg) + "]"), lines.size()) << result.err;
    const FixtureRecord record = testing_support::parseFixtureRecord(result.out);
    ASSERT_TRUE(record.found);
    ASSERT_EQ(record.argv.size(), 1u);
    EXPECT_EQ(record.argv[0], tstrings::toAcp(arg));
    EXPECT_NE(record.argv[0], utf8(arg));
    EXPECT_EQ(record.env.at("KIVO_JVMLAUNCH_U"), std::optional<std::string>(utf8(arg)));
}

TEST(JvmLaunchTest, FixtureEndsProcessAsTold) {
    ProcessOptions exiting = quietOptions();
    exiting.env[L"KIVO_FIXTURE_EXIT"] = tstring(L"7");
    EXPECT_EQ(runPayload({L"--lib", binPath(kRuntime)}, exiting).exitCode, 7u);

    // The child inherits the error mode: no fault dialog may wait for a user.
    ::SetErrorMode(::GetErrorMode() | SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    ProcessOptions crashing = quietOptions();
    crashing.env[L"KIVO_FIXTURE_CRASH"] = tstring(L"1");
    const ProcessResult crashed = runPayload({L"--lib", binPath(kRuntime)}, crashing);
    EXPECT_EQ(crashed.exitCode, 0xC0000005u);
    EXPECT_TRUE(testing_support::parseFixtureRecord(crashed.out).found);
}

namespace {

// The process's committed private memory.
std::size_t committedBytes() {
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof(counters);
    ::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof(counters));
    return counters.PagefileUsage;
}

}  // namespace

TEST(JvmLaunchTest, LibraryWithoutEntryPointRaisesAndFreesBuffer) {
    const tstring lib = binPath(kNoEntry);
    Jvm jvm;
    jvm.setLibraryPath(lib);
    const tstring bigArgument(1 << 20, L'x');
    jvm.appendArgument(bigArgument);
    const testing_support::LogCapture quiet;

    const std::size_t before = committedBytes();
    for (int i = 0; i < 100; ++i) {
        try {
            jvm.launch();
            FAIL() << "no error";
        } catch (const KivoError<SysError>& e) {
            ASSERT_TRUE(startsWith(e.bareMessage(), "GetProcAddress(" + utf8(lib) + ", QSR_Launch) failed."))
                << e.bareMessage();
        }
    }
    // Each launch builds a buffer of more than 1 MiB; a leak would keep them.
    EXPECT_LT(committedBytes(), before + 50u * (1 << 20));
}
