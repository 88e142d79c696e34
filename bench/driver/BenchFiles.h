// File, directory and environment helpers of the bench driver: the tests'
// support library, plus the few the bench alone needs. Each failure is
// raised as a std::runtime_error that names the call, the path and the error
// code.
#pragma once

#include <cstdint>
#include <string>

#include "TestSupport.h"
#include "tstrings.h"

namespace bench {

using testing_support::copyFile;
using testing_support::makeDirs;
using testing_support::readFile;
using testing_support::removeTree;
using testing_support::TempDir;
using testing_support::writeFile;

[[noreturn]] void raiseSystemError(const char* call, const tstring& path, unsigned long errorCode);

// The directory that holds the running executable.
inline tstring executableDir() { return testing_support::testBinDir(); }

void deleteFileIfPresent(const tstring& path);
std::uint64_t fileSize(const tstring& path);

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
