// Tests of the Jvm: its setters, the argument vector assembled from a
// configuration file, the splash test and the environment it applies.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "CfgFile.h"
#include "ErrorHandling.h"
#include "JvmLauncher.h"
#include "LogCapture.h"
#include "SysInfo.h"
#include "TestFiles.h"

using testing_support::LogCapture;
using testing_support::ScopedEnvVariable;
using testing_support::TempDir;

namespace {

const tstring kProgram = L"C:\\Demo\\Demo.exe";

tstring appPathArgument() {
    return L"-Dkivo.app-path=" + SysInfo::getExecutablePath();
}

CfgFile loadCfg(const TempDir& dir, const std::string& text) {
    const tstring path = dir.path() + L"\\test.cfg";
    testing_support::writeFile(path, text);
    return CfgFile::load(path);
}

tstring_array argumentsFrom(const CfgFile& cfg) {
    Jvm jvm;
    jvm.appendArgument(kProgram).initFromConfigFile(cfg);
    return jvm.getRuntimeArgs();
}

tstring pointerText(const void* address) {
    return (tstrings::Builder() << address).str();
}

tstring replaceAll(tstring text, const tstring& search, const tstring& replacement) {
    for (tstring::size_type at = text.find(search); at != tstring::npos;
         at = text.find(search, at + replacement.size())) {
        text.replace(at, search.size(), replacement);
    }
    return text;
}

std::string replaceAll(std::string text, const std::string& search, const std::string& replacement) {
    for (std::string::size_type at = text.find(search); at != std::string::npos;
         at = text.find(search, at + replacement.size())) {
        text.replace(at, search.size(), replacement);
    }
    return text;
}

}  // namespace

TEST(JvmTest, SettersChainAndFillTheMembers) {
    Jvm jvm;
    Jvm& result = jvm.setLibraryPath(L"C:\\rt\\bin\\qsr.dll")
                      .appendArgument(L"a")
                      .appendArgument(L"")
                      .appendArgument(L"a")
                      .addEnvironmentVariable(L"N1", L"V1")
                      .addEnvironmentVariable(L"N2", L"")
                      .setLibraryPath(L"C:\\other\\qsr.dll");

    EXPECT_EQ(&result, &jvm);
    EXPECT_EQ(jvm.getLibraryPath(), L"C:\\other\\qsr.dll");
    EXPECT_EQ(jvm.getRuntimeArgs(), (tstring_array{L"a", L"", L"a"}));
    EXPECT_EQ(jvm.getEnvNames(), (tstring_array{L"N1", L"N2"}));
    EXPECT_EQ(jvm.getEnvValues(), (tstring_array{L"V1", L""}));
}

TEST(JvmTest, TracesConstructionAndDestructionWithItsAddress) {
    LogCapture capture;
    tstring address;
    {
        Jvm jvm;
        address = pointerText(&jvm);
    }

    ASSERT_EQ(capture.records.size(), 2u);
    EXPECT_EQ(capture.records[0].severityName, L"TRACE");
    EXPECT_EQ(capture.records[0].message, L"Jvm(" + address + L")::Jvm()");
    EXPECT_EQ(capture.records[0].function, L"Jvm::Jvm");
    EXPECT_EQ(capture.records[0].fileName, L"JvmLauncher.cpp");
    EXPECT_EQ(capture.records[1].message, L"Jvm(" + address + L")::~Jvm()");
    EXPECT_EQ(capture.records[1].function, L"Jvm::~Jvm");
    EXPECT_EQ(address.size(), 16u);
}

TEST(JvmTest, WorkedExampleGivesArgumentsInFixedOrder) {
    TempDir dir;
    const tstring splash = dir.path() + L"\\splash.png";
    testing_support::writeFile(splash, "png");
    const CfgFile cfg = loadCfg(dir,
                                "[Application]\n"
                                "app.classpath=C:\\Demo\\app\\a.jar\n"
                                "app.classpath=C:\\Demo\\app\\b.jar\n"
                                "app.mainclass=demo.Main\n"
                                "app.splash=" + tstrings::toUtf8(splash) + "\n"
                                "[JavaOptions]\n"
                                "java-options=-Xmx512m\n"
                                "java-options=-Dx=y z\n"
                                "[ArgOptions]\n"
                                "arguments=--default\n");

    const tstring_array expected = {kProgram,
                                    L"-classpath",
                                    L"C:\\Demo\\app\\a.jar;C:\\Demo\\app\\b.jar",
                                    L"-splash:" + splash,
                                    L"-Xmx512m",
                                    L"-Dx=y z",
                                    appPathArgument(),
                                    L"demo.Main",
                                    L"--default"};
    EXPECT_EQ(argumentsFrom(cfg), expected);

    CfgFile overridden = cfg;
    overridden.overrideProperty(CfgSectionId::argOptions, CfgPropertyId::arguments, {L"one", L"two"});
    tstring_array withCommandLine(expected.begin(), expected.end() - 1);
    withCommandLine.push_back(L"one");
    withCommandLine.push_back(L"two");
    EXPECT_EQ(argumentsFrom(overridden), withCommandLine);
}

