/* Keeps Wine's services and its window desktop running between test
   programs; ends by itself. Started with all standard streams on /dev/null,
   so the desktop process that its window starts holds none of the test
   runner's pipes (a desktop first started from inside a test would hold that
   test's output open until it ends). */
#include <windows.h>

int main(void) {
    CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, NULL, GetModuleHandleW(NULL), NULL);
    Sleep(2 * 60 * 60 * 1000);
    return 0;
}
