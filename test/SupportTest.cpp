// Tests of the test helpers themselves: argument quoting, child processes
// with environment changes and captured output, temporary files.
#include <windows.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include "TestSupport.h"

using namespace testing_support;

namespace {

tstring childPath() { return testBinDir() + L"\\kivo_support_child.exe"; }

ProcessResult runChild(const tstring_array& script, const ProcessOptions& options = {}) {
    return runProcess(childPath(), script, options);
}

tstring_array splitCommandLine(const tstring& commandLine) {
    int argc = 0;
    const OwnedLocal<wchar_t*> argv(::CommandLineToArgvW(commandLine.c_str(), &argc));
    return tstring_array(argv.get(), argv.get() + argc);
}

struct QuoteCase {
    tstring arg;
    tstring quoted;
};

void PrintTo(const QuoteCase& c, std::ostream* os) { *os << ::testing::PrintToString(c.arg); }

class QuoteArgumentTest : public ::testing::TestWithParam<QuoteCase> {};

TEST_P(QuoteArgumentTest, QuotesOnlyWhatCommandLineToArgvWWouldSplit) {
    EXPECT_EQ(GetParam().quoted, quoteArgument(GetParam().arg));
}

TEST_P(QuoteArgumentTest, RoundTripsThroughCommandLineToArgvW) {
    tstring_array parsed = splitCommandLine(L"prog.exe " + quoteArgument(GetParam().arg) + L" next");
    EXPECT_EQ((tstring_array{L"prog.exe", GetParam().arg, L"next"}), parsed);
}

INSTANTIATE_TEST_SUITE_P(
    Table, QuoteArgumentTest,
    ::testing::Values(QuoteCase{L"plain", L"plain"}, QuoteCase{L"", L"\"\""},
                      QuoteCase{L"two words", L"\"two words\""}, QuoteCase{L"tab\there", L"\"tab\there\""},
                      QuoteCase{L"new\nline", L"\"new\nline\""}, QuoteCase{L"v\vtab", L"\"v\vtab\""},
                      QuoteCase{L"say \"hi\"", L"\"say \\\"hi\\\"\""}, QuoteCase{L"a\"b", L"\"a\\\"b\""},
                      QuoteCase{L"C:\\dir\\", L"C:\\dir\\"}, QuoteCase{L"C:\\my dir\\", L"\"C:\\my dir\\\\\""},
                      QuoteCase{L"a\\\\\"b", L"\"a\\\\\\\\\\\"b\""},
                      QuoteCase{L"\\\\server\\share x", L"\"\\\\server\\share x\""},
                      QuoteCase{L"end\\\\", L"end\\\\"}, QuoteCase{L"end \\\\", L"\"end \\\\\\\\\""}));

TEST(RunProcessTest, PassesArgumentsUnchanged) {
    tstring_array args = {L"", L"two words", L"say \"hi\"", L"C:\\my dir\\", L"a\\\\\"b", L"\x00e9t\x00e9",
                          L"\xd83d\xde00", L"tab\tnew\nline"};
    tstring_array script = {L"args"};
    script.insert(script.end(), args.begin(), args.end());
    ProcessResult result = runChild(script);

    std::string expected;
    for (const char* arg : {"", "two words", "say \"hi\"", "C:\\my dir\\", "a\\\\\"b", "\xc3\xa9t\xc3\xa9",
                            "\xf0\x9f\x98\x80", "tab\tnew\nline"}) {
        expected += std::string(arg) + '\0';
    }
    EXPECT_EQ(expected, result.out);
    EXPECT_EQ(0u, result.exitCode);
    EXPECT_FALSE(result.timedOut);
    EXPECT_NE(0u, result.pid);
}

TEST(RunProcessTest, UsesRawCommandLineVerbatim) {
    ProcessOptions options;
    options.rawCommandLine = L"\"" + childPath() + L"\" args \"a b\"c d\\\\\"e\"";
    EXPECT_EQ(std::string("a bc\0d\\e\0", 9), runChild({}, options).out);
}

class ExitCodeTest : public ::testing::TestWithParam<DWORD> {};

TEST_P(ExitCodeTest, ReportsTheChildsExitCode) {
    EXPECT_EQ(GetParam(), runChild({L"exit", std::to_wstring(GetParam())}).exitCode);
}

INSTANTIATE_TEST_SUITE_P(Table, ExitCodeTest, ::testing::Values(0u, 1u, 255u, 256u, 0xC0000005u));

TEST(RunProcessTest, CapturesStandardErrorApartFromStandardOutput) {
    ProcessResult result = runChild({L"err", L"to stderr", L"out", L"to stdout", L"err", L"!"});
    EXPECT_EQ("to stdout", result.out);
    EXPECT_EQ("to stderr!", result.err);
}

TEST(RunProcessTest, ReadsBothPipesWhileTheChildFillsThem) {
    ProcessResult result = runChild({L"flood", L"1000000"});
    EXPECT_EQ(std::string(1000000, 'o'), result.out);
    EXPECT_EQ(std::string(1000000, 'e'), result.err);
}

TEST(RunProcessTest, AppliesEnvironmentChangesToTheChildOnly) {
    ASSERT_TRUE(::SetEnvironmentVariableW(L"Kivo_Support_Old", L"parent value"));
    ASSERT_TRUE(::SetEnvironmentVariableW(L"KIVO_SUPPORT_GONE", L"parent value"));
    ProcessOptions options;
    options.env[L"KIVO_SUPPORT_OLD"] = L"child value";
    options.env[L"KIVO_SUPPORT_GONE"] = std::nullopt;
    options.env[L"KIVO_SUPPORT_NEW"] = L"\x00e9";
    options.env[L"KIVO_SUPPORT_EMPTY"] = L"";
    ProcessResult result = runChild({L"env", L"kivo_support_old", L"env", L"KIVO_SUPPORT_GONE", L"env",
                                     L"KIVO_SUPPORT_NEW", L"env", L"KIVO_SUPPORT_EMPTY", L"env",
                                     L"KIVO_SUPPORT_NEVER"},
                                    options);

    EXPECT_EQ(
        "kivo_support_old=child value\nKIVO_SUPPORT_GONE unset\nKIVO_SUPPORT_NEW=\xc3\xa9\nKIVO_SUPPORT_EMPTY=\n"
        "KIVO_SUPPORT_NEVER unset\n",
        result.out);
    wchar_t value[64] = {};
    ::GetEnvironmentVariableW(L"KIVO_SUPPORT_GONE", value, 64);
    EXPECT_EQ(tstring(L"parent value"), value);
    ::SetEnvironmentVariableW(L"Kivo_Support_Old", nullptr);
    ::SetEnvironmentVariableW(L"KIVO_SUPPORT_GONE", nullptr);
}

TEST(RunProcessTest, StartsTheChildInTheGivenDirectory) {
    TempDir dir;
    ProcessOptions options;
    options.cwd = dir.path();
    ProcessResult result = runChild({L"cwd"}, options);
    EXPECT_EQ(tstrings::toUtf8(dir.path()) + "\n", result.out);
}

TEST(RunProcessTest, KillsAChildThatOutlivesTheTimeout) {
    ProcessOptions options;
    options.timeoutMs = 300;
    ProcessResult result = runChild({L"sleep", L"60000"}, options);
    EXPECT_TRUE(result.timedOut);
    EXPECT_NE(0u, result.exitCode);
}

// A named manual-reset event, for handshakes with children.
class NamedEvent {
public:
    NamedEvent() {
        static int counter = 0;
        name = L"kivo-support-" + std::to_wstring(::GetCurrentProcessId()) + L"-" + std::to_wstring(++counter);
        handle.reset(::CreateEventW(nullptr, TRUE, FALSE, name.c_str()));
    }

