// The launch wrapper: picks the log appender from the debug switch, runs the
// payload and reports whatever escapes it.
#include "app.h"

#include <cstdio>
#include <memory>

#include "ErrorHandling.h"
#include "Log.h"
#include "SysInfo.h"

namespace {

const std::string* lastErrorMsg = nullptr;

class StandardLogAppender : public LogAppender {
public:
    void write(const LogRecord& r) override {
        const tstring line = tstrings::Builder() << L"[" << r.severityName << L"] " << r.fileName << L":" << r.line
                                                 << L": " << r.message;
        writeLine(stderr, tstrings::toUtf8(line));
    }
};

class LastErrorLogAppender : public LogAppender {
public:
    void write(const LogRecord&) override { writeLine(stderr, app::lastErrorText()); }
};

StandardLogAppender standardLogAppender;
NopLogAppender nopLogAppender;
LastErrorLogAppender lastErrorLogAppender;

typedef std::unique_ptr<WithExtraLogAppender> ExtraAppenderSlot;

// Tees `extra` in when the protected block ends, so that the record logged
// by a handler also prints the last error message.
class SetLoggerAtEndOfScope {
public:
    SetLoggerAtEndOfScope(ExtraAppenderSlot& slot, LogAppender* extra) : slot(slot), extra(extra) {}

    ~SetLoggerAtEndOfScope() {
        try {
            ExtraAppenderSlot replacement(new WithExtraLogAppender(*extra));
            slot.swap(replacement);
        }
        CATCH_AND_LOG
    }

private:
    ExtraAppenderSlot& slot;
    LogAppender* extra;
};

class ResetLastErrorMsgAtEndOfScope {
public:
    ~ResetLastErrorMsgAtEndOfScope() { lastErrorMsg = nullptr; }
};

}  // namespace

namespace app {

bool isDebugEnabled() { return SysInfo::getEnvVariable(L"KIVO_DEBUG", tstring()) == L"true"; }

std::string lastErrorText() { return lastErrorMsg ? *lastErrorMsg : std::string(); }

int launch(const std::nothrow_t&, LaunchFunc func, LogAppender* lastErrorLogAppenderArg) {
    bool debug = false;
    try {
        debug = isDebugEnabled();
    } catch (...) {
    }
    LogDispatcher::instance().installAppender(debug ? static_cast<LogAppender&>(standardLogAppender)
                                                    : static_cast<LogAppender&>(nopLogAppender));
    TRACE_SCOPE();

    LogAppender* extra = lastErrorLogAppenderArg ? lastErrorLogAppenderArg : &lastErrorLogAppender;
    ExtraAppenderSlot slot;
    std::string errorText;
    ResetLastErrorMsgAtEndOfScope resetLastErrorMsg;
    try {
        SetLoggerAtEndOfScope setLogger(slot, extra);
        func();
        return 0;
    } catch (const KivoErrorBase& e) {
        // The bare message is already UTF-8; widening it byte by byte would
        // garble every non-ASCII path in the one line the user sees.
        errorText = e.bareMessage();
        lastErrorMsg = &errorText;
        logCaughtError(CODE_LOCATION, dynamic_cast<const std::runtime_error&>(e));
    } catch (const std::runtime_error& e) {
        errorText = crtErrorText();
        lastErrorMsg = &errorText;
        logCaughtError(CODE_LOCATION, e);
    } catch (...) {
        errorText = "Unknown error";
        lastErrorMsg = &errorText;
        logUnknownError(CODE_LOCATION);
    }
    return 1;
}

}  // namespace app
