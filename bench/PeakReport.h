// Lets a bench program tell the driver what its run cost: one line
// "<peak working set> <argument count> <process id> <parent's peak working
// set> <performance counter>" appended to the file that KIVO_BENCH_REPORT
// names. The parent's peak is read while the parent waits for this process,
// which is how the restart path's parent is measured.
#pragma once

#include <windows.h>

#include <psapi.h>
#include <tlhelp32.h>

namespace bench {

// Decimal digits of `value` at `out`, then a space; returns the number
// written.
inline int writeField(unsigned long long value, char* out) {
    char digits[24];
    int count = 0;
    do {
        digits[count++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    for (int i = 0; i < count; ++i) {
        out[i] = digits[count - 1 - i];
    }
    out[count] = ' ';
    return count + 1;
}

inline DWORD parentProcessId() {
    const HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        return 0;
    }
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    DWORD parent = 0;
    for (BOOL more = ::Process32FirstW(snapshot, &entry); more; more = ::Process32NextW(snapshot, &entry)) {
        if (entry.th32ProcessID == ::GetCurrentProcessId()) {
            parent = entry.th32ParentProcessID;
        }
    }
    ::CloseHandle(snapshot);
    return parent;
}

inline SIZE_T peakWorkingSet(HANDLE process) {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    return ::GetProcessMemoryInfo(process, &counters, sizeof counters) ? counters.PeakWorkingSetSize : 0;
}

inline SIZE_T parentPeakWorkingSet() {
    const HANDLE parent = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, parentProcessId());
    if (!parent) {
        return 0;
    }
    const SIZE_T peak = peakWorkingSet(parent);
    ::CloseHandle(parent);
    return peak;
}

inline void reportPeakWorkingSet(int argumentCount) {
    wchar_t path[MAX_PATH];
    const DWORD length = ::GetEnvironmentVariableW(L"KIVO_BENCH_REPORT", path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return;
    }
    char line[128];
    int size = writeField(peakWorkingSet(::GetCurrentProcess()), line);
    size += writeField(static_cast<unsigned long long>(argumentCount), line + size);
    size += writeField(::GetCurrentProcessId(), line + size);
    size += writeField(parentPeakWorkingSet(), line + size);
    LARGE_INTEGER now;
    ::QueryPerformanceCounter(&now);
    size += writeField(static_cast<unsigned long long>(now.QuadPart), line + size);
    line[size - 1] = '\n';
    const HANDLE file = ::CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return;
    }
    DWORD written = 0;
    ::WriteFile(file, line, static_cast<DWORD>(size), &written, nullptr);
    ::CloseHandle(file);
}

}  // namespace bench
