// The system's part of a log record: local time, process and thread.
#include <sys/time.h>
#include <unistd.h>

#include <ctime>

#include "Log.h"

void stampLogRecord(LogRecord& record) {
    timeval now{};
    ::gettimeofday(&now, nullptr);
    std::tm local{};
    ::localtime_r(&now.tv_sec, &local);
    record.time = LogTime{static_cast<unsigned short>(local.tm_year + 1900), static_cast<unsigned short>(local.tm_mon + 1),
                          static_cast<unsigned short>(local.tm_mday),        static_cast<unsigned short>(local.tm_hour),
                          static_cast<unsigned short>(local.tm_min),         static_cast<unsigned short>(local.tm_sec),
                          static_cast<unsigned short>(now.tv_usec / 1000)};
    record.processId = static_cast<unsigned long>(::getpid());
    record.threadId = static_cast<unsigned long>(::gettid());
}
