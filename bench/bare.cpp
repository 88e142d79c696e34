// The cost of a process: an executable that only reports its peak working
// set. The probe variant holds what the restart path holds while it waits
// for its child: user32 and a message-only window.
#include <windows.h>

#include "PeakReport.h"

int wmain(int argc, wchar_t** /*argv*/) {
#if defined(BENCH_PROBE_WINDOW)
    // A class of its own, as the restart path's.
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = ::DefWindowProcW;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"BenchProbe";
    const HWND window = ::RegisterClassExW(&windowClass)
                            ? ::CreateWindowExW(0, L"BenchProbe", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                                ::GetModuleHandleW(nullptr), nullptr)
                            : nullptr;
    if (!window) {
        return 2;
    }
    bench::reportPeakWorkingSet(argc);
    ::DestroyWindow(window);
#else
    bench::reportPeakWorkingSet(argc);
#endif
    return 0;
}
