// The launcher's in-process launch sequence, replayed and timed step by step.
#include "LaunchBreakdown.h"

#include <windows.h>

#include <memory>
#include <stdexcept>

#include "AppLauncher.h"
#include "Dll.h"
#include "Executor.h"
#include "FileUtils.h"
#include "JvmLauncher.h"
#include "PackageFile.h"
#include "SysInfo.h"
#include "WinLauncher.h"

namespace bench {

namespace {

const char* const kStepNames[] = {
    "AllowSetForegroundWindow",
    "image directories (getExecutablePath)",
    "PackageFile::loadFromAppDir",
    "AppLauncher set-up (command line)",
    "isAppDirInLibPath",
    "createJvmLauncher",
    "SetDllDirectoryW",
    "load runtime (AddDllDirectory, LoadLibraryExW, Dll)",
    "Jvm::launch (buffer, QSR_Launch)",
    "release (Dll, ~Jvm)",
};
const std::size_t kStepCount = sizeof kStepNames / sizeof kStepNames[0];

// One replay of the sequence; adds one time per step to `stepMs`.
void replayOnce(const BenchImage& image, std::vector<std::vector<double>>& stepMs) {
    Stopwatch clock;
    ::AllowSetForegroundWindow(ASFW_ANY);
    stepMs[0].push_back(clock.lapMs());

    // The driver is not in the image; only the cost of deriving the
    // directories is kept, the image's own directories are used.
    const tstring launcherPath = SysInfo::getExecutablePath();
    const tstring derivedRoot = FileUtils::parentDir(launcherPath);
    [[maybe_unused]] const tstring derivedAppDir = FileUtils::combinePath(derivedRoot, L"app");
    const tstring rootDir = image.root();
    const tstring appDir = image.appDir();
    stepMs[1].push_back(clock.lapMs());

    const PackageFile packageFile = PackageFile::loadFromAppDir(appDir);
    stepMs[2].push_back(clock.lapMs());

    AppLauncher appLauncher;
    appLauncher.setRootDir(rootDir)
        .addJvmLibCandidate(L"bin\\qsr.dll")
        .setAppDir(appDir)
        .setLibPathEnvVariable(L"PATH")
        .setDefaultRuntimeDir(FileUtils::combinePath(rootDir, L"runtime"));
    stepMs[3].push_back(clock.lapMs());

    if (!appLauncher.isAppDirInLibPath()) {
        throw std::runtime_error("the replay must take the in-process path");
    }
    stepMs[4].push_back(clock.lapMs());

    std::unique_ptr<Jvm> jvm = appLauncher.createJvmLauncher();
    stepMs[5].push_back(clock.lapMs());

    const tstring libDir = FileUtils::parentDir(jvm->getLibraryPath());
    ::SetDllDirectoryW(libDir.c_str());
    stepMs[6].push_back(clock.lapMs());

    std::unique_ptr<Dll> runtimeLib = WinLauncher::loadDll(jvm->getLibraryPath());
    stepMs[7].push_back(clock.lapMs());

    jvm->launch();
    stepMs[8].push_back(clock.lapMs());

    runtimeLib.reset();
    jvm.reset();
    stepMs[9].push_back(clock.lapMs());
}

const char* const kRestartStepNames[] = {
    "job object (CreateJobObjectW, SetInformationJobObject)",
    "message-only window (CreateWindowExW)",
    "worker: child in the job, wait; message loop",
    "DestroyWindow, close handles",
};
const std::size_t kRestartStepCount = sizeof kRestartStepNames / sizeof kRestartStepNames[0];

struct RestartWorker {
    const Executor* executor;
    HWND window;
    int exitCode;
};

DWORD WINAPI runChildAndQuit(void* param) {
    RestartWorker& worker = *static_cast<RestartWorker*>(param);
    try {
        worker.exitCode = worker.executor->execAndWaitForExit();
    } catch (...) {
        worker.exitCode = -1;
    }
    ::PostMessageW(worker.window, WM_QUIT, 0, 0);
    return 0;
}

// Owns a window.
class WindowHandle {
public:
    explicit WindowHandle(HWND handle) : handle(handle) {}
    ~WindowHandle() { reset(); }
    WindowHandle(const WindowHandle&) = delete;
    WindowHandle& operator=(const WindowHandle&) = delete;