    void set() { ::SetEvent(handle.get()); }
    tstring name;

private:
    OwnedHandle handle;
};

// The child waits until its own child runs before it ends: under Wine a
// child whose parent ends while it is still starting can hang for good.
TEST(RunProcessTest, WaitsForGrandchildrenThatHoldTheOutput) {
    NamedEvent ready;
    ProcessResult result = runChild({L"out", L"child", L"spawn", L"6", L"signal", ready.name, L"sleep", L"200",
                                     L"out", L"grandchild", L"wait", ready.name});
    EXPECT_EQ("childgrandchild", result.out);
    EXPECT_EQ(0u, result.exitCode);
    EXPECT_FALSE(result.timedOut);
}

TEST(RunProcessTest, GivesUpOnOutputHeldOpenPastTheTimeout) {
    NamedEvent ready;
    NamedEvent release;
    ProcessOptions options;
    options.timeoutMs = 3000;
    ProcessResult result = runChild(
        {L"out", L"child", L"spawn", L"4", L"signal", ready.name, L"wait", release.name, L"wait", ready.name}, options);
    release.set();
    EXPECT_TRUE(result.timedOut);
    EXPECT_EQ("child", result.out);
}

TEST(TempDirTest, RemovesNestedAndReadOnlyContent) {
    tstring path;
    {
        TempDir dir(L"support");
        path = dir.path();
        makeDirs(path + L"\\a\\b\\c");
        writeFile(path + L"\\a\\b\\c\\file.txt", "x");
        ASSERT_TRUE(::SetFileAttributesW((path + L"\\a\\b\\c\\file.txt").c_str(), FILE_ATTRIBUTE_READONLY));
        ASSERT_TRUE(::SetFileAttributesW((path + L"\\a").c_str(), FILE_ATTRIBUTE_READONLY));
    }
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesW(path.c_str()));
}

TEST(FileHelpersTest, WriteAndReadAreByteExact) {
    TempDir dir;
    std::string bytes("line\r\nnext\n\0\xff", 13);
    writeFile(dir.path() + L"\\f.bin", bytes);
    copyFile(dir.path() + L"\\f.bin", dir.path() + L"\\g.bin");
    EXPECT_EQ(bytes, readFile(dir.path() + L"\\g.bin"));
}

TEST(FileHelpersTest, TestBinDirHoldsTheHelperPrograms) {
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesW(childPath().c_str()));
}

TEST(LinesTest, SplitsAtLineFeedsAndDropsCarriageReturns) {
    EXPECT_EQ(std::vector<std::string>{}, lines(""));
    EXPECT_EQ((std::vector<std::string>{"a", "b"}), lines("a\r\nb\n"));
    EXPECT_EQ((std::vector<std::string>{"a", "", "b"}), lines("a\n\nb"));
    EXPECT_EQ((std::vector<std::string>{"a", "b"}), lines("a\nb\r"));
}

}  // namespace
