// Tests of the queries of the launcher's own process: environment, paths,
// command line.
#include <windows.h>

#include <gtest/gtest.h>

#include "ErrorHandling.h"
#include "FileUtils.h"
#include "SysInfo.h"
#include "TestSupport.h"

namespace {

class ScopedEnv {
public:
    ScopedEnv(const tstring& name, const wchar_t* value) : name(name) { ::SetEnvironmentVariableW(name.c_str(), value); }
    ~ScopedEnv() { ::SetEnvironmentVariableW(name.c_str(), nullptr); }

private:
    tstring name;
};

struct EnvCase {
    const char* title;
    tstring value;
};

void PrintTo(const EnvCase& c, std::ostream* os) { *os << c.title; }

class SysInfoEnvValueTest : public ::testing::TestWithParam<EnvCase> {};

TEST_P(SysInfoEnvValueTest, ReadsTheWholeValueWithAndWithoutDefault) {
    ScopedEnv env(L"KIVO_TEST_VALUE", GetParam().value.c_str());
    EXPECT_EQ(GetParam().value, SysInfo::getEnvVariable(L"KIVO_TEST_VALUE"));
    EXPECT_EQ(GetParam().value, SysInfo::getEnvVariable(L"KIVO_TEST_VALUE", L"default"));
}

INSTANTIATE_TEST_SUITE_P(Table, SysInfoEnvValueTest,
                         ::testing::Values(EnvCase{"empty", L""}, EnvCase{"nine", L"123456789"},
                                           EnvCase{"ten", L"1234567890"}, EnvCase{"eleven", L"12345678901"},
                                           EnvCase{"nonBmp", L"\xd83d\xde00\x00e9\xd83d\xde00\xd83d\xde00\x00e9"},
                                           EnvCase{"long", tstring(32000, L'v')}));

TEST(SysInfoTest, GetEnvVariableWithDefaultGivesDefaultForUnsetVariable) {
    ::SetEnvironmentVariableW(L"KIVO_TEST_UNSET", nullptr);
    EXPECT_EQ(L"fallback", SysInfo::getEnvVariable(L"KIVO_TEST_UNSET", L"fallback"));
}

TEST(SysInfoTest, GetEnvVariableWithoutDefaultThrowsNamingTheVariable) {
    ::SetEnvironmentVariableW(L"KIVO_TEST_UNSET", nullptr);
    try {
        SysInfo::getEnvVariable(L"KIVO_TEST_UNSET");
        FAIL() << "no exception";
    } catch (const KivoError<SysError>& e) {
        const std::string bare = e.bareMessage();
        EXPECT_EQ(0u, bare.find("GetEnvironmentVariable(KIVO_TEST_UNSET) failed. Variable not set. System error "
                                "[203](system error 203 ("))
            << bare;
        EXPECT_EQ(0u, std::string(e.what()).find("WinSysInfo.cpp("));
        EXPECT_NE(std::string::npos,
                  std::string(e.what()).find(") at SysInfo::`anonymous-namespace'::getEnvVariableImpl(): " + bare));
    }
}

TEST(SysInfoTest, SetEnvVariableIsSeenByGetEnvVariable) {
    SysInfo::setEnvVariable(L"KIVO_TEST_SET", L"\x00e9 value");
    EXPECT_EQ(L"\x00e9 value", SysInfo::getEnvVariable(L"KIVO_TEST_SET"));
    SysInfo::setEnvVariable(L"KIVO_TEST_SET", L"");
    EXPECT_EQ(L"", SysInfo::getEnvVariable(L"KIVO_TEST_SET", L"default"));
    ::SetEnvironmentVariableW(L"KIVO_TEST_SET", nullptr);
}

TEST(SysInfoTest, GetSystemDirHasNoTrailingBackslash) {
    const tstring dir = SysInfo::getSystemDir();
    ASSERT_FALSE(dir.empty());
    EXPECT_NE(L'\\', dir.back());
    EXPECT_TRUE(FileUtils::exists(FileUtils::combinePath(dir, L"kernel32.dll")));
}

TEST(SysInfoTest, ExecutableAndModulePathNameThisTestProgram) {
    wchar_t self[MAX_PATH];
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    EXPECT_EQ(self, SysInfo::getExecutablePath());
    EXPECT_EQ(self, SysInfo::getThisModulePath());
    EXPECT_TRUE(tstrings::endsWith(SysInfo::getExecutablePath(), L"\\SysInfoTest.exe"));
}

TEST(SysInfoTest, GetCommandArgsIncludesProgramNameOnlyOnRequest) {
    const tstring_array all = SysInfo::getCommandArgs(SysInfo::IncludeProgramName);
    const tstring_array rest = SysInfo::getCommandArgs(SysInfo::ExcludeProgramName);
    ASSERT_EQ(all.size(), rest.size() + 1);
    EXPECT_TRUE(tstrings::endsWith(all[0], L"SysInfoTest.exe"));
    EXPECT_TRUE(std::equal(rest.begin(), rest.end(), all.begin() + 1));
}

tstring payloadProgram() { return testing_support::testBinDir() + L"\\app_payloads.exe"; }

std::string nulTerminated(std::initializer_list<std::string> items) {
    std::string text;
    for (const std::string& item : items) {
        text += item + '\0';
    }
    return text;
}

TEST(SysInfoTest, GetCommandArgsGivesTheArgumentsUnquoted) {
    const auto result = testing_support::runProcess(
        payloadProgram(), {L"args", L"", L"two words", L"say \"hi\"", L"C:\\my dir\\", L"\x00e9\xd83d\xde00"});
    EXPECT_EQ(nulTerminated({"args", "", "two words", "say \"hi\"", "C:\\my dir\\", "\xc3\xa9\xf0\x9f\x98\x80"}),
              result.out);
    EXPECT_EQ(0u, result.exitCode);
}

TEST(SysInfoTest, GetCommandArgsFollowsCommandLineToArgvWRules) {
    testing_support::ProcessOptions options;
    options.rawCommandLine = L"\"" + payloadProgram() + L"\"   args \"a b\"c d\\\\\"e f\" g\\h\\\\ \"\"";
    const auto result = testing_support::runProcess(payloadProgram(), {}, options);
    EXPECT_EQ(nulTerminated({"args", "a bc", "d\\e f", "g\\h\\\\", ""}), result.out);
}

}  // namespace
