// The system's part of a log record: local time, process and thread.
#include <windows.h>

#include "Log.h"

void stampLogRecord(LogRecord& record) {
    SYSTEMTIME now;
    ::GetLocalTime(&now);
    record.time = LogTime{now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds};
    record.processId = ::GetCurrentProcessId();
    record.threadId = ::GetCurrentThreadId();
}
