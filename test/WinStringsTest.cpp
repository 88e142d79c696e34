// Tests of the Windows conversions: the ANSI code page, and the portable
// UTF-8 codec against MultiByteToWideChar and WideCharToMultiByte, on the
// table of Utf8Cases.h and on random input.
#include <windows.h>

#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "Utf8Cases.h"
#include "Utf8Codec.h"
#include "tstrings.h"

namespace {

TEST(TstringsTest, ToAcpReplacesCharactersOutsideTheCodePageWithQuestionMark) {
    if (::GetACP() != 1252) {
        GTEST_SKIP() << "the expected bytes are those of code page 1252";
    }
    EXPECT_EQ("\xe9\x80?", tstrings::toAcp(L"\x00e9\x20ac\x4e2d"));
    EXPECT_EQ("", tstrings::toAcp(L""));
}

template <class In, class Out>
using Conversion = int (*)(const In*, int, Out*, int);

int systemDecode(const char* text, int length, wchar_t* out, int outLength) {
    return ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, length, out, outLength);
}

int systemEncode(const wchar_t* text, int length, char* out, int outLength) {
    return ::WideCharToMultiByte(CP_UTF8, 0, text, length, out, outLength, nullptr, nullptr);
}

// What a conversion gives for one text in every form that the launcher and
// the codec's contract know: measuring, measuring up to the NUL, writing into
// a buffer of the measured size and into one unit less.
template <class Out>
struct Outcome {
    int measured = 0;
    int measuredToNul = 0;
    int written = 0;
    std::basic_string<Out> text;
    int intoTooSmall = 0;

    bool operator==(const Outcome& other) const {
        return measured == other.measured && measuredToNul == other.measuredToNul && written == other.written &&
               text == other.text && intoTooSmall == other.intoTooSmall;
    }
    bool operator!=(const Outcome& other) const { return !(*this == other); }
};

template <class Out>
std::string describe(const Outcome<Out>& o) {
    std::ostringstream out;
    out << "measured " << o.measured << ", to NUL " << o.measuredToNul << ", written " << o.written << " "
        << ::testing::PrintToString(o.text) << ", into one less " << o.intoTooSmall;
    return out.str();
}

template <class In, class Out>
Outcome<Out> outcomeOf(Conversion<In, Out> convert, const std::basic_string<In>& input) {
    Outcome<Out> o;
    const int length = static_cast<int>(input.size());
    o.measured = convert(input.data(), length, nullptr, 0);
    o.measuredToNul = convert(input.c_str(), -1, nullptr, 0);
    std::vector<Out> buffer(static_cast<std::size_t>(o.measured) + 1);
    if (o.measured > 0) {
        o.written = convert(input.data(), length, buffer.data(), o.measured);
        o.text.assign(buffer.data(), static_cast<std::size_t>(o.written > 0 ? o.written : 0));
    }
    if (o.measured > 1) {
        o.intoTooSmall = convert(input.data(), length, buffer.data(), o.measured - 1);
    }
    return o;
}

// Windows fails for every buffer that is too small, as the codec does. Wine
// (8.0) fills a buffer that ends inside a surrogate pair with the pair's
// first half and counts it; that one divergence is read as the failure it
// stands for.
void asWindowsGives(Outcome<wchar_t>& o) {
    static const bool wine = testing_support::runningUnderWine();
    const bool endsWithPair = o.text.size() >= 2 && o.text.back() >= 0xdc00 && o.text.back() <= 0xdfff;
    if (wine && endsWithPair && o.intoTooSmall == o.measured - 1) {
        o.intoTooSmall = 0;
    }
}

void asWindowsGives(Outcome<char>&) {}

// Counts the texts on which the codec and the system disagree, reporting the
// first few.
class Agreement {
public:
    template <class In, class Out>
    void check(Conversion<In, Out> codec, Conversion<In, Out> system, const std::basic_string<In>& input) {
        const Outcome<Out> ours = outcomeOf(codec, input);
        Outcome<Out> theirs = outcomeOf(system, input);
        asWindowsGives(theirs);
        if (ours != theirs && ++disagreements <= 5) {
            ADD_FAILURE() << "input " << ::testing::PrintToString(input) << "\n  codec:  " << describe(ours)
                          << "\n  system: " << describe(theirs);
        }
    }

    int disagreements = 0;
};

TEST(Utf8CodecTest, AgreesWithTheSystemOnTheTable) {
    Agreement agreement;
    for (const utf8_cases::Utf8Case& c : utf8_cases::kValid) {
        agreement.check(tstrings::utf8::decode, systemDecode, c.utf8);
        agreement.check(tstrings::utf8::encode, systemEncode, c.wide);
    }
    for (const std::string& bytes : utf8_cases::kInvalid) {
        agreement.check(tstrings::utf8::decode, systemDecode, bytes);
    }
    for (const utf8_cases::Utf8Case& c : utf8_cases::kReplaced) {
        agreement.check(tstrings::utf8::encode, systemEncode, c.wide);
    }
    EXPECT_EQ(agreement.disagreements, 0);
}

