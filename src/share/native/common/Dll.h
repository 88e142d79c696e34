// Owning handles of loaded DLLs and of the functions resolved from them.
#pragma once

#include <string>

#include "ErrorHandling.h"
#include "tstrings.h"

// One reference to a loaded module, given back when the object goes.
class Dll {
public:
    struct System {};
    // Selects loading by name from the Windows system directory.
    static constexpr System systemDir{};

    explicit Dll(const tstrings::Builder& path);
    Dll(System, const tstrings::Builder& name);
    // Takes a new reference to the same module through its path.
    Dll(const Dll& other);
    Dll& operator=(const Dll&) = delete;
    ~Dll();

    void* getFunction(const std::string& name, bool throwIfNotFound) const;

    template <class T>
    void getFunction(const tstrings::Builder& name, T& out) const {
        out = reinterpret_cast<T>(getFunction(name.utf8(), true));
    }

    const tstring& getPath() const { return path; }

private:
    tstring path;
    // The HMODULE, opaque to platform-neutral code.
    void* handle;
};

// A function resolved from a library; it keeps the library loaded while it
// lives.
template <class T>
class DllFunction {
public:
    DllFunction(const Dll& lib, const tstrings::Builder& functionName)
        : library(lib), function(nullptr), name(functionName.utf8()) {
        library.getFunction(functionName, function);
    }

    operator T() const {
        if (!function) {
            RAISE(tstrings::Builder() << name << "() function is not available in " << library.getPath());
        }
        return function;
    }

private:
    Dll library;
    T function;
    std::string name;
};
