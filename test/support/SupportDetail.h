// Pieces shared by the test helpers' source files: an owning handle and
// the error thrown when a Win32 call fails.
#pragma once

#include <windows.h>

#include <utility>

#include "tstrings.h"

namespace testing_support::detail {

class UniqueHandle {
public:
    explicit UniqueHandle(HANDLE h = nullptr) : handle(h == INVALID_HANDLE_VALUE ? nullptr : h) {}
    ~UniqueHandle() { reset(); }
    UniqueHandle(UniqueHandle&& other) noexcept : handle(std::exchange(other.handle, nullptr)) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) {
            reset();
            handle = std::exchange(other.handle, nullptr);
        }
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    HANDLE get() const { return handle; }
    explicit operator bool() const { return handle != nullptr; }

    void reset() {
        if (handle) {
            DWORD savedError = ::GetLastError();
            ::CloseHandle(handle);
            ::SetLastError(savedError);
            handle = nullptr;
        }
    }

private:
    HANDLE handle;
};

// Throws a std::runtime_error naming the call, its subject and the error.
[[noreturn]] void fail(const char* call, const tstring& subject, DWORD error);

}  // namespace testing_support::detail
