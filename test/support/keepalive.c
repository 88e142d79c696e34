/* Keeps Wine's services running between test programs; ends by itself. */
#include <windows.h>

int main(void) {
    Sleep(2 * 60 * 60 * 1000);
    return 0;
}
