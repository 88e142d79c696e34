// Tests of the rules for application names, versions and typed paths.
#include <gtest/gtest.h>

#include "NameRules.h"
#include "TestFiles.h"
#include "ToolPaths.h"

using imagetool::FileVersion;
using imagetool::fileNameProblem;

namespace {

struct NameCase {
    const wchar_t* name;
    bool valid;
};

void PrintTo(const NameCase& c, std::ostream* os) { *os << tstrings::toUtf8(c.name); }

class NameRulesTest : public testing::TestWithParam<NameCase> {};

struct VersionCase {
    const wchar_t* text;
    bool valid;
};

void PrintTo(const VersionCase& c, std::ostream* os) { *os << tstrings::toUtf8(c.text); }

class FileVersionTest : public testing::TestWithParam<VersionCase> {};

}  // namespace

TEST_P(NameRulesTest, AcceptsExactlyWindowsFileNames) {
    EXPECT_EQ(!fileNameProblem(GetParam().name).has_value(), GetParam().valid);
}

INSTANTIATE_TEST_SUITE_P(
    Names, NameRulesTest,
    testing::Values(NameCase{L"MyApp", true}, NameCase{L"My App", true}, NameCase{L"My.App", true},
                    NameCase{L"Приложение", true}, NameCase{L"日本語アプリ", true}, NameCase{L"a", true},
                    NameCase{L"CONSOLE", true}, NameCase{L"COM0", true}, NameCase{L"", false},
                    NameCase{L"CON", false}, NameCase{L"con", false}, NameCase{L"Nul.txt", false},
                    NameCase{L"COM1", false}, NameCase{L"lpt9", false}, NameCase{L"AUX", false},
                    NameCase{L"PRN", false}, NameCase{L"App.", false}, NameCase{L"App ", false},
                    NameCase{L"a<b", false}, NameCase{L"a>b", false}, NameCase{L"a:b", false},
                    NameCase{L"a\"b", false}, NameCase{L"a/b", false}, NameCase{L"a\\b", false},
                    NameCase{L"a|b", false}, NameCase{L"a?b", false}, NameCase{L"a*b", false},
                    NameCase{L"a\tb", false}));

TEST(NameRulesTest, RefusesNamesTooLongForAPathComponent) {
    EXPECT_FALSE(fileNameProblem(tstring(251, L'a')).has_value());
    EXPECT_TRUE(fileNameProblem(tstring(252, L'a')).has_value());
}

TEST(NameRulesTest, SaysWhichCharacterIsForbidden) {
    EXPECT_EQ(fileNameProblem(L"a|b").value_or(L""), L"it holds the character '|', which Windows forbids in file names");
}

TEST_P(FileVersionTest, ParsesFourNumbersUpTo65535) {
    EXPECT_EQ(FileVersion::parse(GetParam().text).has_value(), GetParam().valid);
}

INSTANTIATE_TEST_SUITE_P(
    Versions, FileVersionTest,
    testing::Values(VersionCase{L"1.2.3.4", true}, VersionCase{L"0.0.0.0", true},
                    VersionCase{L"65535.65535.65535.65535", true}, VersionCase{L"01.2.3.4", true},
                    VersionCase{L"1.2.3", false}, VersionCase{L"1.2.3.4.5", false}, VersionCase{L"1.2.3.65536", false},
                    VersionCase{L"1.2.3.99999", false}, VersionCase{L"1.2.3.100000", false},
                    VersionCase{L"1.2.3.-4", false}, VersionCase{L"1.2.3.x", false}, VersionCase{L"1..3.4", false},
                    VersionCase{L" 1.2.3.4", false}, VersionCase{L"1.2.3.4 ", false}, VersionCase{L"", false},
                    VersionCase{L"1.2.3.４", false}));

TEST(FileVersionTest, SplitsIntoHighAndLowWords) {
    const FileVersion version = FileVersion::parse(L"1.2.3.65535").value();
    EXPECT_EQ(version.high(), 0x00010002u);
    EXPECT_EQ(version.low(), 0x0003FFFFu);
    EXPECT_EQ(version.text(), L"1.2.3.65535");
}

TEST(UserPathTest, MapsUnixPathsToDriveZUnderWine) {
    if (!testing_support::runningUnderWine()) {
        GTEST_SKIP() << "Unix paths exist only under Wine";
    }
    EXPECT_EQ(imagetool::userPath(L"/tmp/x/y"), L"Z:\\tmp\\x\\y");
    EXPECT_EQ(imagetool::userPath(L"/tmp/x/../Пример"), L"Z:\\tmp\\Пример");
}

TEST(UserPathTest, KeepsWindowsPaths) {
    EXPECT_EQ(imagetool::userPath(L"C:\\Apps\\..\\MyApp"), L"C:\\MyApp");
    EXPECT_EQ(imagetool::userPath(L"\\\\server\\share\\app"), L"\\\\server\\share\\app");
}
