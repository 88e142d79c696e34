// Tests of Executor and OwnedHandle: command-line quoting checked against
// CommandLineToArgvW and a real child, exit codes, job objects, traces and
// error messages.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ErrorHandling.h"
#include "Executor.h"
#include "FileUtils.h"
#include "Log.h"
#include "LogCapture.h"
#include "TestSupport.h"

using namespace testing_support;

namespace {

std::vector<std::string> messages(const LogCapture& capture) {
    std::vector<std::string> result;
    for (const LogRecord& record : capture.records) {
        result.push_back(tstrings::toUtf8(record.message));
    }
    return result;
}

// The form in which exec_echo prints one argument.
std::string escaped(const tstring& arg) {
    static const char hex[] = "0123456789abcdef";
    tstring out = L"\"";
    for (wchar_t c : arg) {
        switch (c) {
        case L'\\': out += L"\\\\"; break;
        case L'"': out += L"\\\""; break;
        case L'\t': out += L"\\t"; break;
        case L'\n': out += L"\\n"; break;
        case L'\r': out += L"\\r"; break;
        default:
            if (c < 0x20) {
                out += L"\\x";
                out += static_cast<wchar_t>(hex[c >> 4]);
                out += static_cast<wchar_t>(hex[c & 0xF]);
            } else {
                out += c;
            }
        }
    }
    return tstrings::toUtf8(out + L"\"");
}

tstring echoPath() {
    return FileUtils::combinePath(testBinDir(), L"exec_echo.exe");
}

struct RaisedError {
    bool raised = false;
    std::string bareMessage;
    std::string what;
};

template <class Action>
RaisedError catchSysError(Action action) {
    try {
        action();
    } catch (const KivoError<SysError>& e) {
        return {true, e.bareMessage(), e.what()};
    }
    return {};
}

// A system error text: `prefix`, then ". System error [", the code, "](system
// error ", the same code, " (", the system's description, "))".
void expectSysErrorText(const std::string& text, const std::string& prefix, unsigned long expectedCode = 0) {
    const std::string head = prefix + ". System error [";
    ASSERT_EQ(text.substr(0, head.size()), head) << text;
    size_t codeEnd = text.find(']', head.size());
    ASSERT_NE(codeEnd, std::string::npos) << text;
    const std::string code = text.substr(head.size(), codeEnd - head.size());
    ASSERT_FALSE(code.empty()) << text;
    ASSERT_EQ(code.find_first_not_of("0123456789"), std::string::npos) << text;
    if (expectedCode != 0) {
        EXPECT_EQ(code, std::to_string(expectedCode)) << text;
    }
    const std::string description = "](system error " + code + " (";
    EXPECT_EQ(text.compare(codeEnd, description.size(), description), 0) << text;
    EXPECT_EQ(text.substr(text.size() - 2), "))") << text;
}

std::string pidFromCreateTrace(const std::string& message) {
    const std::string marker = " succeeded; PID=";
    size_t at = message.rfind(marker);
    return at == std::string::npos ? std::string() : message.substr(at + marker.size());
}

class ExecutorTest : public testing::Test {
protected:
    void SetUp() override {
        outputPath = FileUtils::combinePath(tempDir.path(), L"echo.txt");
        ::SetEnvironmentVariableW(L"EXEC_ECHO_OUTPUT", outputPath.c_str());
    }

    void TearDown() override {
        ::SetEnvironmentVariableW(L"EXEC_ECHO_OUTPUT", nullptr);
    }

    // Lines that exec_echo wrote during the last run.
    std::vector<std::string> echoed() const { return lines(readFile(outputPath)); }

    tstring tempPath(const tstring& name) const { return FileUtils::combinePath(tempDir.path(), name); }

