// Tests of the launcher's own command-line splitting: a table of the rules'
// edge cases, and agreement with the system's CommandLineToArgvW on every
// short line over the characters that matter and on random longer lines.
#include <windows.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <string>

#include "SysInfo.h"
#include "WinSysInfo.h"

namespace {

tstring_array systemSplit(const tstring& commandLine) {
    int count = 0;
    wchar_t** argv = ::CommandLineToArgvW(commandLine.c_str(), &count);
    if (!argv) {
        ADD_FAILURE() << "CommandLineToArgvW failed with error " << ::GetLastError();
        return {};
    }
    const tstring_array args(argv, argv + count);
    ::LocalFree(argv);
    return args;
}

// Control characters and non-ASCII as code points, so that a failure shows
// exactly which line it was.
std::string visible(const tstring& text) {
    std::ostringstream out;
    out << '[';
    for (const wchar_t c : text) {
        if (c >= 0x20 && c < 0x7F) {
            out << static_cast<char>(c);
        } else {
            out << "<U+" << std::hex << std::uppercase << static_cast<unsigned>(c) << std::dec << '>';
        }
    }
    out << ']';
    return out.str();
}

std::string visible(const tstring_array& args) {
    std::string out;
    for (const tstring& arg : args) {
        out += visible(arg) + ' ';
    }
    return out;
}

// Compares the two splitters on each line that `next` produces until it
// returns false; reports the first few disagreements.
template <class NextLine>
int countDisagreements(NextLine next) {
    int disagreements = 0;
    tstring line;
    while (next(line)) {
        const tstring_array ours = SysInfo::splitCommandLine(line);
        const tstring_array system = systemSplit(line);
        if (ours != system && ++disagreements <= 5) {
            ADD_FAILURE() << "line " << visible(line) << "\n  ours:   " << visible(ours)
                          << "\n  system: " << visible(system);
        }
    }
    return disagreements;
}

struct SplitCase {
    const char* name;
    tstring commandLine;
    tstring_array args;
};

void PrintTo(const SplitCase& c, std::ostream* os) { *os << c.name; }

class SplitCommandLineCaseTest : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitCommandLineCaseTest, GivesTheDocumentedArguments) {
    EXPECT_EQ(visible(SysInfo::splitCommandLine(GetParam().commandLine)), visible(GetParam().args));
}

TEST_P(SplitCommandLineCaseTest, AgreesWithCommandLineToArgvW) {
    EXPECT_EQ(visible(SysInfo::splitCommandLine(GetParam().commandLine)), visible(systemSplit(GetParam().commandLine)));
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
    EXPECT_EQ(visible(SysInfo::splitCommandLine(L"")), visible(systemSplit(L"")));
}

// Every line of up to eight characters over blank, quotation mark,
// backslash and a letter: 87,381 lines, the empty one included.
TEST(SplitCommandLineTest, AgreesWithCommandLineToArgvWOnEveryShortLine) {
    const wchar_t alphabet[] = {L' ', L'"', L'\\', L'a'};
    const std::size_t maxLength = 8;
    std::vector<std::size_t> digits;
    int lines = 0;
    const int disagreements = countDisagreements([&](tstring& line) {
        // The next line in order of length, then of its characters.
        std::size_t i = 0;
        for (; i < digits.size() && ++digits[i] == std::size(alphabet); ++i) {
            digits[i] = 0;
        }
        if (lines > 0 && i == digits.size()) {
            if (digits.size() == maxLength) {
                return false;
            }
            digits.push_back(0);
        }
        line.clear();
        for (const std::size_t d : digits) {
            line.push_back(alphabet[d]);
        }
        ++lines;
        return true;
    });

    EXPECT_EQ(lines, 87381);
    EXPECT_EQ(disagreements, 0);
}

// 100,000 lines of up to 40 characters drawn mostly from the characters the
// rules are about, with a fixed seed so that a failure can be repeated.
TEST(SplitCommandLineTest, AgreesWithCommandLineToArgvWOnRandomLines) {
    const tstring alphabet = L"   \t\"\"\"\"\\\\\\\\\\ab\x00e9\x65e5\n";
    std::mt19937 random(20261208);
    std::uniform_int_distribution<std::size_t> length(0, 40);
    std::uniform_int_distribution<std::size_t> pick(0, alphabet.size());
    int lines = 0;
    const int disagreements = countDisagreements([&](tstring& line) {
        if (lines == 100000) {
            return false;
        }
        line.clear();
        for (std::size_t n = length(random); line.size() < n;) {
            const std::size_t at = pick(random);
            // One past the alphabet stands for a character outside the BMP.
            line += at < alphabet.size() ? tstring(1, alphabet[at]) : tstring(L"\xd83d\xde00");
        }
        ++lines;
        return true;
    });

    EXPECT_EQ(lines, 100000);
    EXPECT_EQ(disagreements, 0);
}

TEST(SplitCommandLineTest, GetCommandArgsSplitsThisProcessCommandLine) {
    EXPECT_EQ(SysInfo::getCommandArgs(SysInfo::IncludeProgramName), systemSplit(::GetCommandLineW()));
}

}  // namespace
