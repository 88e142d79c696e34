// Lets a bench program tell the driver how much memory its process used: one
// line "<peak working set> <argument count> <process id>" appended to the
// file that KIVO_BENCH_REPORT names.
#pragma once

#include <windows.h>
#include <psapi.h>

namespace bench {

// Decimal digits of `value` at `out`; returns the number written.
inline int writeDecimal(unsigned long long value, char* out) {
    char digits[24];
    int count = 0;
    do {
        digits[count++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    for (int i = 0; i < count; ++i) {
        out[i] = digits[count - 1 - i];
    }
    return count;
}

inline void reportPeakWorkingSet(int argumentCount) {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    if (!::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof counters)) {
        return;
    }
    wchar_t path[MAX_PATH];
    DWORD length = ::GetEnvironmentVariableW(L"KIVO_BENCH_REPORT", path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return;
    }
    char line[80];
    int size = writeDecimal(counters.PeakWorkingSetSize, line);
    line[size++] = ' ';
    size += writeDecimal(static_cast<unsigned long long>(argumentCount), line + size);
    line[size++] = ' ';
    size += writeDecimal(::GetCurrentProcessId(), line + size);
    line[size++] = '\n';
    HANDLE file = ::CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return;
    }
    DWORD written = 0;
    ::WriteFile(file, line, static_cast<DWORD>(size), &written, nullptr);
    ::CloseHandle(file);
}

}  // namespace bench
