// The Windows launch sequence of both launchers: starts the image's runtime
// in-process, or restarts the launcher with the application directory on
// PATH and waits for the child while pumping window messages.
#include "WinLauncher.h"

#include <cstddef>
#include <cstdlib>
#include <exception>
#include <memory>

#include "AppLauncher.h"
#include "Dll.h"
#include "ErrorHandling.h"
#include "Executor.h"
#include "FileUtils.h"
#include "JvmLauncher.h"
#include "Log.h"
#include "OwnedResource.h"
#include "PackageFile.h"
#include "SysInfo.h"
#include "Toolbox.h"
#include "WinErrorHandling.h"
#include "tstrings.h"

// The runtime of a Windows x64 image reads the launch data header with this
// layout.
static_assert(sizeof(JvmlLauncherData) == 40, "the launch data header is 40 bytes");
static_assert(offsetof(JvmlLauncherData, argCount) == 8, "argCount at offset 8");
static_assert(offsetof(JvmlLauncherData, envCount) == 12, "envCount at offset 12");
static_assert(offsetof(JvmlLauncherData, argVector) == 16, "argVector at offset 16");
static_assert(offsetof(JvmlLauncherData, envNames) == 24, "envNames at offset 24");
static_assert(offsetof(JvmlLauncherData, envValues) == 32, "envValues at offset 32");

namespace {

typedef void* (WINAPI* AddDllDirectoryFunc)(const wchar_t*);

// Adds the library's directory to the process's DLL directories so that
// the libraries it depends on are found beside it.
std::unique_ptr<Dll> loadDllWithAddDllDirectory(const tstring& dllPath) {
    TRACE_SCOPE();

    const tstring directory = FileUtils::parentDir(dllPath);

    const DllFunction<AddDllDirectoryFunc> addDllDirectory(Dll(Dll::systemDir, tstrings::Builder() << "kernel32.dll"),
                                                           tstrings::Builder() << "AddDllDirectory");
    const AddDllDirectoryFunc addDllDirectoryFunc = addDllDirectory;
    if (!addDllDirectoryFunc(directory.c_str())) {
        RAISE_LAST_ERROR(tstrings::Builder() << "AddDllDirectory(" << directory << ") failed", addDllDirectoryFunc);
    }
    TRACE_MSG("AddDllDirectory(" << directory << "): OK");

    // Loading with the default search directories makes the added directory
    // part of the search for the library's dependencies; the plain load
    // below then only takes another reference.
    const OwnedModule module(::LoadLibraryExW(dllPath.c_str(), nullptr, LOAD_LIBRARY_SEARCH_DEFAULT_DIRS));
    TRACE_MSG("LoadLibraryEx(" << dllPath << ", LOAD_LIBRARY_SEARCH_DEFAULT_DIRS): "
                               << static_cast<const void*>(module.get()));

    return std::make_unique<Dll>(tstrings::Builder() << dllPath);
}

// Appends the library's directory to PATH while the library is loaded.
std::unique_ptr<Dll> loadDllWithAlteredPATH(const tstring& dllPath) {
    TRACE_SCOPE();

    const tstring oldPath = SysInfo::getEnvVariable(L"PATH");
    const tstring newPath = oldPath + L";" + FileUtils::parentDir(dllPath);
    SysInfo::setEnvVariable(L"PATH", newPath);
    TRACE_MSG("New value of PATH: " << newPath);
    const AtEndOfScope restorePath([&oldPath] { SysInfo::setEnvVariable(L"PATH", oldPath); });

    return std::make_unique<Dll>(tstrings::Builder() << dllPath);
}

std::unique_ptr<Dll> loadDll(const tstring& dllPath) {
    try {
        return loadDllWithAddDllDirectory(dllPath);
    } catch (const std::exception&) {
        // The second method decides; its error is the one reported.
    }
    return loadDllWithAlteredPATH(dllPath);
}

void addCfgFileLookupDirForEnvVariable(const PackageFile& packageFile, AppLauncher& appLauncher,
                                       const tstring& envVarName) {
    tstring dir;
    try {
        dir = SysInfo::getEnvVariable(envVarName);
    }
    CATCH_AND_LOG

    if (!dir.empty()) {
        appLauncher.addCfgFileLookupDir(FileUtils::combinePath(dir, packageFile.packageName()));
    }
}

// Waits for a child process on a worker thread while the calling thread
// pumps the messages of a hidden message-only window. The state is shared
// with the worker, so the worker never outlives what it touches, even when
// the calling thread leaves with an error before the worker has ended.
class RunExecutorWithMsgLoop {
public:
    static DWORD apply(const Executor& executor);

