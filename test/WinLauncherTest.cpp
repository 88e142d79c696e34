// Tests of the Windows launch sequence's helpers: the two DLL loading
// strategies and their fallback, the per-user configuration lookup
// directories, and the runner that waits for a child while pumping messages.
#include "WinLauncher.h"

#include <gtest/gtest.h>

#include <regex>

#include "AppLauncher.h"
#include "ErrorHandling.h"
#include "Executor.h"
#include "LauncherImage.h"
#include "LogCapture.h"
#include "PackageFile.h"
#include "TestSupport.h"
#include "Toolbox.h"
#include "app.h"

using testing_support::LogCapture;
using testing_support::ScopedEnvVariable;
using testing_support::TempDir;

namespace {

// A private copy of the fixture runtime's bin directory: qsr.dll loads only
// when its own directory is searched for qsrdep.dll, and a fresh directory
// has not been added to the DLL directories by an earlier test.
class RuntimeCopy {
public:
    RuntimeCopy() {
        testing_support::copyTree(testing_support::testBinDir() + L"\\fixtures\\runtime\\bin", binDir());
    }
    tstring binDir() const { return dir.path() + L"\\bin"; }
    tstring qsrPath() const { return binDir() + L"\\qsr.dll"; }

private:
    TempDir dir;
};

tstring_array traceMessages(const LogCapture& capture) {
    tstring_array messages;
    for (const LogRecord& record : capture.withSeverity(L"TRACE")) {
        messages.push_back(record.message);
    }
    return messages;
}

bool exportsQsrLaunch(const Dll& dll) { return dll.getFunction("QSR_Launch", false) != nullptr; }

tstring currentPath() { return testing_support::envVariable(L"PATH").value_or(L""); }

std::string bareMessage(const KivoErrorBase& e) { return e.bareMessage(); }

}  // namespace

TEST(LoadDllTest, AddDllDirectoryStrategyFindsDependencyBesideLibrary) {
    const RuntimeCopy runtime;
    LogCapture capture;

    const std::unique_ptr<Dll> dll = WinLauncher::loadDllWithAddDllDirectory(runtime.qsrPath());

    ASSERT_TRUE(dll);
    EXPECT_TRUE(exportsQsrLaunch(*dll));
    const tstring_array traces = traceMessages(capture);
    ASSERT_EQ(traces.size(), 4u);
    EXPECT_EQ(traces[0], L"Entering `anonymous-namespace'::loadDllWithAddDllDirectory");
    EXPECT_EQ(traces[1], L"AddDllDirectory(" + runtime.binDir() + L"): OK");
    const std::wregex loaded(L"LoadLibraryEx\\(.*, LOAD_LIBRARY_SEARCH_DEFAULT_DIRS\\): [0-9A-F]{16}");
    EXPECT_TRUE(std::regex_match(traces[2], loaded)) << tstrings::toUtf8(traces[2]);
    EXPECT_TRUE(tstrings::startsWith(traces[2], L"LoadLibraryEx(" + runtime.qsrPath() + L", "));
    EXPECT_NE(traces[2].substr(traces[2].size() - 16), L"0000000000000000");
    EXPECT_EQ(traces[3], L"Exiting `anonymous-namespace'::loadDllWithAddDllDirectory (entered at WinLauncher.cpp:" +
                             std::to_wstring(capture.withSeverity(L"TRACE")[0].line) + L")");
}

TEST(LoadDllTest, AddDllDirectoryStrategyRejectsRelativeDirectory) {
    LogCapture capture;
    try {
        WinLauncher::loadDllWithAddDllDirectory(L"relative\\qsr.dll");
        FAIL() << "no error";
    } catch (const KivoErrorBase& e) {
        EXPECT_EQ(bareMessage(e).rfind("AddDllDirectory(relative) failed. System error [", 0), 0u) << bareMessage(e);
    }
}

TEST(LoadDllTest, AlteredPathStrategyAppendsLibraryDirectoryWhileLoading) {
    const RuntimeCopy runtime;
    const tstring oldPath = currentPath();
    LogCapture capture;

    const std::unique_ptr<Dll> dll = WinLauncher::loadDllWithAlteredPATH(runtime.qsrPath());

    ASSERT_TRUE(dll);
    EXPECT_TRUE(exportsQsrLaunch(*dll));
    EXPECT_EQ(currentPath(), oldPath);
    const tstring_array traces = traceMessages(capture);
    ASSERT_EQ(traces.size(), 3u);
    EXPECT_EQ(traces[0], L"Entering `anonymous-namespace'::loadDllWithAlteredPATH");
    EXPECT_EQ(traces[1], L"New value of PATH: " + oldPath + L";" + runtime.binDir());
    EXPECT_TRUE(tstrings::startsWith(traces[2], L"Exiting `anonymous-namespace'::loadDllWithAlteredPATH"));
}

