// The bench runtime: an entry point that records the process's peak working
// set and returns at once, so that only the launcher's own cost is measured.
#include "Compiler.h"
#include "PeakReport.h"

KIVO_EXPORT int QSR_Launch(int argc, char** /*argv*/, int /*jargc*/, char** /*jargv*/, int /*appclassc*/,
                           char** /*appclassv*/, const char* /*fullversion*/, const char* /*dotversion*/,
                           const char* /*pname*/, const char* /*lname*/, bool /*javaargs*/, bool /*cpwildcard*/,
                           bool /*javaw*/, int /*ergo*/) {
    bench::reportPeakWorkingSet(argc);
    return 0;
}
