/* The demo runtime's virtual-machine library: the launcher only loads it
   before the splash-screen library, and calls nothing in it. */
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    (void)instance, (void)reason, (void)reserved;
    return TRUE;
}