TEST(LoadDllTest, AlteredPathStrategyRestoresPathWhenLoadFails) {
    LogCapture capture;
    const TempDir dir;
    const tstring oldPath = currentPath();
    const tstring missing = dir.path() + L"\\missing.dll";
    try {
        WinLauncher::loadDllWithAlteredPATH(missing);
        FAIL() << "no error";
    } catch (const KivoErrorBase& e) {
        const std::string expected = "LoadLibraryW(" + tstrings::toUtf8(missing) + ") failed. System error [";
        EXPECT_EQ(bareMessage(e).rfind(expected, 0), 0u) << bareMessage(e);
    }
    EXPECT_EQ(currentPath(), oldPath);
}

TEST(LoadDllTest, AlteredPathStrategyNeedsPath) {
    LogCapture capture;
    const RuntimeCopy runtime;
    const ScopedEnvVariable noPath(L"PATH", std::nullopt);
    try {
        WinLauncher::loadDllWithAlteredPATH(runtime.qsrPath());
        FAIL() << "no error";
    } catch (const KivoErrorBase& e) {
        EXPECT_EQ(bareMessage(e).rfind("GetEnvironmentVariable(PATH) failed. Variable not set", 0), 0u)
            << bareMessage(e);
    }
    EXPECT_FALSE(testing_support::envVariable(L"PATH"));
}

TEST(LoadDllTest, FallsBackToAlteredPathSilently) {
    // AddDllDirectory takes absolute directories only; the relative path
    // still loads through PATH, relative to the current directory.
    const RuntimeCopy runtime;
    wchar_t saved[MAX_PATH];
    ASSERT_NE(::GetCurrentDirectoryW(MAX_PATH, saved), 0u);
    ASSERT_TRUE(::SetCurrentDirectoryW(runtime.binDir().c_str()));
    const AtEndOfScope restoreDir([&saved] { ::SetCurrentDirectoryW(saved); });
    testing_support::makeDirs(L"sub");
    testing_support::copyFile(L"qsr.dll", L"sub\\qsr.dll");
    testing_support::copyFile(L"qsrdep.dll", L"sub\\qsrdep.dll");
    LogCapture capture;

    const std::unique_ptr<Dll> dll = WinLauncher::loadDll(L"sub\\qsr.dll");

    ASSERT_TRUE(dll);
    EXPECT_TRUE(exportsQsrLaunch(*dll));
    EXPECT_TRUE(capture.withSeverity(L"ERROR").empty());
    bool alteredPath = false;
    for (const tstring& message : traceMessages(capture)) {
        alteredPath = alteredPath || tstrings::startsWith(message, L"New value of PATH: ");
    }
    EXPECT_TRUE(alteredPath);
}

TEST(LoadDllTest, ReportsErrorOfSecondMethod) {
    const TempDir dir;
    const tstring missing = dir.path() + L"\\missing.dll";
    LogCapture capture;
    try {
        WinLauncher::loadDll(missing);
        FAIL() << "no error";
    } catch (const KivoErrorBase& e) {
        const std::string expected = "LoadLibraryW(" + tstrings::toUtf8(missing) + ") failed. System error [";
        EXPECT_EQ(bareMessage(e).rfind(expected, 0), 0u) << bareMessage(e);
        EXPECT_NE(std::string(dynamic_cast<const std::exception&>(e).what()).find("loadLibrary"), std::string::npos);
    }
    EXPECT_TRUE(capture.withSeverity(L"ERROR").empty());
}

TEST(CfgFileLookupDirTest, AddsVariableValueJoinedWithPackageName) {
    const ScopedEnvVariable local(L"KIVO_TEST_LOOKUP", tstring(L"C:\\Users\\me\\Local"));
    AppLauncher appLauncher;
    appLauncher.setAppDir(L"C:\\Demo\\app");
    LogCapture capture;

    WinLauncher::addCfgFileLookupDirForEnvVariable(PackageFile(L"Pkg"), appLauncher, L"KIVO_TEST_LOOKUP");
    const tstring cfgPath = appLauncher.getCfgFilePath();

    const tstring_array traces = traceMessages(capture);
    ASSERT_EQ(traces.size(), 1u);
    EXPECT_TRUE(tstrings::startsWith(traces[0], L"Check [C:\\Users\\me\\Local\\Pkg\\")) << tstrings::toUtf8(traces[0]);
    EXPECT_TRUE(tstrings::startsWith(cfgPath, L"C:\\Demo\\app\\"));
}

