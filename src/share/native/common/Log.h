// The process-wide logger: records, appenders, the dispatcher and the
// writing macros.
#pragma once

#include <cstdio>

#include "Compiler.h"
#include "tstrings.h"

enum LogSeverity { LOG_TRACE = 0, LOG_INFO = 1, LOG_WARNING = 2, LOG_ERROR = 3 };

// The local time of a record, to the millisecond.
struct LogTime {
    unsigned short year, month, day, hour, minute, second, milliseconds;
};

struct LogRecord {
    LogTime time;
    unsigned long threadId;
    unsigned long processId;
    const wchar_t* moduleName;
    tstring severityName;
    tstring fileName;
    int line;
    tstring function;
    tstring message;
};

// Sets the record's time, process id and thread id from the system.
void stampLogRecord(LogRecord& record);

class LogAppender {
public:
    virtual ~LogAppender() = default;
    virtual void write(const LogRecord& record) = 0;
};

class NopLogAppender : public LogAppender {
public:
    void write(const LogRecord&) override {}
};

// The long format: a bracketed header line with time, executable, process,
// thread, file, line and function, then the severity and the message.
class StreamLogAppender : public LogAppender {
public:
    explicit StreamLogAppender(std::FILE* out) : out(out) {}
    void write(const LogRecord& record) override;

private:
    std::FILE* out;
};

// Writes `text` and a line end to `out` and flushes it.
void writeLine(std::FILE* out, const std::string& text);

class TeeLogAppender : public LogAppender {
public:
    TeeLogAppender(LogAppender* first, LogAppender* second) : first(first), second(second) {}
    void write(const LogRecord& record) override;

private:
    LogAppender* first;
    LogAppender* second;
};

class LogDispatcher {
public:
    static LogDispatcher& instance();

    bool accepts(int severity) const { return severity >= minSeverity; }
    void log(int severity, const wchar_t* file, int line, const wchar_t* function, const tstring& message);
    void log(int severity, const wchar_t* file, int line, const wchar_t* function,
             const tstrings::Builder& message) {
        log(severity, file, line, function, message.str());
    }

    LogAppender& currentAppender() const { return *appender; }
    void installAppender(LogAppender& newAppender) { appender = &newAppender; }

private:
    LogDispatcher() = default;

    int minSeverity = LOG_TRACE;
    LogAppender* appender = nullptr;
};

// While it lives, records go to the appender that was current at its
// construction and then to `extra`.
class WithExtraLogAppender {
public:
    explicit WithExtraLogAppender(LogAppender& extra);
    virtual ~WithExtraLogAppender();
    WithExtraLogAppender(const WithExtraLogAppender&) = delete;
    WithExtraLogAppender& operator=(const WithExtraLogAppender&) = delete;

private:
    LogAppender* saved;
    TeeLogAppender tee;
};

// Writes "Entering <scope>" now and "Exiting <scope> (entered at file:line)"
// when the scope ends, also by an exception.
class FunctionTrace {
public:
    FunctionTrace(LogDispatcher& dispatcher, int severity, const wchar_t* file, int line, const wchar_t* function,
                  const wchar_t* scope);
    ~FunctionTrace();
    FunctionTrace(const FunctionTrace&) = delete;
    FunctionTrace& operator=(const FunctionTrace&) = delete;

private:
    LogDispatcher* dispatcher;
    int severity;
    tstring file;
    int line;
    tstring function;
    tstring scope;
    bool active;
};

#define KIVO_LOG_MSG(severity, msg)                                                                       \
    do {                                                                                                  \
        LogDispatcher& kivoLog_ = LogDispatcher::instance();                                              \
        if (kivoLog_.accepts(severity)) {                                                                 \
            kivoLog_.log((severity), KIVO_WFILE, __LINE__, KIVO_WFUNCTION, tstrings::Builder() << msg);    \
        }                                                                                                 \
    } while (0)

#define TRACE_MSG(msg) KIVO_LOG_MSG(LOG_TRACE, msg)
#define INFO_MSG(msg) KIVO_LOG_MSG(LOG_INFO, msg)
#define WARNING_MSG(msg) KIVO_LOG_MSG(LOG_WARNING, msg)
#define ERROR_MSG(msg) KIVO_LOG_MSG(LOG_ERROR, msg)

#define TRACE_SCOPE()                                                                                \
    FunctionTrace kivoFunctionTrace_(LogDispatcher::instance(), LOG_TRACE, KIVO_WFILE, __LINE__, \
                                     KIVO_WFUNCTION, KIVO_WFUNCTION)
