/* A runtime whose QSR_Launch stands in for an application that handles
   Ctrl+C itself: it reports its process id, then waits; Ctrl+C or
   Ctrl+Break end the process with exit code 42. */
#include <windows.h>

#include <stdio.h>
#include <string.h>

#define CTRL_EXIT_CODE 42

static BOOL WINAPI exitOnCtrlC(DWORD ctrlType) {
    if (ctrlType == CTRL_C_EVENT || ctrlType == CTRL_BREAK_EVENT) {
        ExitProcess(CTRL_EXIT_CODE);
    }
    return FALSE;
}

static void put(const char* text) {
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text, (DWORD)strlen(text), &written, NULL);
}

__declspec(dllexport) int QSR_Launch(int argc, char** argv, int p3, char** p4, int p5, char** p6, const char* p7,
                                     const char* p8, const char* p9, const char* p10, unsigned char p11,
                                     unsigned char p12, unsigned char p13, int p14) {
    char line[64];
    (void)argc, (void)argv, (void)p3, (void)p4, (void)p5, (void)p6, (void)p7, (void)p8, (void)p9, (void)p10;
    (void)p11, (void)p12, (void)p13, (void)p14;

    SetConsoleCtrlHandler(exitOnCtrlC, TRUE);
    snprintf(line, sizeof(line), "qsr: begin\nqsr: pid=%lu\nqsr: end\n", GetCurrentProcessId());
    put(line);
    Sleep(60000);
    return 0;
}
