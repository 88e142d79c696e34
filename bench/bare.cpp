// The cost of a process: an executable that only reports its peak working
// set. The probe variant holds what the restart path holds while it waits
// for its child: user32 and a message-only window.
#include <windows.h>

#include "PeakReport.h"

int wmain(int argc, wchar_t** /*argv*/) {
#if defined(BENCH_PROBE_WINDOW)
    // The restart path's window: a message-only "STATIC" window that lasts
    // until the process ends.
    const HWND window = ::CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                          ::GetModuleHandleW(nullptr), nullptr);
    if (!window) {
        return 2;
    }
    bench::reportPeakWorkingSet(argc);
#else
    bench::reportPeakWorkingSet(argc);
#endif
    return 0;
}