TEST(JvmTest, MissingSplashFileAddsNothingAndWarns) {
    TempDir dir;
    const tstring missing = dir.path() + L"\\missing.png";
    const CfgFile cfg = loadCfg(dir, "[Application]\napp.splash=" + tstrings::toUtf8(missing) + "\n");

    LogCapture capture;
    const tstring_array args = argumentsFrom(cfg);

    EXPECT_EQ(args, (tstring_array{kProgram, appPathArgument()}));
    const std::vector<LogRecord> warnings = capture.withSeverity(L"WARNING");
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_EQ(warnings[0].message, L"Splash property ignored. File \"" + missing + L"\" not found");
    EXPECT_EQ(warnings[0].function, L"Jvm::initFromConfigFile");
    EXPECT_EQ(warnings[0].fileName, L"JvmLauncher.cpp");
}

TEST(JvmTest, SplashFromJavaOptionsOrArgumentsCounts) {
    TempDir dir;
    Jvm fromOptions;
    fromOptions.initFromConfigFile(loadCfg(dir, "[JavaOptions]\njava-options=-splash:none.png\n"));
    EXPECT_TRUE(fromOptions.hasSplashArgument());

    Jvm fromArguments;
    fromArguments.initFromConfigFile(loadCfg(dir, "[ArgOptions]\narguments=-splash:x\n"));
    EXPECT_TRUE(fromArguments.hasSplashArgument());
}

struct SplashCase {
    const char* name;
    tstring_array args;
    bool expected;
};

void PrintTo(const SplashCase& c, std::ostream* os) {
    *os << c.name;
}

class JvmSplashTest : public testing::TestWithParam<SplashCase> {};