    TempDir tempDir{L"exec"};
    tstring outputPath;
    LogCapture capture;
};

struct QuotingCase {
    const char* name;
    tstring arg;
    tstring quoted;
};

std::ostream& operator<<(std::ostream& out, const QuotingCase& c) {
    return out << c.name;
}

class ExecutorArgumentTest : public ExecutorTest, public testing::WithParamInterface<QuotingCase> {};

const tstring programPath = L"C:\\app\\p.exe";

TEST_P(ExecutorArgumentTest, QuotesArgumentInCommandLine) {
    Executor executor(programPath);
    executor.args().push_back(GetParam().arg);
    EXPECT_EQ(executor.commandLine(), programPath + L" " + GetParam().quoted);
}

TEST_P(ExecutorArgumentTest, SurvivesCommandLineToArgvW) {
    Executor executor(programPath);
    executor.args().push_back(GetParam().arg);
    EXPECT_EQ(splitWithCommandLineToArgvW(executor.commandLine()), (tstring_array{programPath, GetParam().arg}));
}

TEST_P(ExecutorArgumentTest, ReachesChildUnchanged) {
    Executor executor(echoPath());
    executor.args().push_back(GetParam().arg);
    ASSERT_EQ(executor.execAndWaitForExit(), 0);
    EXPECT_EQ(echoed(), (std::vector<std::string>{escaped(echoPath()), escaped(GetParam().arg)}));
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, ExecutorArgumentTest,
    testing::Values(QuotingCase{"Plain", L"abc", L"abc"},
                    QuotingCase{"Empty", L"", L"\"\""},
                    QuotingCase{"Space", L"a b", L"\"a b\""},
                    QuotingCase{"Tab", L"a\tb", L"\"a\tb\""},
                    QuotingCase{"LineFeed", L"a\nb", L"\"a\nb\""},
                    QuotingCase{"QuotationMark", L"a\"b", L"\"a\\\"b\""},
                    QuotingCase{"BackslashBeforeQuotationMark", L"a\\\"b", L"\"a\\\\\\\"b\""},
                    QuotingCase{"TwoBackslashesBeforeQuotationMark", L"a\\\\\"b", L"\"a\\\\\\\\\\\"b\""},
                    QuotingCase{"InnerBackslashes", L"C:\\a\\\\b", L"C:\\a\\\\b"},
                    QuotingCase{"InnerBackslashesWithSpace", L"C:\\a b\\\\c", L"\"C:\\a b\\\\c\""},
                    QuotingCase{"TrailingBackslash", L"ab\\", L"ab\\"},
                    QuotingCase{"TrailingBackslashWithSpace", L"a b\\", L"\"a b\\\\\""},
                    QuotingCase{"TwoTrailingBackslashesWithSpace", L"a b\\\\", L"\"a b\\\\\\\\\""},
                    QuotingCase{"LoneQuotationMark", L"\"", L"\"\\\"\""},
                    QuotingCase{"TwoQuotationMarks", L"\"\"", L"\"\\\"\\\"\""},
                    QuotingCase{"AlreadyQuoted", L"\"a b\"", L"\"\\\"a b\\\"\""},
                    QuotingCase{"Latin", L"\u00e9", L"\u00e9"},
                    QuotingCase{"Japanese", L"\u65e5\u672c", L"\u65e5\u672c"},
                    QuotingCase{"NonAsciiWithSpace", L"\u00e9 \u65e5\u672c", L"\"\u00e9 \u65e5\u672c\""}),
    [](const testing::TestParamInfo<QuotingCase>& info) { return std::string(info.param.name); });

TEST_F(ExecutorTest, QuotesProgramPathWithSpaceAndEachArgumentOnItsOwn) {
    Executor executor(L"C:\\my app\\p.exe");
    executor.args() = {L"a", L"b", L"x y"};
    EXPECT_EQ(executor.commandLine(), L"\"C:\\my app\\p.exe\" a b \"x y\"");
}

TEST_F(ExecutorTest, QuotesProgramPathWithTab) {
    EXPECT_EQ(Executor(L"C:\\my\tapp\\p.exe").commandLine(), L"\"C:\\my\tapp\\p.exe\"");
}

TEST_F(ExecutorTest, LeavesProgramPathWithoutBlanksUnquoted) {
    EXPECT_EQ(Executor(L"C:\\app\\p.exe").commandLine(), L"C:\\app\\p.exe");
}

TEST_F(ExecutorTest, PassesManyAwkwardArgumentsInOrder) {
    const tstring_array args = {L"",     L"a b", L"\"",      L"ab\\", L"",  L"a b\\", L"a\\\"b",
                                L"\"\"", L"x",   L"\u00e9", L"\t",   L" ", L""};
    Executor executor(echoPath());
    executor.args() = args;
    ASSERT_EQ(executor.execAndWaitForExit(), 0);
    std::vector<std::string> expected{escaped(echoPath())};
    for (const tstring& arg : args) {
        expected.push_back(escaped(arg));
    }
    EXPECT_EQ(echoed(), expected);
}

TEST_F(ExecutorTest, ChildSeesProgramPathWithSpace) {
    const tstring dir = tempPath(L"with space");
    makeDirs(dir);
    const tstring program = FileUtils::combinePath(dir, L"exec echo.exe");
    copyFile(echoPath(), program);
    Executor executor(program);
    executor.args().push_back(L"x");
    ASSERT_EQ(executor.execAndWaitForExit(), 0);
    EXPECT_EQ(echoed(), (std::vector<std::string>{escaped(program), escaped(L"x")}));
}

TEST_F(ExecutorTest, ReturnsAndTracesChildExitCode) {
    Executor executor(echoPath());
    executor.args().push_back(L"--exit-code=3");
    EXPECT_EQ(executor.execAndWaitForExit(), 3);

    ASSERT_EQ(capture.records.size(), 2u);
    const std::string pid = pidFromCreateTrace(messages(capture)[0]);
    ASSERT_FALSE(pid.empty());
    EXPECT_EQ(messages(capture), (std::vector<std::string>{
                                      "CreateProcess(" + tstrings::toUtf8(echoPath()) + ", " +
                                          tstrings::toUtf8(echoPath()) + " --exit-code=3) succeeded; PID=" + pid,
                                      "Process with PID=" + pid + " terminated. Exit code=3"}));
    for (const LogRecord& record : capture.records) {
        EXPECT_EQ(record.severityName, L"TRACE");
        EXPECT_EQ(record.fileName, L"Executor.cpp");
    }
}

TEST_F(ExecutorTest, ReturnsExitCodeAboveIntMaxBitForBit) {
    Executor executor(echoPath());
    executor.args().push_back(L"--exit-code=0xC0000005");
    EXPECT_EQ(static_cast<unsigned int>(executor.execAndWaitForExit()), 0xC0000005u);
    ASSERT_FALSE(capture.records.empty());
    const std::string last = messages(capture).back();
    EXPECT_EQ(last.substr(last.find(" terminated.")), " terminated. Exit code=3221225477");
}

TEST_F(ExecutorTest, StartsSuspendedChildInsideJob) {
    OwnedHandle job(::CreateJobObjectW(nullptr, nullptr));
    ASSERT_TRUE(job);
    const tstring marker = tempPath(L"ran.txt");
    Executor executor(echoPath());
    executor.setSuspended(true).setJob(job.get()).args().push_back(L"--create-file=" + marker);

    OwnedHandle thread;
    OwnedHandle process = executor.startProcess(&thread);
    ASSERT_TRUE(process);
    ASSERT_TRUE(thread);
    BOOL inJob = FALSE;
    ASSERT_TRUE(::IsProcessInJob(process.get(), job.get(), &inJob));
    EXPECT_TRUE(inJob);
    EXPECT_FALSE(FileUtils::exists(marker)) << "the child ran before it was resumed";

    ASSERT_EQ(::ResumeThread(thread.get()), 1u);
    ASSERT_EQ(::WaitForSingleObject(process.get(), INFINITE), WAIT_OBJECT_0);
    EXPECT_TRUE(FileUtils::exists(marker));

    ASSERT_EQ(capture.records.size(), 2u);
    const std::string pid = pidFromCreateTrace(messages(capture)[0]);
    EXPECT_EQ(messages(capture)[0].rfind("CreateProcess[suspended](", 0), 0u);
    EXPECT_EQ(messages(capture)[1], "AssignProcessToJobObject(PID=" + pid + ")");
}

TEST_F(ExecutorTest, ResumesSuspendedChildAndTracesEachStep) {
    OwnedHandle job(::CreateJobObjectW(nullptr, nullptr));
    ASSERT_TRUE(job);
    Executor executor(echoPath());
    executor.setVisible(true).setJob(job.get()).setSuspended(true).setInheritHandles(true);
    executor.args() = {L"a b", L"--exit-code=7"};
    EXPECT_EQ(executor.execAndWaitForExit(), 7);

    ASSERT_EQ(capture.records.size(), 4u);
    const std::string pid = pidFromCreateTrace(messages(capture)[0]);
    const std::string path = tstrings::toUtf8(echoPath());
    EXPECT_EQ(messages(capture),
              (std::vector<std::string>{
                  "CreateProcess[suspended][visible][inherit](" + path + ", " + path +
                      " \"a b\" --exit-code=7) succeeded; PID=" + pid,
                  "AssignProcessToJobObject(PID=" + pid + ")", "ResumeThread()",
                  "Process with PID=" + pid + " terminated. Exit code=7"}));
}

struct FlagsCase {
    const char* name;
    bool suspended;
    bool visible;
    bool inherit;
    const char* traceHead;
};

std::ostream& operator<<(std::ostream& out, const FlagsCase& c) {
    return out << c.name;
}

class ExecutorFlagsTest : public ExecutorTest, public testing::WithParamInterface<FlagsCase> {};

TEST_P(ExecutorFlagsTest, NamesFlagsInTrace) {
    Executor executor(echoPath());
    executor.setSuspended(GetParam().suspended).setVisible(GetParam().visible).setInheritHandles(GetParam().inherit);
    ASSERT_EQ(executor.execAndWaitForExit(), 0);
    ASSERT_FALSE(capture.records.empty());
    const std::string head = std::string(GetParam().traceHead) + "(" + tstrings::toUtf8(echoPath()) + ", ";
    EXPECT_EQ(messages(capture)[0].substr(0, head.size()), head);
}

INSTANTIATE_TEST_SUITE_P(Flags, ExecutorFlagsTest,
                         testing::Values(FlagsCase{"None", false, false, false, "CreateProcess"},
                                         FlagsCase{"Suspended", true, false, false, "CreateProcess[suspended]"},
                                         FlagsCase{"Visible", false, true, false, "CreateProcess[visible]"},
                                         FlagsCase{"Inherit", false, false, true, "CreateProcess[inherit]"},
                                         FlagsCase{"All", true, true, true,
                                                   "CreateProcess[suspended][visible][inherit]"}),
                         [](const testing::TestParamInfo<FlagsCase>& info) { return std::string(info.param.name); });

TEST_F(ExecutorTest, HidesWindowOfInvisibleChild) {
    Executor executor(echoPath());
    executor.args().push_back(L"--startup-info");
    ASSERT_EQ(executor.execAndWaitForExit(), 0);
    const std::vector<std::string> out = echoed();
    ASSERT_EQ(out.size(), 3u);
    EXPECT_EQ(out[2], "startup flags=" + std::to_string(STARTF_USESHOWWINDOW) + " show=" + std::to_string(SW_HIDE));
}

TEST_F(ExecutorTest, LeavesWindowOfVisibleChildAlone) {
    Executor executor(echoPath());
    executor.setVisible(true).args().push_back(L"--startup-info");
    ASSERT_EQ(executor.execAndWaitForExit(), 0);
    const std::vector<std::string> out = echoed();
    ASSERT_EQ(out.size(), 3u);
    EXPECT_EQ(out[2].rfind("startup flags=", 0), 0u);
    const unsigned long flags = std::stoul(out[2].substr(std::string("startup flags=").size()));
    EXPECT_EQ(flags & STARTF_USESHOWWINDOW, 0u) << out[2];
}

TEST_F(ExecutorTest, ReportsMissingProgram) {
    const tstring missing = tempPath(L"missing.exe");
    Executor executor(missing);
    executor.setSuspended(true).setVisible(true).args() = {L"a b", L""};

    RaisedError error = catchSysError([&] { executor.execAndWaitForExit(); });

    ASSERT_TRUE(error.raised);
    const std::string path = tstrings::toUtf8(missing);
    expectSysErrorText(error.bareMessage,
                       "CreateProcess[suspended][visible](" + path + ", " + path + " \"a b\" \"\") failed",
                       ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(error.what.rfind("Executor.cpp(", 0), 0u) << error.what;
    EXPECT_NE(error.what.find(") at Executor::startProcess(): CreateProcess["), std::string::npos) << error.what;
    EXPECT_TRUE(capture.records.empty());
}

TEST_F(ExecutorTest, EndsChildWhenJobAssignmentFails) {
    OwnedHandle notAJob(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    ASSERT_TRUE(notAJob);
    const tstring marker = tempPath(L"ran.txt");
    Executor executor(echoPath());
    executor.setSuspended(true).setJob(notAJob.get()).args().push_back(L"--create-file=" + marker);

    OwnedHandle thread;
    RaisedError error = catchSysError([&] { (void)executor.startProcess(&thread); });

    ASSERT_TRUE(error.raised);
    expectSysErrorText(error.bareMessage, "AssignProcessToJobObject() failed");
    EXPECT_NE(error.what.find(") at Executor::startProcess(): AssignProcessToJobObject() failed"), std::string::npos)
        << error.what;
    EXPECT_FALSE(thread) << "the thread handle of the abandoned child was handed out";

    ASSERT_EQ(capture.records.size(), 2u);
    const std::string pid = pidFromCreateTrace(messages(capture)[0]);
    EXPECT_EQ(messages(capture)[1], "AssignProcessToJobObject(PID=" + pid + ")");
    OwnedHandle child(
        ::OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, std::stoul(pid)));
    if (child) {
        // Ending a process takes effect asynchronously; the bound only keeps
        // a broken build from hanging the suite, and so does ending the
        // child here when it was left alive.
        DWORD waited = ::WaitForSingleObject(child.get(), 20000);
        if (waited != WAIT_OBJECT_0) {
            ::TerminateProcess(child.get(), 1);
        }
        EXPECT_EQ(waited, WAIT_OBJECT_0) << "the child was left running";
    }
    EXPECT_FALSE(FileUtils::exists(marker)) << "the child ran outside the job";
}

TEST_F(ExecutorTest, ClosesThreadHandleWhenNoSlotIsGiven) {
    Executor executor(echoPath());
    executor.args().push_back(L"--exit-code=4");
    OwnedHandle process = executor.startProcess();
    ASSERT_TRUE(process);
    ASSERT_EQ(::WaitForSingleObject(process.get(), INFINITE), WAIT_OBJECT_0);
    DWORD exitCode = 0;
    ASSERT_TRUE(::GetExitCodeProcess(process.get(), &exitCode));
    EXPECT_EQ(exitCode, 4u);
}

TEST_F(ExecutorTest, ThreadSlotClosesHandleItHeld) {
    HANDLE previous = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(previous, nullptr);
    OwnedHandle thread(previous);
    OwnedHandle process = Executor(echoPath()).startProcess(&thread);
    ASSERT_TRUE(thread);
    EXPECT_NE(thread.get(), previous);
    DWORD info = 0;
    EXPECT_FALSE(::GetHandleInformation(previous, &info));
    ASSERT_EQ(::WaitForSingleObject(process.get(), INFINITE), WAIT_OBJECT_0);
}

bool isOpen(HANDLE handle) {
    DWORD info = 0;
    return ::GetHandleInformation(handle, &info) != FALSE;
}

TEST(OwnedHandleTest, ClosesHandleWithoutChangingLastError) {
    HANDLE event = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(event, nullptr);
    {
        OwnedHandle owner(event);
        ::SetLastError(1234);
    }
    EXPECT_EQ(::GetLastError(), 1234u);
    EXPECT_FALSE(isOpen(event));
}

TEST(OwnedHandleTest, KeepsLastErrorWhenClosingFails) {
    HANDLE stale = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(stale, nullptr);
    ASSERT_TRUE(::CloseHandle(stale));
    {
        OwnedHandle owner(stale);
        ::SetLastError(1234);
    }
    EXPECT_EQ(::GetLastError(), 1234u);
}

TEST(OwnedHandleTest, MoveTransfersOwnership) {
    HANDLE event = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    OwnedHandle first(event);
    OwnedHandle second(std::move(first));
    EXPECT_FALSE(first);
    EXPECT_TRUE(second);
    EXPECT_EQ(second.get(), event);
    EXPECT_TRUE(isOpen(event));
}

TEST(OwnedHandleTest, MoveAssignmentClosesHandleItHeld) {
    HANDLE old = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE fresh = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    OwnedHandle target(old);
    target = OwnedHandle(fresh);
    EXPECT_FALSE(isOpen(old));
    EXPECT_TRUE(isOpen(fresh));
    EXPECT_EQ(target.get(), fresh);
}

TEST(OwnedHandleTest, ReleaseGivesUpOwnershipWithoutClosing) {
    HANDLE event = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE released = nullptr;
    {
        OwnedHandle owner(event);
        released = owner.release();
        EXPECT_FALSE(owner);
    }
    EXPECT_EQ(released, event);
    EXPECT_TRUE(isOpen(event));
    ::CloseHandle(event);
}

TEST(OwnedHandleTest, DefaultHoldsNoHandle) {
    EXPECT_FALSE(OwnedHandle());
    EXPECT_EQ(OwnedHandle().get(), nullptr);
}

}  // namespace
