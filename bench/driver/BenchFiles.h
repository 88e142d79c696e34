// File, directory and environment helpers of the bench driver; each failure
// is raised as a std::runtime_error that names the call, the path and the
// error code.
#pragma once

#include <cstdint>
#include <string>

#include "tstrings.h"

namespace bench {

[[noreturn]] void raiseSystemError(const char* call, const tstring& path, unsigned long errorCode);

// The directory that holds the running executable.
tstring executableDir();

// A fresh directory under %TEMP%, removed with its contents on destruction.
class TempDir {
public:
    explicit TempDir(const tstring& nameHint);
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const tstring& path() const { return dir; }

private:
    tstring dir;
};

void makeDir(const tstring& path);
void makeDirs(const tstring& path);
void writeFile(const tstring& path, const std::string& bytes);
std::string readFile(const tstring& path);
void copyFile(const tstring& from, const tstring& to);
void deleteFileIfPresent(const tstring& path);
std::uint64_t fileSize(const tstring& path);
// Best effort: what cannot be removed stays.
void removeTree(const tstring& path);

// Sets an environment variable of this process for the life of the object
// and puts the old value back afterwards.
class ScopedEnvVariable {
public:
    ScopedEnvVariable(const tstring& name, const tstring& value);
    ~ScopedEnvVariable();
    ScopedEnvVariable(const ScopedEnvVariable&) = delete;
    ScopedEnvVariable& operator=(const ScopedEnvVariable&) = delete;

private:
    tstring name;
    tstring oldValue;
    bool wasSet;
};

}  // namespace bench