    HWND get() const { return handle; }
    void reset() {
        if (handle) {
            ::DestroyWindow(handle);
            handle = nullptr;
        }
    }

private:
    HWND handle;
};

void replayRestartOnce(const tstring& childProgram, std::vector<std::vector<double>>& stepMs) {
    Stopwatch clock;
    OwnedHandle job(::CreateJobObjectW(nullptr, nullptr));
    if (!job) {
        const DWORD err = ::GetLastError();
        raiseSystemError("CreateJobObjectW", L"", err);
    }
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE | JOB_OBJECT_LIMIT_SILENT_BREAKAWAY_OK;
    if (!::SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &limits, sizeof(limits))) {
        const DWORD err = ::GetLastError();
        raiseSystemError("SetInformationJobObject", L"", err);
    }
    stepMs[0].push_back(clock.lapMs());

    WindowHandle window(::CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                          ::GetModuleHandleW(nullptr), nullptr));
    if (!window.get()) {
        const DWORD err = ::GetLastError();
        raiseSystemError("CreateWindowExW", L"STATIC", err);
    }
    stepMs[1].push_back(clock.lapMs());

    Executor executor(childProgram);
    executor.setVisible(true).setJob(job.get()).setSuspended(true).setInheritHandles(true);
    RestartWorker worker{&executor, window.get(), -1};
    OwnedHandle thread(::CreateThread(nullptr, 0, runChildAndQuit, &worker, 0, nullptr));
    if (!thread) {
        const DWORD err = ::GetLastError();
        raiseSystemError("CreateThread", L"", err);
    }
    MSG msg;
    while (::GetMessageW(&msg, window.get(), 0, 0) > 0) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    ::WaitForSingleObject(thread.get(), INFINITE);
    if (worker.exitCode != 0) {
        throw std::runtime_error("the restart replay's child failed");
    }
    stepMs[2].push_back(clock.lapMs());

    window.reset();
    thread.reset();
    job.reset();
    stepMs[3].push_back(clock.lapMs());
}

std::vector<LaunchStep> summarizeSteps(const char* const* names, const std::vector<std::vector<double>>& stepMs) {
    std::vector<LaunchStep> steps;
    for (std::size_t s = 0; s < stepMs.size(); ++s) {
        LaunchStep step;
        step.name = names[s];
        step.firstMs = stepMs[s].front();
        step.ms = summarize(std::vector<double>(stepMs[s].begin() + 1, stepMs[s].end()));
        steps.push_back(step);
    }
    return steps;
}

}  // namespace

std::vector<LaunchStep> measureLaunchSteps(const BenchImage& image, int repetitions) {
    const ScopedEnvVariable path(L"PATH", SysInfo::getEnvVariable(L"PATH", tstring()) + L";" + image.appDir());
    image.writeConfigFor(FileUtils::withoutExtension(FileUtils::fileName(SysInfo::getExecutablePath())));

    std::vector<std::vector<double>> stepMs(kStepCount);
    for (int i = 0; i <= repetitions; ++i) {
        replayOnce(image, stepMs);
    }
    ::SetDllDirectoryW(nullptr);
    return summarizeSteps(kStepNames, stepMs);
}

std::vector<LaunchStep> measureRestartSteps(const tstring& childProgram, int repetitions) {
    std::vector<std::vector<double>> stepMs(kRestartStepCount);
    for (int i = 0; i <= repetitions; ++i) {
        replayRestartOnce(childProgram, stepMs);
    }
    return summarizeSteps(kRestartStepNames, stepMs);
}

}  // namespace bench
