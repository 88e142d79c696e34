// The bench runtime: an entry point that records the process's peak working
// set and returns at once, so that only the launcher's own cost is measured.
// Built twice: bare, and importing the window system (user32.dll) as the
// runtime of any application that shows a window or a splash screen does.
#include "Compiler.h"
#include "PeakReport.h"

KIVO_EXPORT int QSR_Launch(int argc, char** /*argv*/, int /*jargc*/, char** /*jargv*/, int /*appclassc*/,
                           char** /*appclassv*/, const char* /*fullversion*/, const char* /*dotversion*/,
                           const char* /*pname*/, const char* /*lname*/, bool /*javaargs*/, bool /*cpwildcard*/,
                           bool /*javaw*/, int /*ergo*/) {
#if defined(BENCH_RUNTIME_USER32)
    // Never true: the call only keeps user32 among the imports.
    if (argc < 0) {
        ::AllowSetForegroundWindow(ASFW_ANY);
    }
#endif
    bench::reportPeakWorkingSet(argc);
    return 0;
}
