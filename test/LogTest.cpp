// Tests of the logger: records, record formats, appenders and scope traces.
#include <gtest/gtest.h>

#include <cstdio>
#include <ctime>
#include <memory>
#include <stdexcept>

#include "FileUtils.h"
#include "Log.h"
#include "LogCapture.h"
#include "SysInfo.h"
#include "TestFiles.h"

using testing_support::LogCapture;

namespace {

int logFromHelper() {
    TRACE_MSG("value " << 42 << L" and " << std::string("\xc3\xa9"));
    return __LINE__ - 1;
}

TEST(LogTest, RecordCarriesWhereAndWhatWasLogged) {
    LogCapture capture;
    const int line = logFromHelper();
    ASSERT_EQ(1u, capture.records.size());
    const LogRecord& record = capture.records[0];
    EXPECT_EQ(L"TRACE", record.severityName);
    EXPECT_EQ(L"LogTest.cpp", record.fileName);
    EXPECT_EQ(line, record.line);
    EXPECT_EQ(L"`anonymous-namespace'::logFromHelper", record.function);
    EXPECT_EQ(L"value 42 and \x00e9", record.message);
    const std::time_t now = std::time(nullptr);
    EXPECT_EQ(std::localtime(&now)->tm_year + 1900, record.time.year);
}

TEST(LogTest, ModuleNameIsTheExecutablesBaseName) {
    LogCapture capture;
    WARNING_MSG("x");
    ASSERT_EQ(1u, capture.records.size());
    EXPECT_EQ(FileUtils::fileName(SysInfo::getExecutablePath()), capture.records[0].moduleName);
    EXPECT_EQ(L"LogTest", FileUtils::withoutExtension(capture.records[0].moduleName));
}

TEST(LogTest, NamesSeveritiesAndUnknownValues) {
    LogCapture capture;
    for (int severity : {0, 1, 2, 3, 7, -1}) {
        LogDispatcher::instance().log(severity, L"C:/src/dir\\file.cpp", 5, L"f", L"m");
    }
    ASSERT_EQ(6u, capture.records.size());
    const tstring expected[] = {L"TRACE", L"INFO", L"WARNING", L"ERROR", L"UNKNOWN", L"UNKNOWN"};
    for (size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(expected[i], capture.records[i].severityName);
        EXPECT_EQ(L"file.cpp", capture.records[i].fileName);
    }
}

TEST(LogTest, AcceptsEverySeverity) {
    for (int severity : {LOG_TRACE, LOG_INFO, LOG_WARNING, LOG_ERROR}) {
        EXPECT_TRUE(LogDispatcher::instance().accepts(severity));
    }
}

LogRecord sampleRecord() {
    LogRecord record{};
    record.time = {2024, 1, 3, 4, 5, 6, 7};  // year, month, day, hour, minute, second, ms
    record.threadId = 34;
    record.processId = 12;
    record.moduleName = L"app\x00e9.exe";
    record.severityName = L"WARNING";
    record.fileName = L"f.cpp";
    record.line = 9;
    record.function = L"ns::f";
    record.message = L"message \x00e9";
    return record;
}

// The C library opens files by wide names on Windows, by UTF-8 names
// elsewhere.
std::FILE* createFile(const tstring& path) {
#if defined(_WIN32)
    return ::_wfopen(path.c_str(), L"wb");
#else
    return std::fopen(tstrings::toUtf8(path).c_str(), "wb");
#endif
}

TEST(StreamLogAppenderTest, WritesTwoLineRecordAsUtf8) {
    const testing_support::TempDir dir;
    const tstring path = FileUtils::combinePath(dir.path(), L"log.txt");
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> out(createFile(path), &std::fclose);
    ASSERT_NE(nullptr, out.get());
    StreamLogAppender appender(out.get());
    appender.write(sampleRecord());
    appender.write(sampleRecord());
    out.reset();
    const std::string record =
        "[2024/01/03 04:05:06.007, app\xc3\xa9.exe (PID: 12, TID: 34), f.cpp:9 (ns::f)]\n\tWARNING: message \xc3\xa9\n";
    EXPECT_EQ(record + record, testing_support::readFile(path));
}

class RecordingAppender : public LogAppender {
public:
    RecordingAppender(std::vector<tstring>& sink, const tstring& name) : sink(sink), name(name) {}
    void write(const LogRecord& record) override { sink.push_back(name + L":" + record.message); }

private:
    std::vector<tstring>& sink;
    tstring name;
};

TEST(TeeLogAppenderTest, WritesToFirstThenSecondSkippingNullSides) {
    std::vector<tstring> sink;
    RecordingAppender a(sink, L"a");
    RecordingAppender b(sink, L"b");
    LogRecord record = sampleRecord();
    record.message = L"m";
    TeeLogAppender(&a, &b).write(record);
    TeeLogAppender(nullptr, &b).write(record);
    TeeLogAppender(&a, nullptr).write(record);
    TeeLogAppender(nullptr, nullptr).write(record);
    EXPECT_EQ((std::vector<tstring>{L"a:m", L"b:m", L"b:m", L"a:m"}), sink);
}

TEST(WithExtraLogAppenderTest, AddsExtraAppenderAndRestoresInReverseOrder) {
    std::vector<tstring> sink;
    RecordingAppender base(sink, L"base");
    RecordingAppender extra1(sink, L"x1");
    RecordingAppender extra2(sink, L"x2");
    LogDispatcher& dispatcher = LogDispatcher::instance();
    LogAppender& saved = dispatcher.currentAppender();
    dispatcher.installAppender(base);
    {
        WithExtraLogAppender outer(extra1);
        {
            WithExtraLogAppender inner(extra2);
            dispatcher.log(LOG_TRACE, L"f.cpp", 1, L"f", L"both");
        }
        dispatcher.log(LOG_TRACE, L"f.cpp", 1, L"f", L"outer");
    }
    dispatcher.log(LOG_TRACE, L"f.cpp", 1, L"f", L"none");
    EXPECT_EQ(&base, &dispatcher.currentAppender());
    dispatcher.installAppender(saved);
    EXPECT_EQ((std::vector<tstring>{L"base:both", L"x1:both", L"x2:both", L"base:outer", L"x1:outer", L"base:none"}),
              sink);
}

int tracedHelper(bool fail) {
    TRACE_SCOPE();
    if (fail) {
        throw std::runtime_error("leaving by exception");
    }
    return __LINE__ - 4;
}

void expectEnterAndExit(const std::vector<LogRecord>& records, int line) {
    ASSERT_EQ(2u, records.size());
    EXPECT_EQ(L"Entering `anonymous-namespace'::tracedHelper", records[0].message);
    EXPECT_EQ(line, records[0].line);
    EXPECT_EQ(L"Exiting `anonymous-namespace'::tracedHelper (entered at LogTest.cpp:" + std::to_wstring(line) + L")",
              records[1].message);
    EXPECT_EQ(0, records[1].line);
    for (const LogRecord& record : records) {
        EXPECT_EQ(L"TRACE", record.severityName);
        EXPECT_EQ(L"LogTest.cpp", record.fileName);
        EXPECT_EQ(L"`anonymous-namespace'::tracedHelper", record.function);
    }
}

TEST(FunctionTraceTest, WritesEnteringAndExitingRecords) {
    LogCapture capture;
    const int line = tracedHelper(false);
    expectEnterAndExit(capture.records, line);
}

TEST(FunctionTraceTest, WritesExitingRecordWhenLeftByException) {
    const int line = tracedHelper(false);
    LogCapture capture;
    EXPECT_THROW(tracedHelper(true), std::runtime_error);
    expectEnterAndExit(capture.records, line);
}

TEST(FunctionTraceTest, ShowsScopeSeparatelyFromFunction) {
    LogCapture capture;
    {
        FunctionTrace trace(LogDispatcher::instance(), LOG_WARNING, L"C:\\src\\x.cpp", 17, L"ns::f", L"custom scope");
    }
    ASSERT_EQ(2u, capture.records.size());
    EXPECT_EQ(L"Entering custom scope", capture.records[0].message);
    EXPECT_EQ(L"Exiting custom scope (entered at x.cpp:17)", capture.records[1].message);
    EXPECT_EQ(L"WARNING", capture.records[1].severityName);
    EXPECT_EQ(L"ns::f", capture.records[1].function);
}

}  // namespace
