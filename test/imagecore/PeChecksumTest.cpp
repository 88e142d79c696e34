// The PE checksum: words summed with carries folded back, the field itself
// left out, the length added.
#include <gtest/gtest.h>

#include "PeChecksum.h"

using imagetool::peChecksum;

namespace {

struct ChecksumCase {
    const char* title;
    std::string bytes;
    std::size_t field;
    std::uint32_t expected;
};

void PrintTo(const ChecksumCase& c, std::ostream* os) { *os << c.title; }

class PeChecksumTest : public testing::TestWithParam<ChecksumCase> {};

}  // namespace

TEST_P(PeChecksumTest, MatchesTheHandComputedSum) {
    EXPECT_EQ(peChecksum(GetParam().bytes, GetParam().field), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Images, PeChecksumTest,
    testing::Values(ChecksumCase{"Empty", "", 0, 0},
                    ChecksumCase{"TwoWords", std::string("\x01\x02\x03\x04\0\0\0\0", 8), 4, 0x0604 + 8},
                    ChecksumCase{"FieldLeftOut", std::string("\x01\x02\xFF\xFF\xFF\xFF\x03\x04", 8), 2, 0x0604 + 8},
                    ChecksumCase{"OddLength", std::string("\0\0\0\0\x10\x20\x30", 7), 0, 0x2010 + 0x30 + 7},
                    ChecksumCase{"CarriesFold", std::string(10, '\xFF'), 8, 0xFFFF + 10},
                    ChecksumCase{"OddField", std::string("\x11\xFF\xFF\xFF\xFF\x22", 6), 1, 0x2211 + 6}),
    [](const testing::TestParamInfo<ChecksumCase>& info) { return std::string(info.param.title); });
