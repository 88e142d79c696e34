/* The demo runtime's splash-screen library: the launcher only loads it when
   the configuration names a splash screen, and calls nothing in it. */
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    (void)instance, (void)reason, (void)reserved;
    return TRUE;
}
