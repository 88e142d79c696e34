// Tests of the texts of Win32 system errors.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "ErrorHandling.h"
#include "LogCapture.h"
#include "TestSupport.h"
#include "WinErrorHandling.h"

namespace {

// Checks "<head>(system error <code> (<description>))" and gives the
// description, which is the system's wording and is only checked for form.
std::string descriptionAfter(const std::string& text, const std::string& head, unsigned long code) {
    const std::string opening = head + "(system error " + std::to_string(code) + " (";
    EXPECT_EQ(0u, text.find(opening)) << text;
    EXPECT_GE(text.size(), opening.size() + 2) << text;
    if (text.find(opening) != 0 || text.size() < opening.size() + 2) {
        return std::string();
    }
    EXPECT_EQ("))", text.substr(text.size() - 2)) << text;
    const std::string description = text.substr(opening.size(), text.size() - opening.size() - 2);
    EXPECT_FALSE(description.empty());
    EXPECT_EQ(std::string::npos, description.find_first_of("\r\n")) << description;
    EXPECT_NE('.', description.back()) << description;
    EXPECT_NE(' ', description.back()) << description;
    return description;
}

TEST(SysErrorTest, DescribesAFailedLoadLibraryW) {
    testing_support::TempDir dir;
    const tstring path = dir.path() + L"\\missing.dll";
    ::SetLastError(0);
    HMODULE module = ::LoadLibraryW(path.c_str());
    const DWORD error = ::GetLastError();
    ASSERT_EQ(nullptr, module);
    ASSERT_EQ(126u, error);

    const SysError sysError(tstrings::Builder() << "LoadLibraryW(" << path << ") failed", ::LoadLibraryW, error);
    const std::string description = descriptionAfter(
        sysError.what(), "LoadLibraryW(" + tstrings::toUtf8(path) + ") failed. System error [126]", 126);
    EXPECT_NE("No description available", description);
}

TEST(SysErrorTest, UsesSomeErrorWithoutLabel) {
    const SysError error(tstrings::Builder() << "CreateJobObjectW failed", ::CreateJobObjectW, 5, nullptr);
    descriptionAfter(error.what(), "CreateJobObjectW failed. Some error [5]", 5);
}

TEST(SysErrorTest, DescribesTheCodeWithoutFailedFunction) {
    const SysError error(tstrings::Builder() << "Operation failed:", nullptr, 2);
    EXPECT_NE("No description available", descriptionAfter(error.what(), "Operation failed: System error [2]", 2));
}

// The system's own text for `code` with line breaks made blanks and the
// final period and blanks removed.
tstring expectedSystemText(DWORD code) {
    wchar_t* buffer = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM, nullptr, code, 0,
        reinterpret_cast<LPWSTR>(&buffer), 0, nullptr);
    const OwnedLocal<wchar_t> owned(buffer);
    tstring text(buffer, length);
    for (wchar_t& c : text) {
        c = c < L' ' ? L' ' : c;
    }
    return text.substr(0, text.find_last_not_of(L". ") + 1);
}

TEST(SysErrorTest, DescribesSuccessCodeWithoutFinalPeriod) {
    const SysError error(tstrings::Builder() << "", nullptr, 0);
    EXPECT_EQ(tstrings::toUtf8(expectedSystemText(0)), descriptionAfter(error.what(), "System error [0]", 0));
}

TEST(SysErrorTest, DescribesCodeFromSystemTableWhenModuleHasNone) {
    EXPECT_EQ(L"system error 5 (" + expectedSystemText(5) + L")",
              describeSystemError(5, ::GetModuleHandleW(L"kernel32.dll")));
    EXPECT_EQ(L"system error 5 (" + expectedSystemText(5) + L")", describeSystemError(5, nullptr));
}

TEST(SysErrorTest, UnknownCodeHasNoDescriptionAvailable) {
    EXPECT_EQ(L"No description available", systemMessageText(0x2FFFFFFF, nullptr));
    EXPECT_EQ(L"system error 805306367 (No description available)", describeSystemError(0x2FFFFFFF, nullptr));
}

TEST(SysErrorTest, AddressOutsideAnyModuleGivesNoDescriptionAndOneWarning) {
    auto heapObject = std::make_unique<int>(0);
    testing_support::LogCapture capture;
    const SysError error(tstrings::Builder() << "GetMessageW failed", heapObject.get(), 1400);
    EXPECT_STREQ("GetMessageW failed. System error [1400]", error.what());

    ASSERT_EQ(1u, capture.records.size());
    const LogRecord& warning = capture.records[0];
    EXPECT_EQ(L"WARNING", warning.severityName);
    EXPECT_EQ(L"GetModuleHandleEx() failed for " + (tstrings::Builder() << heapObject.get()).str() + L" address.",
              warning.message);
    EXPECT_EQ(L"WinErrorHandling.cpp", warning.fileName);
    EXPECT_EQ(L"`anonymous-namespace'::makeMessage", warning.function);
}

TEST(SysErrorTest, PositionedSysErrorKeepsSysErrorTextAsBareMessage) {
    try {
        RAISE(SysError(tstrings::Builder() << "SetEnvironmentVariable(A, B) failed", ::SetEnvironmentVariableW, 87));
    } catch (const SysError& e) {
        const KivoErrorBase* base = dynamic_cast<const KivoErrorBase*>(&e);
        ASSERT_NE(nullptr, base);
        descriptionAfter(base->bareMessage(), "SetEnvironmentVariable(A, B) failed. System error [87]", 87);
        EXPECT_EQ(std::string(e.what()).substr(std::string(e.what()).size() - std::strlen(base->bareMessage())),
                  base->bareMessage());
        EXPECT_EQ(0u, std::string(e.what()).find("SysErrorTest.cpp("));
    }
}

}  // namespace