TEST(CfgFileLookupDirTest, UnsetVariableIsLoggedAndSkipped) {
    const ScopedEnvVariable unset(L"KIVO_TEST_LOOKUP", std::nullopt);
    AppLauncher appLauncher;
    appLauncher.setAppDir(L"C:\\Demo\\app");
    LogCapture capture;

    WinLauncher::addCfgFileLookupDirForEnvVariable(PackageFile(L"Pkg"), appLauncher, L"KIVO_TEST_LOOKUP");
    appLauncher.getCfgFilePath();

    const std::vector<LogRecord> errors = capture.withSeverity(L"ERROR");
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].function, L"`anonymous-namespace'::addCfgFileLookupDirForEnvVariable");
    EXPECT_NE(errors[0].message.find(L"GetEnvironmentVariable(KIVO_TEST_LOOKUP) failed. Variable not set"),
              tstring::npos);
    EXPECT_TRUE(tstrings::startsWith(errors[0].message, L"Exception with message '"));
    EXPECT_TRUE(traceMessages(capture).empty());
}

TEST(CfgFileLookupDirTest, EmptyVariableAddsNothing) {
    const ScopedEnvVariable empty(L"KIVO_TEST_LOOKUP", tstring());
    AppLauncher appLauncher;
    appLauncher.setAppDir(L"C:\\Demo\\app");
    LogCapture capture;

    WinLauncher::addCfgFileLookupDirForEnvVariable(PackageFile(L"Pkg"), appLauncher, L"KIVO_TEST_LOOKUP");
    appLauncher.getCfgFilePath();

    EXPECT_TRUE(capture.records.empty());
}

class RunExecutorWithMsgLoopTest : public testing::Test {
protected:
    void SetUp() override { testing_support::keepDesktopInUse(); }



    Executor echo(const tstring& exitCode) const {
        Executor executor(testing_support::testBinDir() + L"\\exec_echo.exe");
        executor.args().push_back(L"--exit-code=" + exitCode);
        return executor;
    }

    // exec_echo writes its arguments here rather than to this program's
    // output.
    TempDir dir;
    ScopedEnvVariable echoOutput{L"EXEC_ECHO_OUTPUT", dir.path() + L"\\echo.txt"};
};

TEST_F(RunExecutorWithMsgLoopTest, ReturnsChildExitCodeAndTracesIt) {
    LogCapture capture;

    EXPECT_EQ(WinLauncher::runExecutorWithMsgLoop(echo(L"0")), 0u);

    const tstring_array traces = traceMessages(capture);
    ASSERT_FALSE(traces.empty());
    EXPECT_EQ(traces.back(), L"Executor worker thread terminated. Exit code=0");
}

TEST_F(RunExecutorWithMsgLoopTest, PassesExitCodeWithTopBitUnchanged) {
    LogCapture capture;

    EXPECT_EQ(WinLauncher::runExecutorWithMsgLoop(echo(L"0xC0000005")), 0xC0000005u);

    EXPECT_EQ(traceMessages(capture).back(), L"Executor worker thread terminated. Exit code=3221225477");
}

TEST_F(RunExecutorWithMsgLoopTest, ChildThatCannotStartFailsOnCallingThread) {
    const Executor missing(dir.path() + L"\\missing.exe");
    LogCapture capture;
    try {
        WinLauncher::runExecutorWithMsgLoop(missing);
        FAIL() << "no error";
    } catch (const KivoErrorBase& e) {
        EXPECT_EQ(bareMessage(e).rfind("CreateProcess(" + tstrings::toUtf8(dir.path()) + "\\missing.exe, ", 0), 0u)
            << bareMessage(e);
        EXPECT_NE(bareMessage(e).find(") failed. System error ["), std::string::npos) << bareMessage(e);
    }
    EXPECT_TRUE(capture.withSeverity(L"ERROR").empty());
}

TEST_F(RunExecutorWithMsgLoopTest, SuccessiveRunsEachReturnTheirChildsCode) {
    LogCapture capture;
    for (int code = 1; code <= 3; ++code) {
        EXPECT_EQ(WinLauncher::runExecutorWithMsgLoop(echo(std::to_wstring(code))), static_cast<DWORD>(code));
    }
}

namespace {

// Keeps the last error message that the launch wrapper prints.
class LastErrorCapture : public LogAppender {
public:
    void write(const LogRecord&) override { texts.push_back(app::lastErrorText()); }
    std::vector<std::string> texts;
};

void runMissingChild() {
    WinLauncher::runExecutorWithMsgLoop(Executor(testing_support::testBinDir() + L"\\no-such-launcher.exe"));
}

}  // namespace

TEST(RestartFailureTest, ChildThatCannotStartIsReportedByLaunchWrapper) {
    testing_support::keepDesktopInUse();
    const ScopedEnvVariable debug(L"KIVO_DEBUG", std::nullopt);
    LastErrorCapture lastError;

    EXPECT_EQ(app::launch(std::nothrow, runMissingChild, &lastError), 1);

    ASSERT_EQ(lastError.texts.size(), 1u);
    const std::string expected = "CreateProcess(" + tstrings::toUtf8(testing_support::testBinDir()) +
                                 "\\no-such-launcher.exe, ";
    EXPECT_EQ(lastError.texts[0].rfind(expected, 0), 0u) << lastError.texts[0];
}
