/* Sends Ctrl+C ("c") or Ctrl+Break ("break") to every process attached to
   the console of the process whose id is given. Exit code 0 on success, 2
   when the console cannot be attached, 3 when the event cannot be
   generated. */
#include <windows.h>

#include <stdlib.h>
#include <string.h>

/* The event reaches this process too. */
static BOOL WINAPI ignoreEvent(DWORD ctrlType) {
    (void)ctrlType;
    return TRUE;
}

int main(int argc, char** argv) {
    DWORD event;
    if (argc != 3) {
        return 1;
    }
    event = strcmp(argv[1], "break") == 0 ? CTRL_BREAK_EVENT : CTRL_C_EVENT;
    FreeConsole();
    if (!AttachConsole(strtoul(argv[2], NULL, 10))) {
        return 2;
    }
    SetConsoleCtrlHandler(ignoreEvent, TRUE);
    if (!GenerateConsoleCtrlEvent(event, 0)) {
        return 3;
    }
    return 0;
}
