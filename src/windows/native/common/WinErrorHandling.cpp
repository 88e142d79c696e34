// Composition of Win32 system error messages.
#include "WinErrorHandling.h"

#include <cerrno>
#include <cwchar>

#include "ErrorHandling.h"
#include "Log.h"
#include "OwnedResource.h"

namespace {

DWORD formatSystemMessage(DWORD flags, HMODULE module, DWORD errorCode, OwnedLocal<wchar_t>& out) {
    wchar_t* buffer = nullptr;
    const DWORD length = ::FormatMessageW(flags, module, errorCode, 0, reinterpret_cast<LPWSTR>(&buffer), 0, nullptr);
    out.reset(buffer);
    return length;
}

// The module that contains `address`, or null when no module does.
HMODULE moduleOf(const void* address) {
    HMODULE module = nullptr;
    const DWORD flags = GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT;
    if (!::GetModuleHandleExW(flags, static_cast<LPCWSTR>(address), &module)) {
        return nullptr;
    }
    return module;
}

std::string makeMessage(const std::string& text, const char* label, const void* failedFunction, DWORD errorCode) {
    std::string tail = label ? label : "Some error";
    tail += " [" + std::to_string(errorCode) + "]";
    HMODULE module = nullptr;
    if (failedFunction) {
        module = moduleOf(failedFunction);
        if (!module && LogDispatcher::instance().accepts(LOG_WARNING)) {
            WARNING_MSG("GetModuleHandleEx() failed for " << failedFunction << " address.");
        }
    }
    if (!failedFunction || module) {
        tail += "(" + tstrings::toUtf8(describeSystemError(errorCode, module)) + ")";
    }
    return joinMessages(text, tail);
}

}  // namespace

tstring systemMessageText(DWORD errorCode, HMODULE module) {
    const DWORD baseFlags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM;
    OwnedLocal<wchar_t> buffer;
    DWORD length = formatSystemMessage(baseFlags | (module ? FORMAT_MESSAGE_FROM_HMODULE : 0), module, errorCode, buffer);
    if (length == 0 && module) {
        length = formatSystemMessage(baseFlags, nullptr, errorCode, buffer);
    }
    if (length == 0 || !buffer) {
        return L"No description available";
    }
    tstring text(buffer.get(), length);
    for (wchar_t& c : text) {
        if (c < L' ') {
            c = L' ';
        }
    }
    while (!text.empty() && (text.back() <= L' ' || text.back() == L'.')) {
        text.pop_back();
    }
    return text;
}

tstring describeSystemError(DWORD errorCode, HMODULE module) {
    return tstrings::Builder() << "system error " << static_cast<unsigned long>(errorCode) << " ("
                               << systemMessageText(errorCode, module) << ")";
}

SysError::SysError(const tstrings::Builder& text, const void* failedFunction, unsigned long errorCode,
                   const char* label)
    : std::runtime_error(makeMessage(text.utf8(), label, failedFunction, errorCode)) {}

std::string crtErrorText() {
    wchar_t buffer[2048];
    if (::_wcserror_s(buffer, sizeof(buffer) / sizeof(buffer[0]), errno) != 0) {
        return std::string();
    }
    return (tstrings::Builder() << buffer).utf8();
}
