// Application images in temporary directories, scoped environment changes
// and launcher processes read while they run.
#include "LauncherImage.h"

#include <mutex>
#include <stdexcept>
#include <vector>

namespace testing_support {

namespace {

[[noreturn]] void fail(const std::string& what, DWORD error) {
    throw std::runtime_error(what + " failed with error " + std::to_string(error));
}

}  // namespace

void keepDesktopInUse() {
    static std::once_flag started;
    std::call_once(started, [] {
        const tstring eventName = L"Local\\kivo-desktop-keeper-" + std::to_wstring(::GetCurrentProcessId());
        const OwnedHandle ready(::CreateEventW(nullptr, TRUE, FALSE, eventName.c_str()));
        if (!ready) {
            return;
        }
        const tstring program = testBinDir() + L"\\kivo_desktop_keeper.exe";
        tstring commandLine = L"\"" + program + L"\" " + eventName + L" " + std::to_wstring(::GetCurrentProcessId());
        STARTUPINFOW startupInfo = {};
        startupInfo.cb = sizeof(startupInfo);
        PROCESS_INFORMATION info = {};
        if (::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                             nullptr, &startupInfo, &info)) {
            const OwnedHandle thread(info.hThread);
            const OwnedHandle keeper(info.hProcess);
            // A keeper that fails ends at once; the tests do not depend on it.
            HANDLE waits[] = {ready.get(), keeper.get()};
            ::WaitForMultipleObjects(2, waits, FALSE, 30000);
        }
    });
}

void PrintTo(Launcher launcher, std::ostream* os) { *os << (launcher == Launcher::Console ? "Console" : "Windowed"); }

tstring launcherFileName(Launcher launcher) { return launcher == Launcher::Console ? L"kivo.exe" : L"kivow.exe"; }

namespace {

const wchar_t kProbeTitle[] = L"kivo-dialog-probe";

DWORD WINAPI showProbeDialog(void*) {
    ::MessageBoxW(nullptr, L"probe", kProbeTitle, MB_OK);
    return 0;
}

BOOL CALLBACK closeWindow(HWND window, LPARAM) {
    ::PostMessageW(window, WM_CLOSE, 0, 0);
    return TRUE;
}

bool probeDialog() {
    DWORD threadId = 0;
    const OwnedHandle thread(::CreateThread(nullptr, 0, showProbeDialog, nullptr, 0, &threadId));
    if (!thread) {
        fail("CreateThread", ::GetLastError());
    }
    // A box that cannot appear fails within milliseconds.
    bool shown = ::WaitForSingleObject(thread.get(), 2000) == WAIT_TIMEOUT;
    while (::WaitForSingleObject(thread.get(), 100) == WAIT_TIMEOUT) {
        ::EnumThreadWindows(threadId, closeWindow, 0);
    }
    return shown;
}

}  // namespace

bool sessionShowsDialogs() {
    // The probe's box must not be the window that starts the desktop.
    keepDesktopInUse();
    static const bool shows = probeDialog();
    return shows;
}

std::vector<std::string> errLines(const ProcessResult& result) { return lines(result.err); }

LauncherImage::LauncherImage(const tstring& exeName, const tstring& rootName, Launcher launcher)
    : TempImage(testBinDir() + L"\\" + launcherFileName(launcher), testBinDir() + L"\\fixtures", exeName, rootName) {
    keepDesktopInUse();
}

tstring LauncherImage::pathFor(LaunchPath path) const {
    const tstring systemPath = envVariable(L"PATH").value_or(tstring());
    return path == LaunchPath::InProcess ? systemPath + L";" + appDir() : systemPath;
}

ProcessResult LauncherImage::run(const tstring_array& args, LaunchPath path, ProcessOptions options) const {
    options.env.emplace(L"PATH", pathFor(path));
    options.env.emplace(L"KIVO_DEBUG", std::nullopt);
    return runProcess(launcherPath(), args, options);
}

RunningProcess::RunningProcess(const tstring& program, const tstring_array& args, DWORD creationFlags) {
    SECURITY_ATTRIBUTES inheritable = {sizeof(inheritable), nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!::CreatePipe(&readEnd, &writeEnd, &inheritable, 0)) {
        fail("CreatePipe", ::GetLastError());
    }
    outRead.reset(readEnd);
    const OwnedHandle outWrite(writeEnd);
    ::SetHandleInformation(outRead.get(), HANDLE_FLAG_INHERIT, 0);
    const OwnedFileHandle nul(::CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                            &inheritable, OPEN_EXISTING, 0, nullptr));

    tstring commandLine = L"\"" + program + L"\"";
    for (const tstring& arg : args) {
        commandLine += L" " + quoteArgument(arg);
    }

    STARTUPINFOW startupInfo = {};
    startupInfo.cb = sizeof(startupInfo);
    startupInfo.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
    startupInfo.wShowWindow = SW_HIDE;
    startupInfo.hStdInput = nul.get();
    startupInfo.hStdOutput = outWrite.get();
    startupInfo.hStdError = nul.get();
    PROCESS_INFORMATION info = {};
    if (!::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                          CREATE_UNICODE_ENVIRONMENT | creationFlags, nullptr, nullptr, &startupInfo, &info)) {
        fail("CreateProcessW", ::GetLastError());
    }
    const OwnedHandle thread(info.hThread);
    process.reset(info.hProcess);
    processId = info.dwProcessId;
}

RunningProcess::~RunningProcess() {
    if (::WaitForSingleObject(process.get(), 0) == WAIT_TIMEOUT) {
        ::TerminateProcess(process.get(), 1);
        ::WaitForSingleObject(process.get(), INFINITE);
    }
}

const std::string& RunningProcess::readUntil(const std::string& text, DWORD timeoutMs) {
    const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
    while (out.find(text) == std::string::npos && ::GetTickCount64() < deadline) {
        DWORD available = 0;
        if (!::PeekNamedPipe(outRead.get(), nullptr, 0, nullptr, &available, nullptr)) {
            break;
        }
        if (available == 0) {
            ::Sleep(10);
            continue;
        }
        char buffer[4096];
        DWORD count = 0;
        if (!::ReadFile(outRead.get(), buffer, sizeof(buffer), &count, nullptr)) {
            break;
        }
        out.append(buffer, count);
    }
    return out;
}

std::optional<DWORD> RunningProcess::wait(DWORD timeoutMs) {
    if (::WaitForSingleObject(process.get(), timeoutMs) != WAIT_OBJECT_0) {
        return std::nullopt;
    }
    DWORD exitCode = 0;
    ::GetExitCodeProcess(process.get(), &exitCode);
    return exitCode;
}

}  // namespace testing_support
