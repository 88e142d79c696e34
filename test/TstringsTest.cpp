// Tests of the string conversions, the message builder and the string
// algorithms.
#include <windows.h>

#include <gtest/gtest.h>

#include <climits>
#include <stdexcept>

#include "tstrings.h"

namespace {

TEST(TstringsTest, FromUtf8GivesEmptyStringForEmptyOrInvalidInput) {
    for (const std::string& bytes : {std::string(), std::string("\xff"), std::string("valid start \xff"),
                                     std::string("\xc3"), std::string("\xc0\xaf")}) {
        EXPECT_EQ(L"", tstrings::fromUtf8(bytes)) << "input size " << bytes.size();
    }
}

TEST(TstringsTest, Utf8RoundTripKeepsCharactersOutsideTheBmp) {
    const std::string utf8 = "a\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80z";
    const tstring wide = tstrings::fromUtf8(utf8);
    EXPECT_EQ(L"a\x00e9\x20ac\xd83d\xde00z", wide);
    EXPECT_EQ(utf8, tstrings::toUtf8(wide));
}

TEST(TstringsTest, ToAcpReplacesCharactersOutsideTheCodePageWithQuestionMark) {
    if (::GetACP() != 1252) {
        GTEST_SKIP() << "the expected bytes are those of code page 1252";
    }
    EXPECT_EQ("\xe9\x80?", tstrings::toAcp(L"\x00e9\x20ac\x4e2d"));
    EXPECT_EQ("", tstrings::toAcp(L""));
}

TEST(TstringsBuilderTest, DecodesStdStringAsUtf8) {
    EXPECT_EQ(L"\x00e9", (tstrings::Builder() << std::string("\xc3\xa9")).str());
}

TEST(TstringsBuilderTest, WidensCharPointersByteByByte) {
    EXPECT_EQ(L"\x00c3\x00a9!", (tstrings::Builder() << "\xc3\xa9" << '!').str());
}

TEST(TstringsBuilderTest, WritesIntegersInDecimal) {
    tstrings::Builder b;
    b << -5 << L' ' << 4294967295UL << L' ' << static_cast<unsigned long long>(ULLONG_MAX) << L' ' << size_t(0);
    EXPECT_EQ(L"-5 4294967295 18446744073709551615 0", b.str());
}

TEST(TstringsBuilderTest, WritesPointersAsSixteenUpperCaseHexDigits) {
    const void* p = reinterpret_cast<const void*>(static_cast<uintptr_t>(0xabc123));
    EXPECT_EQ(L"0000000000ABC123 0000000000000000",
              (tstrings::Builder() << p << L" " << static_cast<const void*>(nullptr)).str());
}

TEST(TstringsBuilderTest, GivesItsTextAsUtf8) {
    EXPECT_EQ("x\xc3\xa9\xf0\x9f\x98\x80", (tstrings::Builder() << L"x\x00e9" << L"\xd83d\xde00").utf8());
}

TEST(TstringsTest, ToLowerChangesOnlyAsciiLetters) {
    EXPECT_EQ(L"abc xyz 09 @[ \x00c9\x0130", tstrings::toLower(L"ABC xYz 09 @[ \x00c9\x0130"));
}

struct CompareCase {
    tstring text;
    tstring other;
    tstrings::CompareType mode;
    bool equals;
    bool startsWith;
    bool endsWith;
};

void PrintTo(const CompareCase& c, std::ostream* os) {
    *os << ::testing::PrintToString(c.text) << ", " << ::testing::PrintToString(c.other)
        << (c.mode == tstrings::IGNORE_CASE ? ", IGNORE_CASE" : "");
}

class TstringsCompareTest : public ::testing::TestWithParam<CompareCase> {};

TEST_P(TstringsCompareTest, ComparesWholePrefixAndSuffix) {
    const CompareCase& c = GetParam();
    EXPECT_EQ(c.equals, tstrings::equals(c.text, c.other, c.mode));
    EXPECT_EQ(c.startsWith, tstrings::startsWith(c.text, c.other, c.mode));
    EXPECT_EQ(c.endsWith, tstrings::endsWith(c.text, c.other, c.mode));
}

INSTANTIATE_TEST_SUITE_P(
    Table, TstringsCompareTest,
    ::testing::Values(CompareCase{L"-splash:x", L"-splash:", tstrings::CASE_SENSITIVE, false, true, false},
                      CompareCase{L"-spl", L"-splash:", tstrings::CASE_SENSITIVE, false, false, false},
                      CompareCase{L"abc", L"", tstrings::CASE_SENSITIVE, false, true, true},
                      CompareCase{L"", L"", tstrings::CASE_SENSITIVE, true, true, true},
                      CompareCase{L"Abc", L"abc", tstrings::CASE_SENSITIVE, false, false, false},
                      CompareCase{L"Abc", L"abc", tstrings::IGNORE_CASE, true, true, true},
                      CompareCase{L"lib.DLL", L".dll", tstrings::IGNORE_CASE, false, false, true},
                      CompareCase{L"\x00c9t\x00e9", L"\x00e9t\x00e9", tstrings::IGNORE_CASE, false, false, false}));

struct ReplaceCase {
    tstring text;
    tstring search;
    tstring replacement;
    tstring expected;
};

void PrintTo(const ReplaceCase& c, std::ostream* os) {
    *os << ::testing::PrintToString(c.text) << ", " << ::testing::PrintToString(c.search) << ", "
        << ::testing::PrintToString(c.replacement);
}

class TstringsReplaceTest : public ::testing::TestWithParam<ReplaceCase> {};

TEST_P(TstringsReplaceTest, ReplacesEveryOccurrenceOnce) {
    const ReplaceCase& c = GetParam();
    EXPECT_EQ(c.expected, tstrings::replace(c.text, c.search, c.replacement));
}

INSTANTIATE_TEST_SUITE_P(Table, TstringsReplaceTest,
                         ::testing::Values(ReplaceCase{L"$A$A", L"$A", L"$A$A", L"$A$A$A$A"},
                                           ReplaceCase{L"aaa", L"aa", L"X", L"Xa"},
                                           ReplaceCase{L"$APPDIR\\x;$APPDIR", L"$APPDIR", L"C:\\a",
                                                       L"C:\\a\\x;C:\\a"},
                                           ReplaceCase{L"abc", L"", L"X", L"abc"},
                                           ReplaceCase{L"abc", L"b", L"", L"ac"},
                                           ReplaceCase{L"abc", L"B", L"X", L"abc"}, ReplaceCase{L"", L"a", L"b", L""}));

struct SplitCase {
    tstring text;
    tstring delimiter;
    tstring_array pieces;
};

void PrintTo(const SplitCase& c, std::ostream* os) {
    *os << ::testing::PrintToString(c.text) << ", " << ::testing::PrintToString(c.delimiter);
}

class TstringsSplitTest : public ::testing::TestWithParam<SplitCase> {};

TEST_P(TstringsSplitTest, KeepsEmptyPieces) {
    EXPECT_EQ(GetParam().pieces, tstrings::split(GetParam().text, GetParam().delimiter));
}

TEST_P(TstringsSplitTest, JoinUndoesSplit) {
    if (GetParam().text.empty() || GetParam().delimiter.empty()) {
        return;
    }
    EXPECT_EQ(GetParam().text, tstrings::join(GetParam().pieces, GetParam().delimiter));
}

INSTANTIATE_TEST_SUITE_P(Table, TstringsSplitTest,
                         ::testing::Values(SplitCase{L"a;;b", L";", {L"a", L"", L"b"}},
                                           SplitCase{L"a;", L";", {L"a", L""}},
                                           SplitCase{L";a", L";", {L"", L"a"}}, SplitCase{L";", L";", {L"", L""}},
                                           SplitCase{L"abc", L";", {L"abc"}},
                                           SplitCase{L"a::b:c", L"::", {L"a", L"b:c"}}, SplitCase{L"", L";", {}},
                                           SplitCase{L"abc", L"", {}}));

TEST(TstringsTest, JoinPutsDelimiterOnlyBetweenItems) {
    EXPECT_EQ(L"", tstrings::join({}, L";"));
    EXPECT_EQ(L"", tstrings::join({L""}, L";"));
    EXPECT_EQ(L";", tstrings::join({L"", L""}, L";"));
    EXPECT_EQ(L"a", tstrings::join({L"a"}, L";"));
    EXPECT_EQ(L"a, b, c", tstrings::join({L"a", L"b", L"c"}, L", "));
}

TEST(TstringsTest, FormatReturnsLongResultsWhole) {
    for (size_t length : {254u, 255u, 256u, 257u, 1000u}) {
        const tstring filler(length - 2, L'x');
        EXPECT_EQ(L"<" + filler + L">", tstrings::format(L"<%ls>", filler.c_str())) << length;
    }
    EXPECT_EQ(L"0007/0042/abc", tstrings::format(L"%04u/%04d/%ls", 7u, 42, L"abc"));
}

TEST(TstringsTest, FormatRefusesNullFormat) {
    try {
        tstrings::format(nullptr);
        FAIL() << "no exception";
    } catch (const std::invalid_argument& e) {
        EXPECT_STREQ("Destination buffer can't be NULL", e.what());
    }
}

}  // namespace
