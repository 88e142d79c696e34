// Loading and releasing DLLs and resolving their functions.
#include "Dll.h"

#include <windows.h>

#include "FileUtils.h"
#include "SysInfo.h"
#include "WinErrorHandling.h"

namespace {

HMODULE loadLibrary(const tstring& path) {
    HMODULE handle = ::LoadLibraryW(path.c_str());
    if (!handle) {
        RAISE_LAST_ERROR(tstrings::Builder() << "LoadLibraryW(" << path << ") failed", ::LoadLibraryW);
    }
    return handle;
}

HMODULE moduleOf(void* handle) { return static_cast<HMODULE>(handle); }

}  // namespace

Dll::Dll(const tstrings::Builder& libPath) : path(libPath.str()), handle(loadLibrary(path)) {}

Dll::Dll(System, const tstrings::Builder& name)
    : path(FileUtils::combinePath(SysInfo::getSystemDir(), name.str())), handle(loadLibrary(path)) {}

Dll::Dll(const Dll& other) : path(other.path), handle(nullptr) {
    HMODULE module = nullptr;
    if (!::GetModuleHandleExW(0, path.c_str(), &module)) {
        RAISE_LAST_ERROR(tstrings::Builder() << "GetModuleHandleExW(" << path << ") failed", ::GetModuleHandleExW);
    }
    handle = module;
}

Dll::~Dll() {
    if (handle) {
        ::FreeLibrary(moduleOf(handle));
    }
}

void* Dll::getFunction(const std::string& name, bool throwIfNotFound) const {
    FARPROC function = ::GetProcAddress(moduleOf(handle), name.c_str());
    if (!function && throwIfNotFound) {
        RAISE_LAST_ERROR(tstrings::Builder() << "GetProcAddress(" << path << ", " << name << ") failed",
                         ::GetProcAddress);
    }
    return reinterpret_cast<void*>(function);
}
