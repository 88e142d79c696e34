// Tests of the scope guard AtEndOfScope.
#include <gtest/gtest.h>

#include <stdexcept>

#include "ErrorHandling.h"
#include "LogCapture.h"
#include "Toolbox.h"

using testing_support::LogCapture;

TEST(AtEndOfScopeTest, RunsCallableOnceWhenScopeEnds) {
    int calls = 0;
    {
        const AtEndOfScope guard([&calls] { ++calls; });
        EXPECT_EQ(calls, 0);
    }
    EXPECT_EQ(calls, 1);
}

TEST(AtEndOfScopeTest, RunsCallableWhenScopeEndsByException) {
    int calls = 0;
    try {
        const auto guard = atEndOfScope([&calls] { ++calls; });
        throw std::runtime_error("leaving");
    } catch (const std::runtime_error&) {
        EXPECT_EQ(calls, 1);
    }
    EXPECT_EQ(calls, 1);
}

TEST(AtEndOfScopeTest, LogsAndDropsFailureOfCallable) {
    LogCapture capture;
    std::string raised;
    EXPECT_NO_THROW({
        const AtEndOfScope guard([&raised] {
            try {
                RAISE("clean-up failed");
            } catch (const std::runtime_error& e) {
                raised = e.what();
                throw;
            }
        });
    });

    ASSERT_EQ(capture.records.size(), 1u);
    const LogRecord& record = capture.records[0];
    EXPECT_EQ(record.severityName, L"ERROR");
    EXPECT_EQ(record.message, L"Exception with message '" + tstrings::fromUtf8(raised) + L"' caught");
    EXPECT_EQ(record.fileName, L"Toolbox.h");
    EXPECT_EQ(record.function.rfind(L"AtEndOfScope<", 0), 0u) << tstrings::toUtf8(record.function);
    const tstring destructor = L">::~AtEndOfScope";
    ASSERT_GE(record.function.size(), destructor.size());
    EXPECT_EQ(record.function.substr(record.function.size() - destructor.size()), destructor)
        << tstrings::toUtf8(record.function);
}

TEST(AtEndOfScopeTest, LogsUnknownFailureOfCallable) {
    LogCapture capture;
    EXPECT_NO_THROW({ const AtEndOfScope guard([] { throw 42; }); });

    ASSERT_EQ(capture.records.size(), 1u);
    EXPECT_EQ(capture.records[0].severityName, L"ERROR");
    EXPECT_EQ(capture.records[0].message, L"Unknown exception caught");
}
