// Tests of the launcher's own command-line splitting: a table of the rules'
// edge cases, and agreement with the system's CommandLineToArgvW on them and
// on 100,000 random lines.
#include <windows.h>

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "SysInfo.h"
#include "TestSupport.h"
#include "WinSysInfo.h"

using testing_support::splitWithCommandLineToArgvW;

namespace {

struct SplitCase {
    const char* name;
    tstring commandLine;
    tstring_array args;
};

void PrintTo(const SplitCase& c, std::ostream* os) { *os << c.name; }

class SplitCommandLineCaseTest : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitCommandLineCaseTest, GivesTheDocumentedArguments) {
    EXPECT_EQ(SysInfo::splitCommandLine(GetParam().commandLine), GetParam().args);
}

TEST_P(SplitCommandLineCaseTest, AgreesWithCommandLineToArgvW) {
    EXPECT_EQ(SysInfo::splitCommandLine(GetParam().commandLine), splitWithCommandLineToArgvW(GetParam().commandLine));
}

const SplitCase kSplitCases[] = {
    {"ProgramNameAlone", L"prog", {L"prog"}},
    {"QuotedProgramNameKeepsBlanks", LR"("C:\my dir\prog.exe" a)", {LR"(C:\my dir\prog.exe)", L"a"}},
    {"ProgramNameKnowsNoEscapes", LR"("C:\dir\" x)", {LR"(C:\dir\)", L"x"}},
    {"ArgumentFollowsQuotedProgramNameAtOnce", LR"("prog"arg "x")", {L"prog", L"arg", L"x"}},
    {"UnquotedProgramNameRunsToBlank", LR"(pro"g a" b)", {LR"(pro"g)", L"a b"}},
    {"UnclosedQuotedProgramName", LR"("prog a b)", {L"prog a b"}},
    {"OnlyBlanksGiveEmptyProgramName", L"  \t ", {L""}},
    {"LeadingBlanksGiveEmptyProgramName", L"  a b", {L"", L"a", L"b"}},
    {"TrailingBlanksAddNothing", L"p a \t ", {L"p", L"a"}},
    {"TabsSeparate", L"p\ta\t\tb", {L"p", L"a", L"b"}},
    {"OtherControlCharactersDoNotSeparate", L"p a\nb\vc\rd", {L"p", L"a\nb\vc\rd"}},
    {"EmptyQuotedArgument", LR"(p "" x)", {L"p", L"", L"x"}},
    {"EmptyQuotedArgumentAtEnd", LR"(p "")", {L"p", L""}},
    {"QuotedBlank", LR"(p "a b")", {L"p", L"a b"}},
    {"QuotesInsideArgument", LR"(p a"b c"d e)", {L"p", L"ab cd", L"e"}},
    {"UnclosedQuoteRunsToEnd", LR"(p "a b)", {L"p", L"a b"}},
    {"BackslashesWithoutQuoteStay", LR"(p a\\b\ c\\)", {L"p", LR"(a\\b\)", LR"(c\\)"}},
    {"EvenBackslashesBeforeQuoteAreHalvedAndQuoteOpens", LR"(p a\\"b c")", {L"p", LR"(a\b c)"}},
    {"OddBackslashesBeforeQuoteGiveLiteralQuote", LR"(p a\\\"b c)", {L"p", LR"(a\"b)", L"c"}},
    {"OneBackslashBeforeQuote", LR"(p \")", {L"p", L"\""}},
    {"EscapedQuoteInsideQuotes", LR"(p "a \" b")", {L"p", LR"(a " b)"}},
    {"BackslashesBeforeClosingQuote", LR"(p "a\\" b)", {L"p", LR"(a\)", L"b"}},
    {"DoubledQuoteInsideQuotesGivesQuoteAndEndsQuoting", LR"(p "a""b c")", {L"p", LR"(a"b)", L"c"}},
    {"TripleQuoteOutsideQuotesGivesQuote", LR"(p """a b)", {L"p", LR"("a)", L"b"}},
    {"FourQuotes", LR"(p """")", {L"p", L"\""}},
    {"SixQuotes", LR"(p """""")", {L"p", LR"("")"}},
    {"EscapedQuoteThenQuotes", LR"(p \""" a)", {L"p", L"\"", L"a"}},
    {"NonAsciiAndSurrogatePairs", L"p \x0416\x0430\x043d\x043d\x0430 \x65e5\x672c \xd83d\xde00 e\x0301",
     {L"p", L"\x0416\x0430\x043d\x043d\x0430", L"\x65e5\x672c", L"\xd83d\xde00", L"e\x0301"}},
};

INSTANTIATE_TEST_SUITE_P(EdgeCases, SplitCommandLineCaseTest, ::testing::ValuesIn(kSplitCases),
                         [](const auto& info) { return std::string(info.param.name); });

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
