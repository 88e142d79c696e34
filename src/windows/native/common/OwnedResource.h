// Every owner of a system resource: one move-only template, and one alias per
// kind of resource with the value that means "none" and the call that frees it.
#pragma once

#include <windows.h>

#include <cstdio>
#include <cstdlib>

template <class Traits>
class OwnedResource {
public:
    using pointer = typename Traits::pointer;

    OwnedResource() noexcept = default;
    explicit OwnedResource(pointer value) noexcept : value(value) {}
    ~OwnedResource() { reset(); }

    OwnedResource(OwnedResource&& other) noexcept : value(other.release()) {}
    OwnedResource& operator=(OwnedResource&& other) noexcept {
        if (this != &other) {
            reset(other.release());
        }
        return *this;
    }
    OwnedResource(const OwnedResource&) = delete;
    OwnedResource& operator=(const OwnedResource&) = delete;

    pointer get() const noexcept { return value; }
    explicit operator bool() const noexcept { return value != Traits::invalid(); }

    // Gives up ownership without freeing the resource.
    [[nodiscard]] pointer release() noexcept {
        pointer released = value;
        value = Traits::invalid();
        return released;
    }

    // Frees the held resource, if any, and takes `newValue`. Keeps the
    // thread's last error as it was, so that a caller that frees on the way
    // out of a failure still reads the failure's code.
    void reset(pointer newValue = Traits::invalid()) noexcept {
        if (value != Traits::invalid()) {
            const DWORD lastError = ::GetLastError();
            Traits::close(value);
            ::SetLastError(lastError);
        }
        value = newValue;
    }

private:
    pointer value = Traits::invalid();
};

namespace ownedresource {

template <class T, T Invalid, auto Close>
struct CloseTraits {
    using pointer = T;
    static constexpr T invalid() noexcept { return Invalid; }
    static void close(T value) noexcept { Close(value); }
};

// For handles whose "none" is INVALID_HANDLE_VALUE, which is not a constant
// expression and so cannot be a template argument.
template <auto Close>
struct InvalidValueTraits {
    using pointer = HANDLE;
    static pointer invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void close(pointer value) noexcept { Close(value); }
};

inline void localFree(void* memory) noexcept { ::LocalFree(memory); }
inline void crtFree(void* memory) noexcept { std::free(memory); }
inline void closeHandle(HANDLE handle) noexcept { ::CloseHandle(handle); }
inline void freeLibrary(HMODULE module) noexcept { ::FreeLibrary(module); }
inline void closeFile(std::FILE* file) noexcept { std::fclose(file); }
inline void findClose(HANDLE find) noexcept { ::FindClose(find); }
inline void unmapView(const void* view) noexcept { ::UnmapViewOfFile(view); }

}  // namespace ownedresource

// Process, thread and job handles: null means none.
using OwnedHandle = OwnedResource<ownedresource::CloseTraits<HANDLE, nullptr, ownedresource::closeHandle>>;
// File, pipe and mapping handles from CreateFileW and its kin.
using OwnedFileHandle = OwnedResource<ownedresource::InvalidValueTraits<ownedresource::closeHandle>>;
using OwnedModule = OwnedResource<ownedresource::CloseTraits<HMODULE, nullptr, ownedresource::freeLibrary>>;
using OwnedFindHandle = OwnedResource<ownedresource::InvalidValueTraits<ownedresource::findClose>>;
// A view of a file mapping from MapViewOfFile.
using OwnedMappedView = OwnedResource<ownedresource::CloseTraits<const void*, nullptr, ownedresource::unmapView>>;
// Memory that the system allocated for the caller with LocalAlloc.
template <class T>
using OwnedLocal = OwnedResource<ownedresource::CloseTraits<T*, nullptr, ownedresource::localFree>>;
// Memory from malloc, _wfullpath and the like.
template <class T>
using OwnedCrt = OwnedResource<ownedresource::CloseTraits<T*, nullptr, ownedresource::crtFree>>;
using OwnedFile = OwnedResource<ownedresource::CloseTraits<std::FILE*, nullptr, ownedresource::closeFile>>;
