// Tests of CfgFile::load and the read operations on a parsed file: line
// splitting, classification, section grouping and the exact error messages.
#include <gtest/gtest.h>

#include <cerrno>
#include <map>
#include <string>
#include <vector>

#include "CfgFile.h"
#include "ErrorHandling.h"
#include "FileUtils.h"
#include "LoadErrors.h"
#include "TestFiles.h"

using namespace testing_support;

namespace {

typedef std::map<tstring, std::map<tstring, tstring_array>> SectionDump;

SectionDump dump(const CfgFile& cfg) {
    SectionDump result;
    for (const auto& [section, properties] : cfg.allSections()) {
        for (const auto& [property, values] : properties) {
            result[section.name()][property.name()] = values;
        }
    }
    return result;
}

CfgFile loadText(const std::string& bytes) {
    TempDir dir(L"cfg");
    const tstring path = FileUtils::combinePath(dir.path(), L"app.cfg");
    writeFile(path, bytes);
    return CfgFile::load(path);
}

template <std::size_t N>
std::string bytes(const char (&text)[N]) {
    return std::string(text, N - 1);
}

struct ParseCase {
    const char* name;
    std::string text;
    SectionDump expected;
};

void PrintTo(const ParseCase& c, std::ostream* os) {
    *os << c.name;
}

class CfgFileParseTest : public testing::TestWithParam<ParseCase> {};

TEST_P(CfgFileParseTest, ParsesToExpectedSections) {
    EXPECT_EQ(dump(loadText(GetParam().text)), GetParam().expected);
}

const ParseCase parseCases[] = {
    {"EmptyFile", "", {}},
    {"OnlyBlankAndCommentLines", "\n; comment\n\n;[Application]\n;app.mainjar=a\n", {}},
    {"BlanksAroundEqualsMakeUnknownName", "[Application]\napp.mainjar = hello.jar\n", {}},
    {"TrailingBlankStaysInValue",
     "[Application]\napp.mainjar=hello.jar \n",
     {{L"Application", {{L"app.mainjar", {L"hello.jar "}}}}}},
    {"ValueHoldsEquals", "[JavaOptions]\njava-options=-Da=b\n", {{L"JavaOptions", {{L"java-options", {L"-Da=b"}}}}}},
    {"RepeatedPropertyKeepsFileOrder",
     "[JavaOptions]\njava-options=-Xmx1g\njava-options=-Da=1\njava-options=-Db=2\n",
     {{L"JavaOptions", {{L"java-options", {L"-Xmx1g", L"-Da=1", L"-Db=2"}}}}}},
    {"NameWithoutSeparatorHasEmptyValue",
     "[Application]\napp.splash\n",
     {{L"Application", {{L"app.splash", {L""}}}}}},
    {"EmptyValue", "[Application]\n=x\napp.mainjar=\n", {{L"Application", {{L"app.mainjar", {L""}}}}}},
    {"PropertiesOutsideKnownSectionsDropped",
     "app.mainjar=before\n[Unknown]\napp.mainjar=unknown\n[Application]\napp.mainjar=kept\n",
     {{L"Application", {{L"app.mainjar", {L"kept"}}}}}},
    {"IndentedHeaderIsPropertyLine",
     "[Application]\napp.mainjar=a.jar\n  [JavaOptions]\napp.mainclass=Main\n",
     {{L"Application", {{L"app.mainjar", {L"a.jar"}}, {L"app.mainclass", {L"Main"}}}}}},
    {"RepeatedHeaderWithPropertiesReplacesEarlierGroup",
     "[Application]\napp.mainjar=first.jar\n[JavaOptions]\njava-options=-Dx\n[Application]\napp.mainclass=Second\n",
     {{L"Application", {{L"app.mainclass", {L"Second"}}}}, {L"JavaOptions", {{L"java-options", {L"-Dx"}}}}}},
    {"RepeatedHeaderWithoutPropertiesKeepsEarlierGroup",
     "[Application]\napp.mainjar=first.jar\n[Application]\nunknown=1\n; nothing\n",
     {{L"Application", {{L"app.mainjar", {L"first.jar"}}}}}},
    {"HeaderWithoutPropertiesLeavesNoSection", "[JavaOptions]\n; none\n[ArgOptions]\n", {}},
    {"CrLfLineEnds",
     "[Application]\r\napp.mainjar=a.jar\r\n\r\n; c\r\n[JavaOptions]\r\njava-options=-Dx=1\r\n",
     {{L"Application", {{L"app.mainjar", {L"a.jar"}}}}, {L"JavaOptions", {{L"java-options", {L"-Dx=1"}}}}}},
    {"LoneCrIsOrdinaryCharacter",
     "[Application]\napp.mainjar=a\rb\napp.mainclass=c\r\r\n",
     {{L"Application", {{L"app.mainjar", {L"a\rb"}}, {L"app.mainclass", {L"c\r"}}}}}},
    {"OnlyCrLineEndsMakeOneLine", "[Application]\rapp.mainjar=a\r", {}},
    {"CtrlZEndsInput",
     "[Application]\napp.mainjar=a\x1A\napp.mainclass=b\n[Broken\n",
     {{L"Application", {{L"app.mainjar", {L"a"}}}}}},
    {"LastLineWithoutLineEnd", "[Application]\napp.mainjar=a.jar", {{L"Application", {{L"app.mainjar", {L"a.jar"}}}}}},
    {"EqualsAfterBackslashIsNotSeparator", "[Application]\napp.mainjar\\=a.jar\n", {}},
    {"EscapedEqualsInValueKept",
     "[Application]\napp.mainjar=a\\=b\n",
     {{L"Application", {{L"app.mainjar", {L"a\\=b"}}}}}},
    {"TextAfterClosingBracketIgnored",
     "[Application] x\napp.mainjar=a\n",
     {{L"Application", {{L"app.mainjar", {L"a"}}}}}},
    {"NameEndsAtLastBracket", "[Application]]\napp.mainjar=a\n", {}},
    {"BlanksInsideBracketsKept", "[ Application ]\napp.mainjar=a\n", {}},
    {"NamesAreCaseSensitive", "[application]\napp.mainjar=a\n[Application]\nApp.MainJar=b\n", {}},
    {"InvalidUtf8LineSkipped",
     "[Application]\napp.mainjar=\xFF\napp.mainclass=ok\n",
     {{L"Application", {{L"app.mainclass", {L"ok"}}}}}},
    {"InvalidUtf8HeaderSkipped",
     "[Application]\n[JavaOptions]\xC0\njava-options=x\n[\xFF\n",
     {{L"Application", {{L"java-options", {L"x"}}}}}},
    {"ByteOrderMarkHidesFirstHeader", "\xEF\xBB\xBF[Application]\napp.mainjar=a\n", {}},
    {"NonAsciiValueDecoded",
     "[Application]\napp.mainjar=C:\\\xC3\x9C\\\xE6\x97\xA5\xE6\x9C\xAC\\\xF0\x9F\x98\x80.jar\n",
     {{L"Application", {{L"app.mainjar", {L"C:\\\u00DC\\\u65E5\u672C\\\U0001F600.jar"}}}}}},
    {"NulByteKeptInValue",
     bytes("[Application]\napp.mainjar=a\0b\napp.mainclass\0=c\n"),
     {{L"Application", {{L"app.mainjar", {tstring(L"a\0b", 3)}}}}}},
    {"AllSectionNames",
     "[Application]\napp.version=1\n[JavaOptions]\napp.version=2\n[AppCDSJavaOptions]\napp.version=3\n"
     "[AppCDSGenerateCacheJavaOptions]\napp.version=4\n[ArgOptions]\napp.version=5\n",
     {{L"Application", {{L"app.version", {L"1"}}}},
      {L"JavaOptions", {{L"app.version", {L"2"}}}},
      {L"AppCDSJavaOptions", {{L"app.version", {L"3"}}}},
      {L"AppCDSGenerateCacheJavaOptions", {{L"app.version", {L"4"}}}},
      {L"ArgOptions", {{L"app.version", {L"5"}}}}}},
    {"AllPropertyNames",
     "[ArgOptions]\napp.version=1\napp.mainjar=2\napp.mainmodule=3\napp.mainclass=4\napp.classpath=5\n"
     "app.modulepath=6\napp.runtime=7\napp.splash=8\napp.memory=9\narguments=10\njava-options=11\n",
     {{L"ArgOptions",
       {{L"app.version", {L"1"}},
        {L"app.mainjar", {L"2"}},
        {L"app.mainmodule", {L"3"}},
        {L"app.mainclass", {L"4"}},
        {L"app.classpath", {L"5"}},
        {L"app.modulepath", {L"6"}},
        {L"app.runtime", {L"7"}},
        {L"app.splash", {L"8"}},
        {L"app.memory", {L"9"}},
        {L"arguments", {L"10"}},
        {L"java-options", {L"11"}}}}}},
};

INSTANTIATE_TEST_SUITE_P(Cases, CfgFileParseTest, testing::ValuesIn(parseCases),
                         [](const testing::TestParamInfo<ParseCase>& info) { return std::string(info.param.name); });

TEST(CfgFileTest, CrLfFileParsesLikeLfFile) {
    const std::string lf =
        "; launcher\n[Application]\napp.mainjar=a.jar\napp.classpath=\napp.classpath=$APPDIR\\b.jar\n\n"
        "[JavaOptions]\njava-options=-Dx=1\n[ArgOptions]\narguments=one\narguments= two \n";
    std::string crlf;
    for (char c : lf) {
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    }
    EXPECT_EQ(dump(loadText(crlf)), dump(loadText(lf)));
    EXPECT_FALSE(dump(loadText(lf)).empty());
}

struct MissingBracketCase {
    const char* name;
    std::string text;
    int line;
};

class CfgFileMissingBracketTest : public testing::TestWithParam<MissingBracketCase> {};

TEST_P(CfgFileMissingBracketTest, NamesLineOfHeaderWithoutBracket) {
    TempDir dir(L"cfg");
    const tstring path = FileUtils::combinePath(dir.path(), L"app.cfg");
    writeFile(path, GetParam().text);
    EXPECT_EQ(loadError([&] { CfgFile::load(path); }),
              "Error parsing [" + tstrings::toUtf8(path) + "] file at " + std::to_string(GetParam().line) +
                  ": Missing ']' character");
}

const MissingBracketCase missingBracketCases[] = {
    {"ThirdLineAfterBlankAndComment", "; comment\n\n[Application\napp.mainjar=a\n", 3},
    {"FirstLine", "[Application", 1},
    {"CrLfLines", "[Application]\r\napp.mainjar=a\r\n\r\n[JavaOptions\r\n", 4},
    {"LoneBracket", "[\n", 1},
    {"AfterInvalidUtf8Line", "[Application]\n\xFF\n[JavaOptions\n", 3},
    {"AfterHeaderWithInnerBracket", "[Application]\napp.mainjar=a\n]\n[Arg]Options[x\n[ArgOptions\n", 5},
    {"AfterManyBlankLines", "[Application]\napp.mainjar=a\n" + std::string(1000, '\n') + "[JavaOptions\n", 1003},
};

INSTANTIATE_TEST_SUITE_P(Cases, CfgFileMissingBracketTest, testing::ValuesIn(missingBracketCases),
                         [](const testing::TestParamInfo<MissingBracketCase>& info) {
                             return std::string(info.param.name);
                         });

TEST(CfgFileTest, MissingFileGivesOpenError) {
    TempDir dir(L"cfg");
    const tstring path = FileUtils::combinePath(dir.path(), L"missing.cfg");
    EXPECT_EQ(loadError([&] { CfgFile::load(path); }),
              "Error opening \"" + tstrings::toUtf8(path) + "\" file: " + errnoText(ENOENT));
}

TEST(CfgFileTest, DirectoryGivesOpenError) {
    TempDir dir(L"cfg");
    const tstring path = FileUtils::combinePath(dir.path(), L"app.cfg");
    makeDirs(path);
    EXPECT_EQ(loadError([&] { CfgFile::load(path); }),
              "Error opening \"" + tstrings::toUtf8(path) + "\" file: " + errnoText(kDirectoryOpenErrno));
}

TEST(CfgFileTest, PathShownAsPassedIn) {
    TempDir dir(L"cfg");
    const tstring path = dir.path() + L"\\.\\sub\\..\\\u00E9t\u00E9.cfg";
    EXPECT_EQ(loadError([&] { CfgFile::load(path); }),
              "Error opening \"" + tstrings::toUtf8(path) + "\" file: " + errnoText(ENOENT));
}

TEST(CfgFileTest, ErrorCarriesLocationOfLoad) {
    try {
        loadText("[Application\n");
        FAIL() << "no error";
    } catch (const KivoError<std::runtime_error>& e) {
        const std::string what = e.what();
        EXPECT_EQ(what.rfind("CfgFile.cpp(", 0), 0u) << what;
        EXPECT_NE(what.find(") at CfgFile::load(): Error parsing ["), std::string::npos) << what;
    }
}

TEST(CfgFileTest, SectionPropertiesOfAbsentSectionIsSameEmptyMap) {
    const CfgFile cfg = loadText("[Application]\napp.mainjar=a\n");
    const CfgProperties& javaOptions = cfg.sectionProperties(CfgSectionId::javaOptions);
    EXPECT_TRUE(javaOptions.empty());
    EXPECT_EQ(&cfg.sectionProperties(CfgSectionId::javaOptions), &javaOptions);
    EXPECT_EQ(&cfg.sectionProperties(CfgSectionId::argOptions), &javaOptions);
    EXPECT_EQ(cfg.sectionProperties(CfgSectionId::application).size(), 1u);
}

TEST(CfgFileTest, LastValueAndPathListOfRepeatedProperty) {
    const CfgFile cfg = loadText("[Application]\napp.classpath=a.jar\napp.classpath=\napp.classpath=c.jar\n");
    const CfgProperties& app = cfg.sectionProperties(CfgSectionId::application);
    const auto classPath = app.find(CfgPropertyId::appClassPath);
    ASSERT_NE(classPath, app.end());
    EXPECT_EQ(CfgFile::lastValue(*classPath), L"c.jar");
    EXPECT_EQ(CfgFile::pathList(*classPath), L"a.jar;;c.jar");
    EXPECT_EQ(app.find(CfgPropertyId::appMainJar), app.end());
}

TEST(CfgFileTest, PathListOfSingleValueIsThatValue) {
    const CfgFile cfg = loadText("[Application]\napp.modulepath=mods\napp.splash\n");
    const CfgProperties& app = cfg.sectionProperties(CfgSectionId::application);
    EXPECT_EQ(CfgFile::pathList(*app.find(CfgPropertyId::appModulePath)), L"mods");
    EXPECT_EQ(CfgFile::pathList(*app.find(CfgPropertyId::appSplash)), L"");
}

TEST(CfgFileTest, OverrideCreatesMissingSection) {
    CfgFile cfg = loadText("[Application]\napp.mainjar=a.jar\n");
    cfg.overrideProperty(CfgSectionId::argOptions, CfgPropertyId::arguments, {L"x", L""});
    EXPECT_EQ(dump(cfg), (SectionDump{{L"Application", {{L"app.mainjar", {L"a.jar"}}}},
                                      {L"ArgOptions", {{L"arguments", {L"x", L""}}}}}));
}

TEST(CfgFileTest, OverrideReplacesWholeListAndKeepsOtherProperties) {
    CfgFile cfg = loadText("[ArgOptions]\narguments=a\narguments=b\njava-options=-Dk\n");
    cfg.overrideProperty(CfgSectionId::argOptions, CfgPropertyId::arguments, {L"new"});
    EXPECT_EQ(dump(cfg), (SectionDump{{L"ArgOptions", {{L"arguments", {L"new"}}, {L"java-options", {L"-Dk"}}}}}));
}

TEST(CfgFileTest, OverrideAddsMissingPropertyToSection) {
    CfgFile cfg = loadText("[ArgOptions]\njava-options=-Dk\n");
    cfg.overrideProperty(CfgSectionId::argOptions, CfgPropertyId::arguments, {L"$APPDIR"});
    EXPECT_EQ(dump(cfg), (SectionDump{{L"ArgOptions", {{L"arguments", {L"$APPDIR"}}, {L"java-options", {L"-Dk"}}}}}));
}

TEST(CfgFileTest, ByNameMatchesExactNamesOnly) {
    EXPECT_EQ(CfgSectionId::byName(L"ArgOptions"), CfgSectionId::argOptions);
    EXPECT_EQ(CfgSectionId::byName(L"AppCDSJavaOptions"), CfgSectionId::appCdsJavaOptions);
    EXPECT_FALSE(CfgSectionId::byName(L""));
    EXPECT_FALSE(CfgSectionId::byName(L"argoptions"));
    EXPECT_FALSE(CfgSectionId::byName(tstring(L"ArgOptions\0", 11)));
    EXPECT_EQ(CfgPropertyId::byName(L"java-options"), CfgPropertyId::javaOptions);
    EXPECT_FALSE(CfgPropertyId::byName(L"app.mainjar "));
}

TEST(CfgFileTest, IdentitiesOrderedByName) {
    EXPECT_LT(CfgSectionId::none, CfgSectionId::appCdsJavaOptions);
    EXPECT_LT(CfgSectionId::appCdsGenerateCacheJavaOptions, CfgSectionId::appCdsJavaOptions);
    EXPECT_LT(CfgSectionId::application, CfgSectionId::argOptions);
    EXPECT_LT(CfgPropertyId::appVersion, CfgPropertyId::arguments);
    EXPECT_LT(CfgPropertyId::appMainJar, CfgPropertyId::appMainModule);
}

}  // namespace
