// The cost of a process: an executable that only reports its peak working
// set. The probe variants add one ingredient of the launcher each (a system
// library import, the C++ stream library, the restart path's message-only
// window) to show what that ingredient costs.
#include <windows.h>

#include "PeakReport.h"

#if defined(BENCH_PROBE_SHELL32)
#include <shellapi.h>
#endif
#if defined(BENCH_PROBE_IOSTREAM)
#include <iostream>
#endif

int wmain(int argc, wchar_t** /*argv*/) {
#if defined(BENCH_PROBE_USER32)
    // Never true: the call only keeps user32 among the imports.
    if (argc < 0) {
        ::AllowSetForegroundWindow(ASFW_ANY);
    }
#endif
#if defined(BENCH_PROBE_SHELL32)
    if (argc < 0) {
        int count = 0;
        ::LocalFree(::CommandLineToArgvW(::GetCommandLineW(), &count));
    }
#endif
#if defined(BENCH_PROBE_IOSTREAM)
    if (argc < 0) {
        std::cerr << "unreachable" << std::endl;
    }
#endif
#if defined(BENCH_PROBE_WINDOW)
    HWND window = ::CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                    ::GetModuleHandleW(nullptr), nullptr);
    if (!window) {
        return 2;
    }
    ::DestroyWindow(window);
#endif
    bench::reportPeakWorkingSet(argc);
    return 0;
}