TEST_P(JvmSplashTest, FindsCaseSensitivePrefix) {
    Jvm jvm;
    for (const tstring& arg : GetParam().args) {
        jvm.appendArgument(arg);
    }
    EXPECT_EQ(jvm.hasSplashArgument(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, JvmSplashTest,
    testing::Values(SplashCase{"Empty", {}, false}, SplashCase{"Plain", {L"-splash:x.png"}, true},
                    SplashCase{"BarePrefix", {L"-splash:"}, true}, SplashCase{"UpperCase", {L"-SPLASH:x"}, false},
                    SplashCase{"ShorterThanPrefix", {L"-spl"}, false},
                    SplashCase{"WithoutColon", {L"-splash"}, false},
                    SplashCase{"LeadingBlank", {L" -splash:x"}, false},
                    SplashCase{"LaterElement", {L"prog", L"-Xmx1m", L"-splash:C:\\s.png", L"a"}, true}),
    [](const testing::TestParamInfo<SplashCase>& info) { return std::string(info.param.name); });

// One configuration and the arguments it must give. In the texts, %DIR% is
// a temporary directory holding the file "splash.png"; in the expected
// arguments, %APPPATH% stands for the "-Dkivo.app-path=" element.
struct CfgCase {
    const char* name;
    const char* cfg;
    std::vector<const wchar_t*> expected;
};

void PrintTo(const CfgCase& c, std::ostream* os) {
    *os << c.name;
}

class JvmCfgTest : public testing::TestWithParam<CfgCase> {};

TEST_P(JvmCfgTest, AppendsArgumentsInFixedOrder) {
    TempDir dir;
    testing_support::writeFile(dir.path() + L"\\splash.png", "png");
    const CfgFile cfg = loadCfg(dir, replaceAll(std::string(GetParam().cfg), "%DIR%", tstrings::toUtf8(dir.path())));

    tstring_array expected = {kProgram};
    for (const wchar_t* arg : GetParam().expected) {
        const tstring text = replaceAll(tstring(arg), L"%DIR%", dir.path());
        expected.push_back(text == L"%APPPATH%" ? appPathArgument() : text);
    }
    EXPECT_EQ(argumentsFrom(cfg), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, JvmCfgTest,
    testing::Values(
        CfgCase{"EmptyFile", "", {L"%APPPATH%"}},
        CfgCase{"ModulePathTwice",
                "[Application]\napp.modulepath=m1\napp.modulepath=m2\n",
                {L"--module-path", L"m1", L"--module-path", L"m2", L"%APPPATH%"}},
        CfgCase{"ClassPathTwice",
                "[Application]\napp.classpath=a.jar\napp.classpath=b.jar\n",
                {L"-classpath", L"a.jar;b.jar", L"%APPPATH%"}},
        CfgCase{"ClassPathWithEmptyValue",
                "[Application]\napp.classpath=a.jar\napp.classpath=\n",
                {L"-classpath", L"a.jar;", L"%APPPATH%"}},
        CfgCase{"SplashLastValueMissing",
                "[Application]\napp.splash=%DIR%\\splash.png\napp.splash=%DIR%\\none.png\n",
                {L"%APPPATH%"}},
        CfgCase{"SplashLastValueExists",
                "[Application]\napp.splash=%DIR%\\none.png\napp.splash=%DIR%\\splash.png\n",
                {L"-splash:%DIR%\\splash.png", L"%APPPATH%"}},
        CfgCase{"SplashDirectory", "[Application]\napp.splash=%DIR%\n", {L"-splash:%DIR%", L"%APPPATH%"}},
        CfgCase{"MainClassThenJar",
                "[Application]\napp.mainjar=x.jar\napp.mainclass=demo.Main\n",
                {L"%APPPATH%", L"demo.Main", L"-jar", L"x.jar"}},
        CfgCase{"AllMainEntries",
                "[Application]\napp.mainjar=x.jar\napp.mainclass=demo.Main\napp.mainmodule=mod/demo.Main\n",
                {L"%APPPATH%", L"-m", L"mod/demo.Main", L"demo.Main", L"-jar", L"x.jar"}},
        CfgCase{"RepeatedMainEntriesTakeLast",
                "[Application]\napp.mainmodule=m1\napp.mainmodule=m2\napp.mainclass=C1\napp.mainclass=C2\n"
                "app.mainjar=j1\napp.mainjar=j2\n",
                {L"%APPPATH%", L"-m", L"m2", L"C2", L"-jar", L"j2"}},
        CfgCase{"EmptyMainClass", "[Application]\napp.mainclass=\n", {L"%APPPATH%", L""}},
        CfgCase{"JavaOptionsKeepBlanksAndDuplicates",
                "[JavaOptions]\njava-options=-Da=b c\njava-options=\njava-options=-Da=b c\n",
                {L"-Da=b c", L"", L"-Da=b c", L"%APPPATH%"}},
        CfgCase{"ArgumentsKeepDuplicates",
                "[ArgOptions]\narguments=a\narguments=a\narguments=\n",
                {L"%APPPATH%", L"a", L"a", L""}},
        CfgCase{"StepsInFixedOrder",
                "[ArgOptions]\narguments=arg\n[JavaOptions]\njava-options=-Xopt\n[Application]\n"
                "app.mainjar=x.jar\napp.splash=%DIR%\\splash.png\napp.classpath=cp\napp.modulepath=mp\n",
                {L"--module-path", L"mp", L"-classpath", L"cp", L"-splash:%DIR%\\splash.png", L"-Xopt",
                 L"%APPPATH%", L"-jar", L"x.jar", L"arg"}},
        CfgCase{"PropertiesInOtherSectionsIgnored",
                "[Application]\njava-options=-Xapp\narguments=app\napp.runtime=rt\napp.version=1\napp.memory=2\n"
                "[JavaOptions]\napp.mainclass=Wrong\n[AppCDSJavaOptions]\njava-options=-Xcds\n"
                "[AppCDSGenerateCacheJavaOptions]\njava-options=-Xgen\n[ArgOptions]\njava-options=-Xarg\n",
                {L"%APPPATH%"}}),
    [](const testing::TestParamInfo<CfgCase>& info) { return std::string(info.param.name); });

TEST(JvmTest, ApplyEnvironmentSetsVariablesInOrder) {
    const ScopedEnvVariable first(L"KIVO_JVMTEST_A", std::nullopt);
    const ScopedEnvVariable second(L"KIVO_JVMTEST_B", std::nullopt);
    Jvm jvm;
    jvm.addEnvironmentVariable(L"KIVO_JVMTEST_A", L"first")
        .addEnvironmentVariable(L"KIVO_JVMTEST_B", L"")
        .addEnvironmentVariable(L"KIVO_JVMTEST_A", L"second");

    jvm.applyEnvironment();

    EXPECT_EQ(SysInfo::getEnvVariable(L"KIVO_JVMTEST_A"), L"second");
    EXPECT_EQ(SysInfo::getEnvVariable(L"KIVO_JVMTEST_B", L"unset"), L"");
}

TEST(JvmTest, ApplyEnvironmentWithoutVariablesChangesNothing) {
    const tstring before = SysInfo::getEnvVariable(L"PATH", L"");
    Jvm jvm;
    jvm.appendArgument(L"PATH").applyEnvironment();
    EXPECT_EQ(SysInfo::getEnvVariable(L"PATH", L""), before);
}

TEST(JvmTest, ApplyEnvironmentStopsAtFirstFailure) {
    const ScopedEnvVariable before(L"KIVO_JVMTEST_BEFORE", std::nullopt);
    const ScopedEnvVariable after(L"KIVO_JVMTEST_AFTER", std::nullopt);
    Jvm jvm;
    jvm.addEnvironmentVariable(L"KIVO_JVMTEST_BEFORE", L"set")
        .addEnvironmentVariable(L"KIVO_JVMTEST=BAD", L"x")
        .addEnvironmentVariable(L"KIVO_JVMTEST_AFTER", L"set");

    EXPECT_THROW(jvm.applyEnvironment(), std::runtime_error);

    EXPECT_EQ(SysInfo::getEnvVariable(L"KIVO_JVMTEST_BEFORE", L"unset"), L"set");
    EXPECT_EQ(SysInfo::getEnvVariable(L"KIVO_JVMTEST_AFTER", L"unset"), L"unset");
}