    RunExecutorWithMsgLoop(const RunExecutorWithMsgLoop&) = delete;
    RunExecutorWithMsgLoop& operator=(const RunExecutorWithMsgLoop&) = delete;

private:
    explicit RunExecutorWithMsgLoop(const Executor& executor);

    void run();
    static DWORD WINAPI threadProc(void* param);

    // A copy: the worker may still run when the caller's executor is gone.
    const Executor executor;
    DWORD exitCode;
    HWND window;
    // What made running the child fail; rethrown by the calling thread.
    std::exception_ptr error;
};

RunExecutorWithMsgLoop::RunExecutorWithMsgLoop(const Executor& executor) : executor(executor), exitCode(1) {
    window = ::CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, ::GetModuleHandleW(nullptr),
                               nullptr);
    if (!window) {
        RAISE_LAST_ERROR(tstrings::Builder() << "CreateWindowEx() failed", ::CreateWindowExW);
    }
}

DWORD RunExecutorWithMsgLoop::apply(const Executor& executor) {
    const std::shared_ptr<RunExecutorWithMsgLoop> runner(new RunExecutorWithMsgLoop(executor));

    // The worker gets a reference of its own, which threadProc takes over.
    auto workerRef = std::make_unique<std::shared_ptr<RunExecutorWithMsgLoop>>(runner);
    const OwnedHandle thread(::CreateThread(nullptr, 0, threadProc, workerRef.get(), 0, nullptr));
    if (!thread) {
        RAISE_LAST_ERROR(tstrings::Builder() << "CreateThread() failed", ::CreateThread);
    }
    workerRef.release();

    MSG msg;
    for (;;) {
        const BOOL status = ::GetMessageW(&msg, runner->window, 0, 0);
        if (status == 0) {
            break;
        }
        if (status == -1) {
            RAISE_LAST_ERROR(tstrings::Builder() << "GetMessage() failed", ::GetMessageW);
        }
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }

    if (::WaitForSingleObject(thread.get(), INFINITE) == WAIT_FAILED) {
        RAISE_LAST_ERROR(tstrings::Builder() << "WaitForSingleObject() failed", ::WaitForSingleObject);
    }

    if (runner->error) {
        std::rethrow_exception(runner->error);
    }

    TRACE_MSG("Executor worker thread terminated. Exit code=" << runner->exitCode);
    return runner->exitCode;
}

DWORD WINAPI RunExecutorWithMsgLoop::threadProc(void* param) {
    const std::unique_ptr<std::shared_ptr<RunExecutorWithMsgLoop>> runner(
        static_cast<std::shared_ptr<RunExecutorWithMsgLoop>*>(param));
    (*runner)->run();
    return 0;
}

void RunExecutorWithMsgLoop::run() {
    try {
        exitCode = static_cast<DWORD>(executor.execAndWaitForExit());
    } catch (...) {
        error = std::current_exception();
    }

    if (!::PostMessageW(window, WM_QUIT, 0, 0)) {
        try {
            RAISE_LAST_ERROR(tstrings::Builder() << "PostMessage(WM_QUIT) failed", ::PostMessageW);
        }
        CATCH_AND_LOG
        // The calling thread would pump messages for ever.
        std::exit(1);
    }
}

// The child shares this process's console and handles Ctrl+C and Ctrl+Break
// itself; this process must outlive it to pass on its exit code, and its end
// would kill the child through the job. A handler routine rather than the
// ignore flag, which the child would inherit.
BOOL WINAPI ignoreCtrlCAndCtrlBreak(DWORD ctrlType) {
    return ctrlType == CTRL_C_EVENT || ctrlType == CTRL_BREAK_EVENT;
}

void launchInProcess(const Jvm& jvm) {
    const tstring libDir = FileUtils::parentDir(jvm.getLibraryPath());
    ::SetDllDirectoryW(libDir.c_str());
    TRACE_MSG("SetDllDirectory to: " << libDir);

    const std::unique_ptr<Dll> runtimeLib = loadDll(jvm.getLibraryPath());

    std::unique_ptr<Dll> splashLib;
    if (jvm.hasSplashArgument()) {
        // The splash-screen library depends on the virtual machine library;
        // holding it while the splash library loads is enough.
        const std::unique_ptr<Dll> jvmLib =
            loadDll(FileUtils::combinePath(FileUtils::combinePath(libDir, L"server"), L"jvm.dll"));
        splashLib = loadDll(FileUtils::combinePath(libDir, L"splashscreen.dll"));
    }

    jvm.launch();
}