// The arguments that both refuse: no text, no room and a buffer that is not
// there.
TEST(Utf8CodecTest, RefusesTheArgumentsThatTheSystemRefuses) {
    wchar_t wide[4];
    char narrow[4];
    EXPECT_EQ(systemDecode("a", 0, wide, 4), tstrings::utf8::decode("a", 0, wide, 4));
    EXPECT_EQ(systemDecode(nullptr, 1, wide, 4), tstrings::utf8::decode(nullptr, 1, wide, 4));
    EXPECT_EQ(systemDecode("a", 1, wide, -1), tstrings::utf8::decode("a", 1, wide, -1));
    EXPECT_EQ(systemDecode("a", 1, nullptr, 4), tstrings::utf8::decode("a", 1, nullptr, 4));
    EXPECT_EQ(systemEncode(L"a", 0, narrow, 4), tstrings::utf8::encode(L"a", 0, narrow, 4));
    EXPECT_EQ(systemEncode(nullptr, 1, narrow, 4), tstrings::utf8::encode(nullptr, 1, narrow, 4));
    EXPECT_EQ(systemEncode(L"a", 1, narrow, -1), tstrings::utf8::encode(L"a", 1, narrow, -1));
    EXPECT_EQ(systemEncode(L"a", 1, nullptr, 4), tstrings::utf8::encode(L"a", 1, nullptr, 4));
}

// Up to 12 bytes, drawn mostly from the continuation bytes and the leads
// that the rules are about, with ASCII and NUL now and then.
std::string randomBytes(std::mt19937& random) {
    static const unsigned char kBoundaryLeads[] = {0xc0, 0xc1, 0xc2, 0xdf, 0xe0, 0xed, 0xef, 0xf0, 0xf4, 0xf5};
    std::uniform_int_distribution<int> length(0, 12);
    std::uniform_int_distribution<int> kind(0, 99);
    std::uniform_int_distribution<int> continuation(0x80, 0xbf);
    std::uniform_int_distribution<int> lead(0xc0, 0xff);
    std::uniform_int_distribution<int> ascii(0x00, 0x7f);
    std::uniform_int_distribution<std::size_t> boundary(0, sizeof(kBoundaryLeads) - 1);
    std::string bytes;
    for (int n = length(random); static_cast<int>(bytes.size()) < n;) {
        const int k = kind(random);
        const int byte = k < 45 ? continuation(random) : k < 75 ? lead(random)
                                                    : k < 90 ? kBoundaryLeads[boundary(random)]
                                                             : ascii(random);
        bytes.push_back(static_cast<char>(byte));
    }
    return bytes;
}

// Up to 12 UTF-16 units, most of them surrogates of either half.
tstring randomUnits(std::mt19937& random) {
    std::uniform_int_distribution<int> length(0, 12);
    std::uniform_int_distribution<int> kind(0, 99);
    std::uniform_int_distribution<int> high(0xd800, 0xdbff);
    std::uniform_int_distribution<int> low(0xdc00, 0xdfff);
    std::uniform_int_distribution<int> ascii(0x00, 0x7f);
    std::uniform_int_distribution<int> any(0x0000, 0xffff);
    tstring units;
    for (int n = length(random); static_cast<int>(units.size()) < n;) {
        const int k = kind(random);
        const int unit = k < 35 ? high(random) : k < 70 ? low(random) : k < 85 ? ascii(random) : any(random);
        units.push_back(static_cast<wchar_t>(unit));
    }
    return units;
}

// 200,000 inputs of each kind, with a fixed seed so that a failure can be
// repeated.
TEST(Utf8CodecTest, DecodesRandomBytesAsMultiByteToWideChar) {
    std::mt19937 random(20261209);
    Agreement agreement;
    for (int i = 0; i < 200000; ++i) {
        agreement.check(tstrings::utf8::decode, systemDecode, randomBytes(random));
    }
    EXPECT_EQ(agreement.disagreements, 0);
}

TEST(Utf8CodecTest, EncodesRandomUnitsAsWideCharToMultiByte) {
    std::mt19937 random(20261210);
    Agreement agreement;
    for (int i = 0; i < 200000; ++i) {
        agreement.check(tstrings::utf8::encode, systemEncode, randomUnits(random));
    }
    EXPECT_EQ(agreement.disagreements, 0);
}

}  // namespace
