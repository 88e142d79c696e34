// Tests of the Win32 system errors in the error family and in the
// catch-and-log helpers, and of the C runtime's wide error texts.
#include <gtest/gtest.h>

#include <cerrno>
#include <cwchar>
#include <stdexcept>

#include "ErrorHandling.h"
#include "LogCapture.h"

namespace {

TEST(ErrorHandlingTest, PositionedSysErrorsAreCaughtAsTheirBases) {
    EXPECT_THROW(RAISE(SysError(tstrings::Builder() << "y", nullptr, 5)), SysError);
    EXPECT_THROW(RAISE(SysError(tstrings::Builder() << "y", nullptr, 5)), KivoErrorBase);
    EXPECT_THROW(RAISE(SysError(tstrings::Builder() << "y", nullptr, 5)), std::runtime_error);
}

void throwAndCatch(void (*thrower)()) {
    try {
        thrower();
    }
    CATCH_AND_LOG
}

TEST(CatchAndLogTest, LogsSysErrorsWithTheirFullMessage) {
    const SysError error(tstrings::Builder() << "CreateProcessW failed", nullptr, 2);
    testing_support::LogCapture capture;
    throwAndCatch(+[] { RAISE(SysError(tstrings::Builder() << "CreateProcessW failed", nullptr, 2)); });
    ASSERT_EQ(1u, capture.records.size());
    const tstring message = capture.records[0].message;
    EXPECT_EQ(0u, message.find(L"Exception with message 'WinErrorHandlingTest.cpp(")) << tstrings::toUtf8(message);
    EXPECT_TRUE(tstrings::endsWith(message, (tstrings::Builder() << "(): " << error.what() << "' caught").str()))
        << tstrings::toUtf8(message);
}

TEST(ErrorHandlingTest, CrtErrorTextIsTheWideTextInUtf8) {
    wchar_t expected[2048];
    ASSERT_EQ(0, ::_wcserror_s(expected, 2048, ENOENT));
    errno = ENOENT;
    EXPECT_EQ(tstrings::toUtf8(expected), crtErrorText());
}

}  // namespace
