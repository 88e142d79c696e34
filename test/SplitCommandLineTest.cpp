// Tests of the Windows command-line splitting: the rules' edge cases of
// CommandLineCases.h, and agreement with the system's CommandLineToArgvW on
// them and on 100,000 random lines.
#include <windows.h>

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "CommandLineCases.h"
#include "SysInfo.h"
#include "TestSupport.h"
#include "WinSysInfo.h"

using command_line_cases::SplitCase;
using testing_support::splitWithCommandLineToArgvW;

namespace {

class SplitCommandLineCaseTest : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitCommandLineCaseTest, GivesTheDocumentedArguments) {
    EXPECT_EQ(SysInfo::splitCommandLine(GetParam().commandLine), GetParam().args);
}

TEST_P(SplitCommandLineCaseTest, AgreesWithCommandLineToArgvW) {
    EXPECT_EQ(SysInfo::splitCommandLine(GetParam().commandLine), splitWithCommandLineToArgvW(GetParam().commandLine));
}

INSTANTIATE_TEST_SUITE_P(EdgeCases, SplitCommandLineCaseTest, ::testing::ValuesIn(command_line_cases::kSplitCases),
                         command_line_cases::caseName);

TEST(SplitCommandLineTest, EmptyLineGivesExecutablePath) {
    EXPECT_EQ(SysInfo::splitCommandLine(L""), tstring_array{SysInfo::getExecutablePath()});
    EXPECT_EQ(SysInfo::splitCommandLine(L""), splitWithCommandLineToArgvW(L""));
}

// 100,000 lines of up to 24 characters, many of them short, drawn mostly from
// the characters the rules are about, with a fixed seed so that a failure can
// be repeated.
TEST(SplitCommandLineTest, AgreesWithCommandLineToArgvWOnRandomLines) {
    const tstring alphabet = L"   \t\"\"\"\"\\\\\\\\\\ab\x00e9\x65e5\n";
    std::mt19937 random(20261208);
    std::uniform_int_distribution<std::size_t> length(0, 24);
    std::uniform_int_distribution<std::size_t> pick(0, alphabet.size());
    int disagreements = 0;
    for (int i = 0; i < 100000; ++i) {
        tstring line;
        for (std::size_t n = length(random); line.size() < n;) {
            const std::size_t at = pick(random);
            // One past the alphabet stands for a character outside the BMP.
            line += at < alphabet.size() ? tstring(1, alphabet[at]) : tstring(L"\xd83d\xde00");
        }
        const tstring_array ours = SysInfo::splitCommandLine(line);
        const tstring_array system = splitWithCommandLineToArgvW(line);
        if (ours != system && ++disagreements <= 5) {
            ADD_FAILURE() << "line " << ::testing::PrintToString(line) << "\n  ours:   "
                          << ::testing::PrintToString(ours) << "\n  system: " << ::testing::PrintToString(system);
        }
    }

    EXPECT_EQ(disagreements, 0);
}

TEST(SplitCommandLineTest, GetCommandArgsSplitsThisProcessCommandLine) {
    EXPECT_EQ(SysInfo::getCommandArgs(SysInfo::IncludeProgramName), splitWithCommandLineToArgvW(::GetCommandLineW()));
}

}  // namespace
