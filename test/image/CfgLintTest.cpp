// Tests of the warnings about configuration files that the launcher reads
// without complaint but not as their author meant.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CfgLint.h"
#include "TestSupport.h"

using testing_support::TempDir;

namespace {

struct LintCase {
    const char* title;
    std::string content;
    std::vector<std::string> warnings;  // "<line>: <text>"
};

void PrintTo(const LintCase& c, std::ostream* os) { *os << c.title; }

const char* const kBom =
    "the file starts with a byte-order mark, which the launcher reads as part of the first line; save the file as "
    "UTF-8 without a byte-order mark";
const char* const kOutside = "properties before the first known section are ignored by the launcher";

std::vector<std::string> lint(const std::string& content) {
    TempDir temp;
    const tstring path = temp.path() + L"\\App.cfg";
    testing_support::writeFile(path, content);
    std::vector<std::string> found;
    for (const imagetool::CfgWarning& warning : imagetool::lintCfgFile(path)) {
        found.push_back(std::to_string(warning.line) + ": " + tstrings::toUtf8(warning.text));
    }
    return found;
}

class CfgLintTest : public testing::TestWithParam<LintCase> {};

}  // namespace

TEST_P(CfgLintTest, WarnsAboutWhatTheLauncherIgnores) { EXPECT_EQ(lint(GetParam().content), GetParam().warnings); }

INSTANTIATE_TEST_SUITE_P(
    Files, CfgLintTest,
    testing::Values(
        LintCase{"Clean", "; comment\n[Application]\napp.mainclass=a.B\napp.classpath=$APPDIR\\a.jar\n", {}},
        LintCase{"ByteOrderMark", "\xEF\xBB\xBF[Application]\napp.mainclass=a.B\n", {std::string("1: ") + kBom,
                                                                                     std::string("1: ") + kOutside}},
        LintCase{"PropertiesBeforeFirstSection", "\napp.mainclass=a.B\napp.classpath=x\n[Application]\n",
                 {std::string("2: ") + kOutside}},
        LintCase{"UnknownSectionAfterKnownOneIsNoMistake", "[Application]\napp.mainclass=a.B\n[Extra]\nkey=value\n", {}},
        LintCase{"PropertyNameInOtherCase", "[Application]\nApp.MainClass=a.B\n",
                 {"2: property \"App.MainClass\" is not \"app.mainclass\": property names are exact, without blanks, so "
                  "the launcher ignores it"}},
        LintCase{"PropertyNameWithBlanks", "[JavaOptions]\njava-options =-Xmx1g\n",
                 {"2: property \"java-options \" is not \"java-options\": property names are exact, without blanks, "
                  "so the launcher ignores it"}},
        LintCase{"UnknownPropertyIsNoMistake", "[Application]\napp.mainclas=a.B\n", {}},
        LintCase{"SectionNameInOtherCase", "[application]\napp.mainclass=a.B\n",
                 {"1: section [application] is not [Application]: section names are exact, so the launcher ignores "
                  "its properties"}},
        LintCase{"SectionNameWithBlanks", "[ ArgOptions ]\narguments=x\n",
                 {"1: section [ ArgOptions ] is not [ArgOptions]: section names are exact, so the launcher ignores "
                  "its properties"}},
        LintCase{"MacroInLowerCase", "[Application]\napp.classpath=$appdir\\a.jar;$RootDir\\b.jar;$APPDIR\\c.jar\n",
                 {"2: \"$appdir\" is not expanded: the macro is \"$APPDIR\", in capital letters",
                  "2: \"$RootDir\" is not expanded: the macro is \"$ROOTDIR\", in capital letters"}},
        LintCase{"UnknownFirstSection", "[Extra]\nx=$appdir\n[Application]\napp.mainclass=a.B\n",
                 {std::string("2: ") + kOutside}},
        LintCase{"MacroInIgnoredSectionIsNotReported", "[Application]\napp.mainclass=a.B\n[Extra]\nx=$appdir\n", {}},
        LintCase{"InvalidUtf8", "[Application]\napp.mainclass=\xC3\x28\n",
                 {"2: the line is not valid UTF-8, so the launcher skips it"}},
        LintCase{"CrLfLineEnds", "[Application]\r\nApp.MainClass=a.B\r\n",
                 {"2: property \"App.MainClass\" is not \"app.mainclass\": property names are exact, without blanks, so "
                  "the launcher ignores it"}}),
    [](const testing::TestParamInfo<LintCase>& info) { return std::string(info.param.title); });

TEST(CfgLintTest, MissingFileGivesNoWarnings) { EXPECT_TRUE(imagetool::lintCfgFile(L"Z:\\no\\such\\App.cfg").empty()); }