AppLauncher makeAppLauncher(const tstring& launcherPath) {
    AppLauncher appLauncher;
    appLauncher.setImageLayout(FileUtils::parentDir(launcherPath)).setLauncherPath(launcherPath);

    const PackageFile packageFile = PackageFile::loadFromAppDir(appLauncher.getAppDir());

    if (!packageFile.packageName().empty()) {
        addCfgFileLookupDirForEnvVariable(packageFile, appLauncher, L"LOCALAPPDATA");
        addCfgFileLookupDirForEnvVariable(packageFile, appLauncher, L"APPDATA");
    }
    return appLauncher;
}

// A job that ends its processes when this process ends, however it ends;
// processes that they start may leave it. The handle stays open until the
// process ends: closing it kills the child, and the worker may still use it
// after the main thread has left with an error.
HANDLE createJobForProcessLifetime() {
    OwnedHandle job(::CreateJobObjectW(nullptr, nullptr));
    if (!job) {
        RAISE_LAST_ERROR(tstrings::Builder() << "CreateJobObject() failed", ::CreateJobObjectW);
    }

    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE | JOB_OBJECT_LIMIT_SILENT_BREAKAWAY_OK;
    if (!::SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &limits, sizeof(limits))) {
        RAISE_LAST_ERROR(tstrings::Builder() << "SetInformationJobObject() failed", ::SetInformationJobObject);
    }

    return job.release();
}

// 1. Put the application directory on PATH, which the child inherits, and
//    check that it is there.
// 2. Start this executable again, suspended, so that it joins the job
//    before it runs; a worker waits for it while this thread pumps messages.
// 3. End this process with the child's exit code.
[[noreturn]] void restart(std::unique_ptr<Jvm> jvm, const AppLauncher& appLauncher) {
    jvm->applyEnvironment();
    jvm.reset();

    // A PATH that cannot hold the application directory (some systems cut
    // a value at its length limit without an error) would make every child
    // restart again.
    if (!appLauncher.isAppDirInLibPath()) {
        RAISE("Failed to add the application directory to PATH: the value would exceed the length limit");
    }

    const HANDLE job = createJobForProcessLifetime();

    Executor executor(SysInfo::getExecutablePath());
    executor.setVisible(true).setJob(job).setSuspended(true).setInheritHandles(true);
    for (const tstring& arg : SysInfo::getCommandArgs()) {
        executor.args().push_back(arg);
    }

    if (!::SetConsoleCtrlHandler(ignoreCtrlCAndCtrlBreak, TRUE)) {
        RAISE_LAST_ERROR(tstrings::Builder() << "SetConsoleCtrlHandler() failed", ::SetConsoleCtrlHandler);
    }

    const DWORD exitCode = RunExecutorWithMsgLoop::apply(executor);
    std::exit(static_cast<int>(exitCode));
}

}  // namespace

namespace WinLauncher {

void launchApp() {
    ::AllowSetForegroundWindow(ASFW_ANY);

    const AppLauncher appLauncher = ::makeAppLauncher(SysInfo::getExecutablePath());

    const bool appDirInLibPath = appLauncher.isAppDirInLibPath();

    std::unique_ptr<Jvm> jvm = appLauncher.createJvmLauncher();

    if (appDirInLibPath) {
        ::launchInProcess(*jvm);
    } else {
        restart(std::move(jvm), appLauncher);
    }
}

AppLauncher makeAppLauncher(const tstring& launcherPath) { return ::makeAppLauncher(launcherPath); }

void launchInProcess(const Jvm& jvm) { ::launchInProcess(jvm); }

std::unique_ptr<Dll> loadDll(const tstring& dllPath) { return ::loadDll(dllPath); }

std::unique_ptr<Dll> loadDllWithAddDllDirectory(const tstring& dllPath) {
    return ::loadDllWithAddDllDirectory(dllPath);
}

std::unique_ptr<Dll> loadDllWithAlteredPATH(const tstring& dllPath) { return ::loadDllWithAlteredPATH(dllPath); }

void addCfgFileLookupDirForEnvVariable(const PackageFile& packageFile, AppLauncher& appLauncher,
                                       const tstring& envVarName) {
    ::addCfgFileLookupDirForEnvVariable(packageFile, appLauncher, envVarName);
}

DWORD runExecutorWithMsgLoop(const Executor& executor) { return RunExecutorWithMsgLoop::apply(executor); }

}  // namespace WinLauncher
