// Starts one child process, optionally suspended and inside a job object,
// and waits for its exit code.
#include "Executor.h"

#include <utility>
#include <vector>

#include "CommandLine.h"
#include "Log.h"
#include "WinErrorHandling.h"

namespace {

void terminateKeepingLastError(HANDLE process) {
    const DWORD lastError = ::GetLastError();
    ::TerminateProcess(process, 1);
    ::SetLastError(lastError);
}

// "CreateProcess" with the switches that are on.
tstring creationText(bool suspended, bool visible, bool inheritHandles) {
    tstring text = L"CreateProcess";
    if (suspended) {
        text += L"[suspended]";
    }
    if (visible) {
        text += L"[visible]";
    }
    if (inheritHandles) {
        text += L"[inherit]";
    }
    return text;
}

}  // namespace

tstring Executor::commandLine() const {
    tstring result = CommandLine::quoteProgramPath(appPath);
    for (const tstring& arg : argList) {
        result += L' ';
        result += CommandLine::quoteArgument(arg);
    }
    return result;
}

OwnedHandle Executor::startProcess(OwnedHandle* threadHandle) const {
    const tstring cmdline = commandLine();
    // CreateProcessW may write into its command-line argument.
    std::vector<wchar_t> cmdlineBuffer(cmdline.begin(), cmdline.end());
    cmdlineBuffer.push_back(L'\0');

    STARTUPINFOW startupInfo{};
    startupInfo.cb = sizeof(startupInfo);
    PROCESS_INFORMATION processInfo{};
    DWORD creationFlags = 0;
    if (suspended) {
        creationFlags |= CREATE_SUSPENDED;
    }
    if (!visible) {
        startupInfo.dwFlags |= STARTF_USESHOWWINDOW;
        startupInfo.wShowWindow = SW_HIDE;
        creationFlags |= CREATE_NO_WINDOW;
    }

    tstrings::Builder trace;
    trace << creationText(suspended, visible, inheritHandles) << L"(" << appPath << L", " << cmdline << L")";

    BOOL created = ::CreateProcessW(appPath.c_str(), cmdlineBuffer.data(), nullptr, nullptr,
                                    inheritHandles ? TRUE : FALSE, creationFlags, nullptr, nullptr, &startupInfo,
                                    &processInfo);
    if (!created) {
        RAISE_LAST_ERROR(trace << L" failed", ::CreateProcessW);
    }
    OwnedHandle process(processInfo.hProcess);
    OwnedHandle thread(processInfo.hThread);

    trace << L" succeeded; PID=" << processInfo.dwProcessId;
    TRACE_MSG(trace.str());

    if (job) {
        TRACE_MSG(L"AssignProcessToJobObject(PID=" << processInfo.dwProcessId << L")");
        if (!::AssignProcessToJobObject(job, process.get())) {
            // A child outside the job would outlive us unnoticed, since the
            // job is what ends it when we die: end it now, best effort. A
            // suspended child has run no code yet, so this undoes its start
            // completely. Its handles are closed as the error propagates.
            terminateKeepingLastError(process.get());
            RAISE_LAST_ERROR(tstrings::Builder() << L"AssignProcessToJobObject() failed",
                             ::AssignProcessToJobObject);
        }
    }

    if (threadHandle) {
        *threadHandle = std::move(thread);
    }
    return process;
}

int Executor::execAndWaitForExit() const {
    OwnedHandle thread;
    const OwnedHandle process = startProcess(&thread);

    if (suspended) {
        TRACE_MSG(L"ResumeThread()");
        if (::ResumeThread(thread.get()) == static_cast<DWORD>(-1)) {
            RAISE_LAST_ERROR(tstrings::Builder() << L"ResumeThread() failed", ::ResumeThread);
        }
    }

    if (::WaitForSingleObject(process.get(), INFINITE) == WAIT_FAILED) {
        RAISE_LAST_ERROR(tstrings::Builder() << L"WaitForSingleObject() failed", ::WaitForSingleObject);
    }

    DWORD exitCode = 0;
    if (!::GetExitCodeProcess(process.get(), &exitCode)) {
        RAISE_LAST_ERROR(tstrings::Builder() << L"GetExitCodeProcess() failed", ::GetExitCodeProcess);
    }

    const DWORD pid = ::GetProcessId(process.get());
    if (pid == 0) {
        RAISE_LAST_ERROR(tstrings::Builder() << L"GetProcessId() failed.", ::GetProcessId);
    }

    TRACE_MSG(L"Process with PID=" << pid << L" terminated. Exit code=" << exitCode);
    return static_cast<int>(exitCode);
}
