// Put first on the include path of platform-neutral libraries, so that
// reaching for the Windows API from them stops the build.
#error "platform-neutral code under src/share must not include <windows.h>: move the Windows part under src/windows"
