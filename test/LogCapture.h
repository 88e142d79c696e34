// Captures the records of the process-wide logger while it lives.
#pragma once

#include <vector>

#include "Log.h"

namespace testing_support {

class LogCapture : public LogAppender {
public:
    LogCapture() : saved(&LogDispatcher::instance().currentAppender()) {
        LogDispatcher::instance().installAppender(*this);
    }
    ~LogCapture() override { LogDispatcher::instance().installAppender(*saved); }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    void write(const LogRecord& record) override { records.push_back(record); }

    // The records of one severity ("TRACE", "WARNING", ...).
    std::vector<LogRecord> withSeverity(const tstring& severityName) const {
        std::vector<LogRecord> result;
        for (const LogRecord& record : records) {
            if (record.severityName == severityName) {
                result.push_back(record);
            }
        }
        return result;
    }

    std::vector<LogRecord> records;

private:
    LogAppender* saved;
};

}  // namespace testing_support
