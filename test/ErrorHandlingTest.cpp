// Tests of positioned errors, message joining and the catch-and-log helpers.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <new>
#include <stdexcept>

#include "ErrorHandling.h"
#include "LogCapture.h"

namespace {

TEST(ErrorHandlingTest, PositionedMessageShowsBaseNameLineFunctionAndText) {
    const std::runtime_error error("boom");
    EXPECT_EQ("WinDll.cpp(40) at `anonymous-namespace'::loadLibrary(): boom",
              positionedMessage(error, {"C:\\src\\windows\\native\\common\\WinDll.cpp",
                                        "`anonymous-namespace'::loadLibrary", 40}));
    EXPECT_EQ("f.cpp(1) at ns::f(): boom", positionedMessage(error, {"/home/src/share/f.cpp", "ns::f", 1}));
    EXPECT_EQ("f.cpp(7) at g(): boom", positionedMessage(error, {"f.cpp", "g", 7}));
    EXPECT_EQ("b.cpp(2) at h(): ", positionedMessage(std::runtime_error(""), {"a\\/b.cpp", "h", 2}));
}

TEST(ErrorHandlingTest, RaiseThrowsPositionedErrorWithBareMessage) {
    const int line = __LINE__ + 2;
    try {
        RAISE("Failed to launch JVM");
    } catch (const KivoError<std::runtime_error>& e) {
        EXPECT_STREQ("Failed to launch JVM", e.bareMessage());
        EXPECT_EQ("ErrorHandlingTest.cpp(" + std::to_string(line) + ") at " + KIVO_FUNCTION +
                      "(): Failed to launch JVM",
                  e.what());
        const KivoError<std::runtime_error> copy = e;
        EXPECT_STREQ(e.what(), copy.what());
        EXPECT_STREQ(e.bareMessage(), copy.bareMessage());
    }
}

TEST(ErrorHandlingTest, MakeErrorTakesEveryTextForm) {
    const SourceLocation here = CODE_LOCATION;
    EXPECT_STREQ("\xc3\xa9", makeError(tstrings::Builder() << L"\x00e9", here).bareMessage());
    EXPECT_STREQ("\xc3\xa9", makeError(std::string("\xc3\xa9"), here).bareMessage());
    EXPECT_STREQ("plain", makeError(std::runtime_error("plain"), here).bareMessage());
    EXPECT_STREQ("chars", makeError("chars", here).bareMessage());
}

TEST(ErrorHandlingTest, PositionedErrorsAreCaughtAsTheirBases) {
    EXPECT_THROW(RAISE("x"), KivoErrorBase);
    EXPECT_THROW(RAISE("x"), std::runtime_error);
    EXPECT_THROW(RAISE(std::runtime_error("x")), KivoErrorBase);
}

struct JoinCase {
    std::string a;
    std::string b;
    std::string joined;
};

void PrintTo(const JoinCase& c, std::ostream* os) {
    *os << ::testing::PrintToString(c.a) << ", " << ::testing::PrintToString(c.b);
}

class JoinMessagesTest : public ::testing::TestWithParam<JoinCase> {};

TEST_P(JoinMessagesTest, JoinsTrimmedPartsWithSeparatorByLastCharacter) {
    EXPECT_EQ(GetParam().joined, joinMessages(GetParam().a, GetParam().b));
}

INSTANTIATE_TEST_SUITE_P(
    Table, JoinMessagesTest,
    ::testing::Values(JoinCase{"Failed", "System error", "Failed. System error"},
                      JoinCase{"Failed:", "x", "Failed: x"}, JoinCase{"Failed.", "x", "Failed. x"},
                      JoinCase{"a;", "x", "a; x"}, JoinCase{"a,", "x", "a, x"}, JoinCase{"a!", "x", "a! x"},
                      JoinCase{"a?", "x", "a? x"}, JoinCase{"a)", "x", "a). x"},
                      JoinCase{std::string("a\0", 2), "x", std::string("a\0. x", 5)},
                      JoinCase{"Failed \t\r\n", " \v\fx \n", "Failed. x"}, JoinCase{"  a", "b", "  a. b"},
                      JoinCase{"a", " \t ", "a"}, JoinCase{" \n", " b ", "b"}, JoinCase{" ", "\t", ""},
                      JoinCase{"", "", ""}));

void throwAndCatch(void (*thrower)()) {
    try {
        thrower();
    }
    CATCH_AND_LOG
}

TEST(CatchAndLogTest, LogsLogicErrorsAndOtherValuesAsUnknown) {
    for (auto thrower : {+[] { throw std::out_of_range("index"); }, +[] { throw std::bad_alloc(); },
                         +[] { throw 42; }, +[] { throw std::invalid_argument("arg"); }}) {
        testing_support::LogCapture capture;
        throwAndCatch(thrower);
        ASSERT_EQ(1u, capture.records.size());
        const LogRecord& record = capture.records[0];
        EXPECT_EQ(L"ERROR", record.severityName);
        EXPECT_EQ(L"Unknown exception caught", record.message);
        EXPECT_EQ(L"ErrorHandlingTest.cpp", record.fileName);
        EXPECT_EQ(L"`anonymous-namespace'::throwAndCatch", record.function);
    }
}

TEST(CatchAndLogTest, LogsRuntimeErrorsWithTheirFullMessage) {
    testing_support::LogCapture capture;
    throwAndCatch(+[] { RAISE("Failed to launch JVM"); });
    throwAndCatch(+[] { throw std::runtime_error("plain"); });
    ASSERT_EQ(2u, capture.records.size());
    const tstring first = capture.records[0].message;
    EXPECT_EQ(0u, first.find(L"Exception with message 'ErrorHandlingTest.cpp(")) << tstrings::toUtf8(first);
    EXPECT_TRUE(tstrings::endsWith(first, L"(): Failed to launch JVM' caught")) << tstrings::toUtf8(first);
    EXPECT_EQ(L"Exception with message 'plain' caught", capture.records[1].message);
}

TEST(CatchAndLogTest, WidensTheCaughtMessageByteByByte) {
    testing_support::LogCapture capture;
    throwAndCatch(+[] { throw std::runtime_error("\xc3\xa9"); });
    ASSERT_EQ(1u, capture.records.size());
    EXPECT_EQ(L"Exception with message '\x00c3\x00a9' caught", capture.records[0].message);
}

TEST(ErrorHandlingTest, CrtErrorTextDescribesCurrentErrno) {
    errno = ENOENT;
    const std::string text = crtErrorText();
    EXPECT_EQ(std::strerror(ENOENT), text);
    EXPECT_FALSE(text.empty());
}

}  // namespace
