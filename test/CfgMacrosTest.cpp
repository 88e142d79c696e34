// Tests of CfgFile::applyMacros: literal replacement, nesting in both
// orders, macros that expand without end, and the untouched source.
#include <gtest/gtest.h>

#include <string>

#include "CfgFile.h"
#include "ErrorHandling.h"

namespace {

const CfgMacros directories = {
    {L"$APPDIR", L"C:\\app"},
    {L"$BINDIR", L"C:\\bin"},
    {L"$ROOTDIR", L"C:\\root"},
};

CfgFile withClassPath(const tstring_array& values) {
    CfgFile cfg;
    cfg.overrideProperty(CfgSectionId::application, CfgPropertyId::appClassPath, values);
    return cfg;
}

const tstring_array& classPath(const CfgFile& cfg) {
    return cfg.sectionProperties(CfgSectionId::application).at(CfgPropertyId::appClassPath);
}

tstring expand(const tstring& value, const CfgMacros& macros) {
    return classPath(withClassPath({value}).applyMacros(macros)).at(0);
}

std::string expansionError(const CfgFile& cfg, const CfgMacros& macros) {
    try {
        cfg.applyMacros(macros);
    } catch (const KivoError<std::runtime_error>& e) {
        return e.bareMessage();
    }
    return "no error";
}

struct ExpansionCase {
    const char* name;
    tstring value;
    tstring expected;
};

void PrintTo(const ExpansionCase& c, std::ostream* os) {
    *os << c.name;
}

class CfgMacrosExpansionTest : public testing::TestWithParam<ExpansionCase> {};

TEST_P(CfgMacrosExpansionTest, ExpandsDirectoryMacros) {
    EXPECT_EQ(expand(GetParam().value, directories), GetParam().expected);
}

const ExpansionCase expansionCases[] = {
    {"EveryOccurrence", L"$APPDIR\\a.jar;$ROOTDIR\\b.jar;$APPDIR", L"C:\\app\\a.jar;C:\\root\\b.jar;C:\\app"},
    {"InsideWord", L"$APPDIRX", L"C:\\appX"},
    {"AllThree", L"-Dp=$BINDIR|$ROOTDIR|$APPDIR", L"-Dp=C:\\bin|C:\\root|C:\\app"},
    {"CaseSensitive", L"$appdir\\x.jar", L"$appdir\\x.jar"},
    {"PartialName", L"$APPDI$ROOT", L"$APPDI$ROOT"},
    {"Empty", L"", L""},
    {"DollarsAround", L"$$APPDIR$", L"$C:\\app$"},
};

INSTANTIATE_TEST_SUITE_P(Cases, CfgMacrosExpansionTest, testing::ValuesIn(expansionCases),
                         [](const testing::TestParamInfo<ExpansionCase>& info) { return std::string(info.param.name); });

TEST(CfgMacrosTest, ExpandsNameInLaterMacroWithinSamePass) {
    const CfgMacros macros = {{L"$APPDIR", L"$ROOTDIR\\app"}, {L"$ROOTDIR", L"C:\\root"}};
    EXPECT_EQ(expand(L"$APPDIR\\a.jar", macros), L"C:\\root\\app\\a.jar");
}

TEST(CfgMacrosTest, ExpandsNameInEarlierMacroInNextPass) {
    const CfgMacros macros = {{L"$APPDIR", L"C:\\app"}, {L"$ROOTDIR", L"C:\\r\\$APPDIR\\x"}};
    EXPECT_EQ(expand(L"$ROOTDIR", macros), L"C:\\r\\C:\\app\\x");
}

// Each macro names the one before it in the order, so every pass resolves
// one level: three changing passes and the one that changes nothing.
TEST(CfgMacrosTest, ExpandsChainNeedingOnePassPerMacro) {
    const CfgMacros macros = {{L"$APPDIR", L"C:\\a"}, {L"$BINDIR", L"$APPDIR\\b"}, {L"$ROOTDIR", L"$BINDIR\\r"}};
    EXPECT_EQ(expand(L"$ROOTDIR;$BINDIR", macros), L"C:\\a\\b\\r;C:\\a\\b");
}

// A directory whose name holds the macro's own name.
TEST(CfgMacrosTest, SelfReferringMacroExpandsWithoutEnd) {
    const CfgMacros macros = {{L"$APPDIR", L"C:\\$APPDIR\\app"}, {L"$BINDIR", L"C:\\bin"}};
    EXPECT_EQ(expansionError(withClassPath({L"x", L"$APPDIR\\a.jar"}), macros),
              "Macros in the value of property \"app.classpath\" of section \"Application\" expand without end");
}

TEST(CfgMacrosTest, MutuallyReferringMacrosExpandWithoutEnd) {
    const CfgMacros macros = {{L"$APPDIR", L"C:\\$ROOTDIR\\app"}, {L"$ROOTDIR", L"C:\\$APPDIR"}};
    CfgFile cfg;
    cfg.overrideProperty(CfgSectionId::javaOptions, CfgPropertyId::javaOptions, {L"-Dr=$ROOTDIR"});
    EXPECT_EQ(expansionError(cfg, macros),
              "Macros in the value of property \"java-options\" of section \"JavaOptions\" expand without end");
}

TEST(CfgMacrosTest, UnusedSelfReferringMacroIsHarmless) {
    const CfgMacros macros = {{L"$APPDIR", L"C:\\$APPDIR"}, {L"$ROOTDIR", L"C:\\root"}};
    EXPECT_EQ(expand(L"$ROOTDIR\\lib", macros), L"C:\\root\\lib");
}

TEST(CfgMacrosTest, MacroReplacedByItsOwnNameChangesNothing) {
    const CfgMacros macros = {{L"$APPDIR", L"$APPDIR"}};
    EXPECT_EQ(expand(L"$APPDIR\\a", macros), L"$APPDIR\\a");
}

// Without the limit, each pass would multiply the length by 4000 and the
// memory would run out before the pass limit is reached.
TEST(CfgMacrosTest, StopsValueThatWouldGrowPastLimit) {
    tstring manyNames;
    for (int i = 0; i < 4000; ++i) {
        manyNames += L"$ROOTDIR";
    }
    const CfgMacros macros = {{L"$ROOTDIR", L"C:\\" + manyNames}};
    EXPECT_EQ(expansionError(withClassPath({L"$ROOTDIR"}), macros),
              "Macros in the value of property \"app.classpath\" of section \"Application\" expand without end");
}

TEST(CfgMacrosTest, ExpandsLongValueWithManyNames) {
    tstring value;
    tstring expected;
    for (int i = 0; i < 20000; ++i) {
        value += L"$APPDIR\\lib\\a.jar;";
        expected += L"C:\\app\\lib\\a.jar;";
    }
    EXPECT_EQ(expand(value, directories), expected);
}

TEST(CfgMacrosTest, EmptyMacroNameIsIgnored) {
    EXPECT_EQ(expand(L"a$APPDIR", {{L"", L"x"}, {L"$APPDIR", L"C:\\app"}}), L"aC:\\app");
}

TEST(CfgMacrosTest, KeepsNamesAndListLengthsAndLeavesSourceUnchanged) {
    CfgFile source;
    source.overrideProperty(CfgSectionId::application, CfgPropertyId::appMainJar, {L"$APPDIR\\main.jar"});
    source.overrideProperty(CfgSectionId::javaOptions, CfgPropertyId::javaOptions,
                            {L"-Da=$BINDIR", L"", L"-Db=$ROOTDIR"});
    source.overrideProperty(CfgSectionId::argOptions, CfgPropertyId::arguments, {L"$appdir"});
    const CfgFile expanded = source.applyMacros(directories);

    const auto& app = expanded.sectionProperties(CfgSectionId::application);
    EXPECT_EQ(app.at(CfgPropertyId::appMainJar), (tstring_array{L"C:\\app\\main.jar"}));
    EXPECT_EQ(expanded.sectionProperties(CfgSectionId::javaOptions).at(CfgPropertyId::javaOptions),
              (tstring_array{L"-Da=C:\\bin", L"", L"-Db=C:\\root"}));
    EXPECT_EQ(expanded.sectionProperties(CfgSectionId::argOptions).at(CfgPropertyId::arguments),
              (tstring_array{L"$appdir"}));
    EXPECT_EQ(expanded.allSections().size(), 3u);
    EXPECT_EQ(source.sectionProperties(CfgSectionId::application).at(CfgPropertyId::appMainJar),
              (tstring_array{L"$APPDIR\\main.jar"}));
}

TEST(CfgMacrosTest, FileWithoutSectionsStaysWithoutSections) {
    EXPECT_TRUE(CfgFile().applyMacros(directories).allSections().empty());
}

TEST(CfgMacrosTest, NoMacrosLeaveValuesAsTheyAre) {
    EXPECT_EQ(expand(L"$APPDIR", {}), L"$APPDIR");
}

}  // namespace
