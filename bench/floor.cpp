// The floor of an in-process launch: set the DLL directory, load the image's
// runtime by full path and call its entry point with a fixed argument vector
// as long as the launcher's, and nothing else. Built for the image's runtime
// (which imports the window system), and with BENCH_FLOOR_BARE_RUNTIME for
// the bare runtime beside it.
#include <windows.h>

#include <cwchar>

namespace {

typedef int (*QsrLaunchFunc)(int, char**, int, char**, int, char**, const char*, const char*, const char*,
                             const char*, bool, bool, bool, int);

// As many elements as the launcher builds from the bench configuration.
char arg0[] = "C:\\bench\\BenchApp.exe";
char arg1[] = "-classpath";
char arg2[] = "C:\\bench\\app\\bench.jar";
char arg3[] = "-Xmx32m";
char arg4[] = "-Dkivo.app-path=C:\\bench\\BenchApp.exe";
char arg5[] = "bench.Main";
char arg6[] = "--bench";
char* args[] = {arg0, arg1, arg2, arg3, arg4, arg5, arg6, nullptr};
const int argCount = 7;

#if defined(BENCH_FLOOR_BARE_RUNTIME)
const wchar_t runtimeBin[] = L"bare-runtime\\bin";
#else
const wchar_t runtimeBin[] = L"runtime\\bin";
#endif

}  // namespace

int wmain() {
    wchar_t path[MAX_PATH + 32];
    DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return 2;
    }
    wchar_t* lastSeparator = std::wcsrchr(path, L'\\');
    if (!lastSeparator) {
        return 2;
    }
    lastSeparator[1] = L'\0';
    std::wcscat(path, runtimeBin);
    ::SetDllDirectoryW(path);
    std::wcscat(path, L"\\qsr.dll");
    HMODULE runtime = ::LoadLibraryW(path);
    if (!runtime) {
        return 3;
    }
    auto launch = reinterpret_cast<QsrLaunchFunc>(reinterpret_cast<void*>(::GetProcAddress(runtime, "QSR_Launch")));
    if (!launch) {
        return 4;
    }
    int result = launch(argCount, args, 0, nullptr, 0, nullptr, "", "", "java", "java", false, false, false, 0);
    ::FreeLibrary(runtime);
    return result == 0 ? 0 : 1;
}
