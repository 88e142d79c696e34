// Tests of the launch wrapper, seen from outside through the payloads of
// app_payloads.exe; AppLaunchInProcessTest.cpp sees it from inside.
#include <windows.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <optional>
#include <regex>

#include "TestSupport.h"
#include "tstrings.h"

using testing_support::lines;
using testing_support::ProcessResult;

namespace {

ProcessResult runPayload(const tstring& payload, const std::optional<tstring>& debug) {
    testing_support::ProcessOptions options;
    options.env[L"KIVO_DEBUG"] = debug;
    return testing_support::runProcess(testing_support::testBinDir() + L"\\app_payloads.exe", {payload}, options);
}

std::string crtText(int error) {
    wchar_t text[2048];
    ::_wcserror_s(text, 2048, error);
    return tstrings::toUtf8(text);
}

class AppLaunchDebugOffTest : public ::testing::TestWithParam<std::optional<tstring>> {};

TEST_P(AppLaunchDebugOffTest, SuccessWritesNothing) {
    const ProcessResult result = runPayload(L"ok", GetParam());
    EXPECT_EQ(0u, result.exitCode);
    EXPECT_EQ("", result.err);
    EXPECT_EQ("", result.out);
}

TEST_P(AppLaunchDebugOffTest, FailureWritesOnlyTheBareMessage) {
    const ProcessResult result = runPayload(L"traced", GetParam());
    EXPECT_EQ(1u, result.exitCode);
    EXPECT_EQ(std::vector<std::string>{"Traced payload failed"}, lines(result.err));
    EXPECT_EQ('\n', result.err.back());
    EXPECT_EQ("", result.out);
}

INSTANTIATE_TEST_SUITE_P(Table, AppLaunchDebugOffTest,
                         ::testing::Values(std::nullopt, tstring(L""), tstring(L"TRUE"), tstring(L"True"),
                                           tstring(L"1"), tstring(L"true "), tstring(L" true")));

struct FailureCase {
    const char* payload;
    std::string message;
};

void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.payload; }

class AppLaunchFailureTest : public ::testing::TestWithParam<FailureCase> {};

TEST_P(AppLaunchFailureTest, ExitsWithOneAndShowsTheMessage) {
    const ProcessResult result = runPayload(tstrings::fromUtf8(GetParam().payload), std::nullopt);
    EXPECT_EQ(1u, result.exitCode);
    EXPECT_EQ(std::vector<std::string>{GetParam().message}, lines(result.err));
    EXPECT_EQ("", result.out);
}

INSTANTIATE_TEST_SUITE_P(Table, AppLaunchFailureTest,
                         ::testing::Values(FailureCase{"kivo-error", "Payload failed: no runtime"},
                                           FailureCase{"runtime-error", crtText(ENOENT)},
                                           FailureCase{"bad-alloc", "Unknown error"},
                                           FailureCase{"non-exception", "Unknown error"}));

TEST(AppLaunchTest, SysErrorShowsCallCodeAndDescription) {
    const ProcessResult result = runPayload(L"sys-error", std::nullopt);
    EXPECT_EQ(1u, result.exitCode);
    const std::vector<std::string> err = lines(result.err);
    ASSERT_EQ(1u, err.size()) << result.err;
    const std::string path = tstrings::toUtf8(testing_support::testBinDir() + L"\\kivo-missing.dll");
    const std::string head = "LoadLibraryW(" + path + ") failed. System error [126](system error 126 (";
    EXPECT_EQ(0u, err[0].find(head)) << err[0];
    EXPECT_GT(err[0].size(), head.size() + 2);
    EXPECT_EQ("))", err[0].substr(err[0].size() - 2));
}

// Matches `line` against `pattern` and gives the first captured group.
std::string match(const std::string& line, const std::string& pattern) {
    std::smatch m;
    EXPECT_TRUE(std::regex_match(line, m, std::regex(pattern))) << line << "\n  does not match " << pattern;
    return m.size() > 1 ? m[1].str() : std::string();
}

const char* const kEntering = R"(\[TRACE\] app\.cpp:(\d+): Entering app::launch)";

std::string exitingLine(const std::string& enteredAt) {
    return "[TRACE] app.cpp:0: Exiting app::launch (entered at app.cpp:" + enteredAt + ")";
}

TEST(AppLaunchTest, DebugTraceOfSuccessIsEnteringAndExiting) {
    const ProcessResult result = runPayload(L"ok", tstring(L"true"));
    EXPECT_EQ(0u, result.exitCode);
    const std::vector<std::string> err = lines(result.err);
    ASSERT_EQ(2u, err.size()) << result.err;
    EXPECT_EQ(exitingLine(match(err[0], kEntering)), err[1]);
    EXPECT_EQ("", result.out);
}

TEST(AppLaunchTest, DebugTraceOfFailureShowsRecordsThenBareMessage) {
    const ProcessResult result = runPayload(L"traced", tstring(L"true"));
    EXPECT_EQ(1u, result.exitCode);
    const std::vector<std::string> err = lines(result.err);
    ASSERT_EQ(7u, err.size()) << result.err;
    const std::string launchLine = match(err[0], kEntering);
    const std::string tracedLine =
        match(err[1], R"(\[TRACE\] app_payloads\.cpp:(\d+): Entering `anonymous-namespace'::traced)");
    EXPECT_EQ(std::to_string(std::stoi(tracedLine) + 1),
              match(err[2], R"(\[TRACE\] app_payloads\.cpp:(\d+): Payload 1 running)"));
    EXPECT_EQ("[TRACE] app_payloads.cpp:0: Exiting `anonymous-namespace'::traced (entered at app_payloads.cpp:" +
                  tracedLine + ")",
              err[3]);
    EXPECT_EQ(std::to_string(std::stoi(tracedLine) + 2),
              match(err[4], R"(\[ERROR\] app\.cpp:\d+: Exception with message 'app_payloads\.cpp\((\d+)\) at )"
                            R"(`anonymous-namespace'::traced\(\): Traced payload failed' caught)"));
    EXPECT_EQ("Traced payload failed", err[5]);
    EXPECT_EQ(exitingLine(launchLine), err[6]);
    EXPECT_EQ("", result.out);
}

TEST(AppLaunchTest, DebugTraceOfNonExceptionLogsUnknownException) {
    const ProcessResult result = runPayload(L"non-exception", tstring(L"true"));
    EXPECT_EQ(1u, result.exitCode);
    const std::vector<std::string> err = lines(result.err);
    ASSERT_EQ(4u, err.size()) << result.err;
    match(err[1], R"(\[ERROR\] app\.cpp:\d+: Unknown exception caught)");
    EXPECT_EQ("Unknown error", err[2]);
    EXPECT_EQ(exitingLine(match(err[0], kEntering)), err[3]);
}

TEST(AppLaunchTest, DefaultAppenderWritesTwoLineRecordsToStandardOutput) {
    const ProcessResult result = runPayload(L"default-log", std::nullopt);
    EXPECT_EQ(0u, result.exitCode);
    const std::vector<std::string> out = lines(result.out);
    ASSERT_EQ(2u, out.size()) << result.out;
    EXPECT_EQ(std::to_string(result.pid),
              match(out[0], R"(\[\d{4}/\d\d/\d\d \d\d:\d\d:\d\d\.\d{3}, app_payloads\.exe \(PID: (\d+), TID: \d+\), )"
                            R"(app_payloads\.cpp:\d+ \(wmain\)\])"));
    EXPECT_EQ("\tTRACE: Record for the default appender", out[1]);
    EXPECT_EQ("", result.err);
}

}  // namespace
