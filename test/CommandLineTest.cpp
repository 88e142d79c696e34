// Tests of the command-line splitting and quoting rules: the edge cases of
// CommandLineCases.h, and quoting that splits back unchanged.
#include <gtest/gtest.h>

#include "CommandLine.h"
#include "CommandLineCases.h"

using command_line_cases::SplitCase;

namespace {

class CommandLineCaseTest : public ::testing::TestWithParam<SplitCase> {};

TEST_P(CommandLineCaseTest, SplitGivesTheDocumentedArguments) {
    EXPECT_EQ(GetParam().args, CommandLine::split(GetParam().commandLine));
}

TEST_P(CommandLineCaseTest, QuotedArgumentsSplitBackUnchanged) {
    const tstring_array& args = GetParam().args;
    tstring line = L"p";
    for (auto arg = args.begin() + 1; arg != args.end(); ++arg) {
        line += L' ' + CommandLine::quoteArgument(*arg);
    }
    tstring_array expected = args;
    expected[0] = L"p";
    EXPECT_EQ(expected, CommandLine::split(line)) << tstrings::toUtf8(line);
}

INSTANTIATE_TEST_SUITE_P(EdgeCases, CommandLineCaseTest, ::testing::ValuesIn(command_line_cases::kSplitCases),
                         command_line_cases::caseName);

TEST(CommandLineTest, EmptyLineGivesNoElement) { EXPECT_EQ(tstring_array{}, CommandLine::split(L"")); }

TEST(CommandLineTest, QuotesProgramPathOnlyForBlanksAndTabs) {
    EXPECT_EQ(L"C:\\app\\prog.exe", CommandLine::quoteProgramPath(L"C:\\app\\prog.exe"));
    EXPECT_EQ(L"\"C:\\my app\\prog.exe\"", CommandLine::quoteProgramPath(L"C:\\my app\\prog.exe"));
    EXPECT_EQ(L"\"C:\\tab\there\\\"", CommandLine::quoteProgramPath(L"C:\\tab\there\\"));
}

TEST(CommandLineTest, QuotedProgramPathSplitsBackUnchanged) {
    for (const tstring& path : {tstring(L"C:\\app\\prog.exe"), tstring(L"C:\\my app\\"), tstring(L"a\tb\\\\")}) {
        EXPECT_EQ(path, CommandLine::split(CommandLine::quoteProgramPath(path) + L" x").front())
            << tstrings::toUtf8(path);
    }
}

}  // namespace
