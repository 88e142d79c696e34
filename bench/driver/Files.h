// The bench driver's own file and environment helpers. Each failure is
// raised as the launcher raises a failed system call.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "tstrings.h"

namespace bench {

// A fresh directory under the system's temporary directory, removed with
// everything in it at the end.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const tstring& path() const { return dir; }

private:
    tstring dir;
};

void makeDirs(const tstring& path);
void copyFile(const tstring& from, const tstring& to);
void writeFile(const tstring& path, const std::string& bytes);
std::string readFile(const tstring& path);
void deleteFileIfPresent(const tstring& path);
std::uint64_t fileSize(const tstring& path);

// Sets a variable of this process's environment for the life of the object.
class ScopedEnvVariable {
public:
    ScopedEnvVariable(const tstring& name, const tstring& value);
    ~ScopedEnvVariable();
    ScopedEnvVariable(const ScopedEnvVariable&) = delete;
    ScopedEnvVariable& operator=(const ScopedEnvVariable&) = delete;

private:
    tstring name;
    std::optional<tstring> oldValue;
};

}  // namespace bench
