// Owners of the system handles the image tool opens: one template, and one
// line per kind of handle saying what is invalid and how it is closed.
#pragma once

#include <windows.h>

#include <utility>

namespace imagetool {

template <class Traits>
class UniqueResource {
public:
    typedef typename Traits::Value Value;

    explicit UniqueResource(Value value = Traits::invalid()) : value(value) {}
    ~UniqueResource() { reset(); }

    UniqueResource(UniqueResource&& other) noexcept : value(other.release()) {}
    UniqueResource& operator=(UniqueResource&& other) noexcept {
        if (this != &other) {
            reset(other.release());
        }
        return *this;
    }
    UniqueResource(const UniqueResource&) = delete;
    UniqueResource& operator=(const UniqueResource&) = delete;

    Value get() const { return value; }
    explicit operator bool() const { return value != Traits::invalid(); }

    [[nodiscard]] Value release() noexcept { return std::exchange(value, Traits::invalid()); }

    // Closes the held resource, keeping the thread's last error for a
    // caller that is about to read it.
    void reset(Value newValue = Traits::invalid()) noexcept {
        if (value != Traits::invalid()) {
            const DWORD savedError = ::GetLastError();
            Traits::close(value);
            ::SetLastError(savedError);
        }
        value = newValue;
    }

private:
    Value value;
};

template <class T, T Invalid, auto Close>
struct HandleTraits {
    typedef T Value;
    static T invalid() { return Invalid; }
    static void close(T value) { Close(value); }
};

struct FileHandleTraits {
    typedef HANDLE Value;
    static HANDLE invalid() { return INVALID_HANDLE_VALUE; }
    static void close(HANDLE handle) { ::CloseHandle(handle); }
};

struct FindHandleTraits {
    typedef HANDLE Value;
    static HANDLE invalid() { return INVALID_HANDLE_VALUE; }
    static void close(HANDLE handle) { ::FindClose(handle); }
};

// A file opened with CreateFileW.
typedef UniqueResource<FileHandleTraits> UniqueFile;
// A directory search of FindFirstFileW.
typedef UniqueResource<FindHandleTraits> UniqueFind;
// Any other kernel object, null when absent (a file mapping).
typedef UniqueResource<HandleTraits<HANDLE, nullptr, ::CloseHandle>> UniqueHandle;
// A module loaded with LoadLibraryExW.
typedef UniqueResource<HandleTraits<HMODULE, nullptr, ::FreeLibrary>> UniqueModule;
// A view of MapViewOfFile.
typedef UniqueResource<HandleTraits<LPCVOID, nullptr, ::UnmapViewOfFile>> UniqueView;

}  // namespace imagetool
