// Loading and releasing shared libraries and resolving their functions.
#include <dlfcn.h>

#include "Dll.h"
#include "FileUtils.h"
#include "SysInfo.h"

namespace {

void* loadLibrary(const tstring& path) {
    void* handle = ::dlopen(tstrings::toUtf8(path).c_str(), RTLD_NOW);
    if (!handle) {
        RAISE(tstrings::Builder() << "dlopen(" << path << ") failed: " << ::dlerror());
    }
    return handle;
}

}  // namespace

Dll::Dll(const tstrings::Builder& libPath) : path(libPath.str()), handle(loadLibrary(path)) {}

Dll::Dll(System, const tstrings::Builder& name)
    : path(FileUtils::combinePath(SysInfo::getSystemDir(), name.str())), handle(loadLibrary(path)) {}

Dll::Dll(const Dll& other) : path(other.path), handle(loadLibrary(other.path)) {}

Dll::~Dll() {
    if (handle) {
        ::dlclose(handle);
    }
}

void* Dll::getFunction(const std::string& name, bool throwIfNotFound) const {
    ::dlerror();
    void* function = ::dlsym(handle, name.c_str());
    if (!function && throwIfNotFound) {
        RAISE(tstrings::Builder() << "dlsym(" << path << ", " << name << ") failed: " << ::dlerror());
    }
    return function;
}
