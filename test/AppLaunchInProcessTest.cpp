// Tests of the launch wrapper from inside, with an appender of the test's
// own; AppLaunchTest.cpp sees it from outside through app_payloads.exe.
#include <gtest/gtest.h>

#include <new>
#include <optional>
#include <string>
#include <vector>

#include "ErrorHandling.h"
#include "Log.h"
#include "LogCapture.h"
#include "TestFiles.h"
#include "app.h"

namespace {

class LastErrorProbe : public LogAppender {
public:
    void write(const LogRecord& record) override {
        messages.push_back(record.message);
        lastErrors.push_back(app::lastErrorText());
    }
    std::vector<tstring> messages;
    std::vector<std::string> lastErrors;
};

TEST(AppLaunchTest, LastErrorTextIsSetOnlyWhileTheErrorIsReported) {
    const testing_support::ScopedEnvVariable debug(L"KIVO_DEBUG", std::nullopt);
    LastErrorProbe probe;
    EXPECT_EQ(1, app::launch(std::nothrow, +[] { RAISE("In-process failure"); }, &probe));
    ASSERT_EQ(1u, probe.messages.size());
    EXPECT_EQ(0u, probe.messages[0].find(L"Exception with message 'AppLaunchInProcessTest.cpp("));
    EXPECT_EQ(std::vector<std::string>{"In-process failure"}, probe.lastErrors);
    EXPECT_EQ("", app::lastErrorText());

    EXPECT_EQ(0, app::launch(std::nothrow, +[] {}, &probe));
    EXPECT_EQ(1u, probe.messages.size());
}

TEST(AppLaunchTest, LeavesItsAppenderInstalled) {
    const testing_support::ScopedEnvVariable debug(L"KIVO_DEBUG", std::nullopt);
    LastErrorProbe probe;
    testing_support::LogCapture capture;
    app::launch(std::nothrow, +[] { throw 1; }, &probe);
    EXPECT_NE(&capture, &LogDispatcher::instance().currentAppender());
    ERROR_MSG("after launch");
    EXPECT_TRUE(capture.records.empty());
    EXPECT_EQ(1u, probe.messages.size());
}

}  // namespace
