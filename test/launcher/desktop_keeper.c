/* Starts the window desktop for a test program and keeps it in use while
   the program runs.

   Under Wine the first window of a session starts the desktop process, which
   keeps what it inherited from the process whose window started it until it
   ends, and it ends only a second after its last user, which may be long
   after the test when other programs use the desktop too. A launcher that
   restarts itself creates a window while its standard handles are the
   test's output pipes; had that window started the desktop, the test would
   wait for those pipes until the desktop ended. This program holds no
   handles of the test and, under Wine, no Unix standard error of the test
   runner (which every Wine process inherits from its creator): it creates a
   window first and then stays a desktop user until the test program ends.

   Arguments: the name of an event to set once the window exists, and the
   process id of the test program. */
#include <windows.h>

#include <stdlib.h>
#include <string.h>

#if defined(__GNUC__) && defined(__x86_64__)

static long long linuxSyscall(long long number, long long a, long long b) {
    long long result;
    __asm__ volatile("syscall" : "=a"(result) : "a"(number), "D"(a), "S"(b), "d"(0LL) : "rcx", "r11", "memory");
    return result;
}

typedef void (*HostVersionFunc)(const char** sysname, const char** release);

/* Points the Unix standard error of this process at /dev/null when running
   under Wine on Linux; anywhere else it does nothing. */
static void detachUnixStandardError(void) {
    const char* sysname = NULL;
    const char* release = NULL;
    long long fd;
    HostVersionFunc hostVersion = (HostVersionFunc)(void (*)(void))GetProcAddress(GetModuleHandleW(L"ntdll.dll"),
                                                                                  "wine_get_host_version");
    if (hostVersion == NULL) {
        return;
    }
    hostVersion(&sysname, &release);
    if (sysname == NULL || strcmp(sysname, "Linux") != 0) {
        return;
    }
    fd = linuxSyscall(2 /* open */, (long long)"/dev/null", 1 /* O_WRONLY */);
    if (fd >= 0) {
        linuxSyscall(33 /* dup2 */, fd, 2);
        linuxSyscall(3 /* close */, fd, 0);
    }
}

#else

static void detachUnixStandardError(void) {}

#endif

int wmain(int argc, wchar_t** argv) {
    HANDLE ready;
    HANDLE testProgram;
    if (argc != 3) {
        return 1;
    }
    testProgram = OpenProcess(SYNCHRONIZE, FALSE, wcstoul(argv[2], NULL, 10));
    ready = OpenEventW(EVENT_MODIFY_STATE, FALSE, argv[1]);
    if (testProgram == NULL || ready == NULL) {
        return 2;
    }
    detachUnixStandardError();
    if (CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, NULL, GetModuleHandleW(NULL), NULL) == NULL) {
        return 3;
    }
    SetEvent(ready);
    WaitForSingleObject(testProgram, INFINITE);
    return 0;
}
