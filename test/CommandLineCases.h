// The documented rules of command-line splitting, case by case: shared by
// the tests of the launcher's splitter and of its agreement with the
// system's CommandLineToArgvW.
#pragma once

#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "tstrings.h"

namespace command_line_cases {

struct SplitCase {
    const char* name;
    tstring commandLine;
    tstring_array args;
};

inline void PrintTo(const SplitCase& c, std::ostream* os) { *os << c.name; }

inline const SplitCase kSplitCases[] = {
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
    {"NonAsciiAndSurrogatePairs", L"p \x0416\x0430\x043d\x043d\x0430 \x65e5\x672c \U0001F600 e\x0301",
     {L"p", L"\x0416\x0430\x043d\x043d\x0430", L"\x65e5\x672c", L"\U0001F600", L"e\x0301"}},
};

// The name that tests instantiated from the table carry.
inline std::string caseName(const ::testing::TestParamInfo<SplitCase>& info) { return info.param.name; }

}  // namespace command_line_cases
