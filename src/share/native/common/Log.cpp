// The process-wide log dispatcher and the appenders that live with it.
#include "Log.h"

#include <stdexcept>

#include "FileUtils.h"
#include "SysInfo.h"

namespace {

// The module name shown in long records is cut to a path of the classic length.
const std::size_t kModuleNameCapacity = 260;

wchar_t moduleName[kModuleNameCapacity] = L"Unknown";

enum ModuleNameState { NotDone, Running, Done };
ModuleNameState moduleNameState = NotDone;

void fillModuleName() {
    if (moduleNameState == Done) {
        return;
    }
    if (moduleNameState == Running) {
        moduleName[0] = L'\0';
        return;
    }
    moduleNameState = Running;
    tstring name;
    try {
        name = FileUtils::fileName(SysInfo::getThisModulePath());
    } catch (const std::runtime_error&) {
        name = L"Unknown";
    }
    name = name.substr(0, kModuleNameCapacity - 1);
    name.copy(moduleName, name.size());
    moduleName[name.size()] = L'\0';
    moduleNameState = Done;
}

const wchar_t* severityName(int severity) {
    switch (severity) {
        case LOG_TRACE:
            return L"TRACE";
        case LOG_INFO:
            return L"INFO";
        case LOG_WARNING:
            return L"WARNING";
        case LOG_ERROR:
            return L"ERROR";
        default:
            return L"UNKNOWN";
    }
}

}  // namespace

LogDispatcher& LogDispatcher::instance() {
    static LogDispatcher dispatcher;
    static StreamLogAppender defaultAppender(stdout);
    if (!dispatcher.appender) {
        dispatcher.appender = &defaultAppender;
    }
    fillModuleName();
    return dispatcher;
}

void LogDispatcher::log(int severity, const wchar_t* file, int line, const wchar_t* function,
                        const tstring& message) {
    LogRecord record{};
    stampLogRecord(record);
    record.moduleName = moduleName;
    record.fileName = FileUtils::fileName(file);
    record.function = function;
    record.severityName = severityName(severity);
    record.line = line;
    record.message = message;
    appender->write(record);
}

void StreamLogAppender::write(const LogRecord& r) {
    const LogTime& t = r.time;
    tstrings::Builder text;
    text << L'['
         << tstrings::format(L"%04u/%02u/%02u %02u:%02u:%02u.%03u, %ls (PID: %u, TID: %u), ", t.year, t.month,
                             t.day, t.hour, t.minute, t.second, t.milliseconds, r.moduleName,
                             static_cast<unsigned>(r.processId), static_cast<unsigned>(r.threadId))
         << r.fileName << L':' << r.line << L" (" << r.function << L")]" << L"\n\t" << r.severityName << L": "
         << r.message;
    writeLine(out, text.utf8());
}

void writeLine(std::FILE* out, const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), out);
    std::fputc('\n', out);
    std::fflush(out);
}

void TeeLogAppender::write(const LogRecord& record) {
    if (first) {
        first->write(record);
    }
    if (second) {
        second->write(record);
    }
}

WithExtraLogAppender::WithExtraLogAppender(LogAppender& extra)
    : saved(&LogDispatcher::instance().currentAppender()), tee(saved, &extra) {
    LogDispatcher::instance().installAppender(tee);
}

WithExtraLogAppender::~WithExtraLogAppender() { LogDispatcher::instance().installAppender(*saved); }

FunctionTrace::FunctionTrace(LogDispatcher& dispatcher, int severity, const wchar_t* file, int line,
                             const wchar_t* function, const wchar_t* scope)
    : dispatcher(&dispatcher),
      severity(severity),
      file(file),
      line(line),
      function(function),
      scope(scope),
      active(dispatcher.accepts(severity)) {
    if (active) {
        dispatcher.log(severity, file, line, function, tstrings::Builder() << L"Entering " << this->scope);
    }
}

FunctionTrace::~FunctionTrace() {
    if (!active) {
        return;
    }
    // A destructor must not throw; a record that cannot be built is lost.
    try {
        dispatcher->log(severity, file.c_str(), 0, function.c_str(),
                        tstrings::Builder() << L"Exiting " << scope << L" (entered at " << FileUtils::fileName(file)
                                            << L":" << line << L")");
    } catch (...) {
    }
}
