// Tests of the string conversions and the portable UTF-8 codec, the
// message builder and the string algorithms.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <optional>
#include <stdexcept>

#include "Utf8Cases.h"
#include "Utf8Codec.h"
#include "tstrings.h"

using utf8_cases::Utf8Case;

namespace {

TEST(TstringsTest, FromUtf8GivesEmptyStringForEmptyOrInvalidInput) {
    EXPECT_EQ(L"", tstrings::fromUtf8(std::string()));
    for (const std::string& bytes : utf8_cases::kInvalid) {
        EXPECT_EQ(L"", tstrings::fromUtf8(bytes)) << ::testing::PrintToString(bytes);
    }
}

TEST(TstringsTest, Utf8RoundTripKeepsCharactersOutsideTheBmp) {
    const std::string utf8 = "a\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80z";
    const tstring wide = tstrings::fromUtf8(utf8);
    EXPECT_EQ(L"a\x00e9\x20ac\U0001F600z", wide);
    EXPECT_EQ(utf8, tstrings::toUtf8(wide));
}

// The codec's result in a buffer of the size it measured; nothing when it
// measures or writes nothing.
template <class In, class Out>
std::optional<std::basic_string<Out>> converted(int (*convert)(const In*, int, Out*, int),
                                                const std::basic_string<In>& text) {
    const int length = static_cast<int>(text.size());
    const int needed = convert(text.data(), length, nullptr, 0);
    if (needed <= 0) {
        return std::nullopt;
    }
    std::basic_string<Out> result(static_cast<std::size_t>(needed), Out());
    if (convert(text.data(), length, &result[0], needed) != needed) {
        return std::nullopt;
    }
    return result;
}

std::optional<tstring> decoded(const std::string& utf8) { return converted(tstrings::utf8::decode, utf8); }

std::optional<std::string> encoded(const tstring& wide) { return converted(tstrings::utf8::encode, wide); }

class Utf8CodecValidTest : public ::testing::TestWithParam<Utf8Case> {};

TEST_P(Utf8CodecValidTest, DecodesAndEncodesBack) {
    EXPECT_EQ(GetParam().wide, decoded(GetParam().utf8));
    EXPECT_EQ(GetParam().utf8, encoded(GetParam().wide));
}

TEST_P(Utf8CodecValidTest, AgreesWithTheConversionsOfTheSystem) {
    EXPECT_EQ(GetParam().wide, tstrings::fromUtf8(GetParam().utf8));
    EXPECT_EQ(GetParam().utf8, tstrings::toUtf8(GetParam().wide));
}

INSTANTIATE_TEST_SUITE_P(Table, Utf8CodecValidTest, ::testing::ValuesIn(utf8_cases::kValid));

class Utf8CodecInvalidTest : public ::testing::TestWithParam<std::string> {};

TEST_P(Utf8CodecInvalidTest, RefusesTheWholeInput) {
    const std::string& bytes = GetParam();
    const int length = static_cast<int>(bytes.size());
    wchar_t out[64];
    EXPECT_EQ(0, tstrings::utf8::decode(bytes.data(), length, nullptr, 0));
    EXPECT_EQ(0, tstrings::utf8::decode(bytes.data(), length, out, 64));
}

INSTANTIATE_TEST_SUITE_P(Table, Utf8CodecInvalidTest, ::testing::ValuesIn(utf8_cases::kInvalid));

class Utf8CodecReplacementTest : public ::testing::TestWithParam<Utf8Case> {};

TEST_P(Utf8CodecReplacementTest, EncodesWhatIsNoCodePointAsReplacementCharacter) {
    EXPECT_EQ(GetParam().utf8, encoded(GetParam().wide));
    EXPECT_EQ(GetParam().utf8, tstrings::toUtf8(GetParam().wide));
}

INSTANTIATE_TEST_SUITE_P(Table, Utf8CodecReplacementTest, ::testing::ValuesIn(utf8_cases::kReplaced));

// Two surrogates make one character only as UTF-16 units; as 32-bit units
// each of them is no code point.
TEST(Utf8CodecTest, EncodesSurrogatePairAsOneCharacterInUtf16UnitsOnly) {
    const tstring pair = L"\xd83d\xde00";
    EXPECT_EQ(std::string(sizeof(wchar_t) == 2 ? "\xf0\x9f\x98\x80" : "\xef\xbf\xbd\xef\xbf\xbd"), encoded(pair));
}

TEST(Utf8CodecTest, EncodesUnitsBeyondTheLastCodePointAsReplacementCharacter) {
    if (sizeof(wchar_t) == 2) {
        GTEST_SKIP() << "UTF-16 units hold nothing beyond U+10FFFF";
    }
    for (const unsigned long unit : {0x110000ul, 0x7fffffffUL, 0xfffffffful}) {
        EXPECT_EQ(std::string("a\xef\xbf\xbd"), encoded(tstring(L"a") + static_cast<wchar_t>(unit))) << unit;
    }
}

// The measure counts wide units: a character outside the Basic Multilingual
// Plane is two of them where wchar_t holds UTF-16 units.
TEST(Utf8CodecTest, MeasuresWhenOutLengthIsZero) {
    const std::string utf8 = "a\xf0\x9f\x98\x80";
    const int units = static_cast<int>(tstring(L"a\U0001F600").size());
    wchar_t wide[8];
    EXPECT_EQ(units, tstrings::utf8::decode(utf8.data(), 5, nullptr, 0));
    EXPECT_EQ(units, tstrings::utf8::decode(utf8.data(), 5, wide, 0));
    char narrow[8];
    EXPECT_EQ(5, tstrings::utf8::encode(L"a\U0001F600", units, nullptr, 0));
    EXPECT_EQ(5, tstrings::utf8::encode(L"a\U0001F600", units, narrow, 0));
}

TEST(Utf8CodecTest, FailsWhenTheBufferIsTooSmall) {
    const std::string utf8 = "a\xf0\x9f\x98\x80";
    const int units = static_cast<int>(tstring(L"a\U0001F600").size());
    wchar_t wide[8];
    EXPECT_EQ(0, tstrings::utf8::decode(utf8.data(), 5, wide, units - 1));
    EXPECT_EQ(units, tstrings::utf8::decode(utf8.data(), 5, wide, units));
    char narrow[8];
    EXPECT_EQ(0, tstrings::utf8::encode(L"a\U0001F600", units, narrow, 4));
    EXPECT_EQ(5, tstrings::utf8::encode(L"a\U0001F600", units, narrow, 5));
    EXPECT_EQ(utf8, std::string(narrow, 5));
}

TEST(Utf8CodecTest, ConvertsNulTerminatedTextWithItsNul) {
    wchar_t wide[4] = {L'x', L'x', L'x', L'x'};
    EXPECT_EQ(2, tstrings::utf8::decode("\xc3\xa9", -1, nullptr, 0));
    EXPECT_EQ(2, tstrings::utf8::decode("\xc3\xa9", -1, wide, 4));
    EXPECT_EQ(tstring(L"\x00e9\0x", 3), tstring(wide, 3));
    char narrow[4] = {'x', 'x', 'x', 'x'};
    EXPECT_EQ(3, tstrings::utf8::encode(L"\x00e9", -1, nullptr, 0));
    EXPECT_EQ(3, tstrings::utf8::encode(L"\x00e9", -1, narrow, 4));
    EXPECT_EQ(std::string("\xc3\xa9\0x", 4), std::string(narrow, 4));
}

TEST(Utf8CodecTest, RefusesNoTextAndInvalidLengths) {
    wchar_t wide[4];
    char narrow[4];
    EXPECT_EQ(0, tstrings::utf8::decode("a", 0, wide, 4));
    EXPECT_EQ(0, tstrings::utf8::decode(nullptr, 1, wide, 4));
    EXPECT_EQ(0, tstrings::utf8::decode("a", -2, wide, 4));
    EXPECT_EQ(0, tstrings::utf8::decode("a", 1, wide, -1));
    EXPECT_EQ(0, tstrings::utf8::decode("a", 1, nullptr, 4));
    EXPECT_EQ(0, tstrings::utf8::encode(L"a", 0, narrow, 4));
    EXPECT_EQ(0, tstrings::utf8::encode(nullptr, 1, narrow, 4));
    EXPECT_EQ(0, tstrings::utf8::encode(L"a", -2, narrow, 4));
    EXPECT_EQ(0, tstrings::utf8::encode(L"a", 1, narrow, -1));
    EXPECT_EQ(0, tstrings::utf8::encode(L"a", 1, nullptr, 4));
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
    EXPECT_EQ("x\xc3\xa9\xf0\x9f\x98\x80", (tstrings::Builder() << L"x\x00e9" << L"\U0001F600").utf8());
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
