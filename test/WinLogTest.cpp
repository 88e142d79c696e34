// Tests of what Windows puts into a log record: process, thread and local
// time.
#include <windows.h>

#include <gtest/gtest.h>

#include "Log.h"
#include "LogCapture.h"

using testing_support::LogCapture;

namespace {

TEST(LogTest, RecordCarriesThisProcessThreadAndLocalTime) {
    LogCapture capture;
    TRACE_MSG("stamped");
    ASSERT_EQ(1u, capture.records.size());
    const LogRecord& record = capture.records[0];
    EXPECT_EQ(::GetCurrentProcessId(), record.processId);
    EXPECT_EQ(::GetCurrentThreadId(), record.threadId);
    SYSTEMTIME now;
    ::GetLocalTime(&now);
    EXPECT_EQ(now.wYear, record.time.year);
}

}  // namespace
