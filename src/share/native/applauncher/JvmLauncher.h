// The runtime launcher: the Java VM's library, argument vector and
// environment, the flat launch data buffer packed from them, and the start
// of the runtime through its entry point.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "Compiler.h"
#include "tstrings.h"

class CfgFile;

// Opaque handle of the launch data of one Jvm; the table's closeHandle
// releases it.
typedef void* JvmlLauncherHandle;

struct JvmlLauncherHandleCloser {
    void operator()(JvmlLauncherHandle handle) const;
};

typedef std::unique_ptr<void, JvmlLauncherHandleCloser> JvmlLauncherHandlePtr;

class Jvm {
public:
    Jvm();
    ~Jvm();
    Jvm(const Jvm&) = delete;
    Jvm& operator=(const Jvm&) = delete;

    Jvm& setLibraryPath(const tstring& path);
    Jvm& appendArgument(const tstring& value);
    Jvm& addEnvironmentVariable(const tstring& name, const tstring& value);
    // The path given to the runtime as "-Dkivo.app-path="; by default this
    // process's executable.
    Jvm& setAppPath(const tstring& path);

    // Appends the runtime options, the main entry and the application
    // arguments that the configuration gives.
    Jvm& initFromConfigFile(const CfgFile& cfgFile);

    bool hasSplashArgument() const;

    // Sets the environment variables in this process, in the order added.
    void applyEnvironment() const;

    JvmlLauncherHandlePtr makeLaunchData() const;

    // Starts the runtime in this process and returns when its entry point
    // returns; a non-zero result is raised as an error.
    void launch() const;

    const tstring& getLibraryPath() const { return libraryPath; }
    const tstring_array& getRuntimeArgs() const { return runtimeArgs; }
    const tstring_array& getEnvNames() const { return envNames; }
    const tstring_array& getEnvValues() const { return envValues; }

private:
    tstring libraryPath;
    tstring appPath;
    tstring_array runtimeArgs;
    tstring_array envNames;
    tstring_array envValues;
};

// The launch data buffer: this header, then the strings and pointer arrays
// it points at, packed without padding. Every pointer is an absolute address
// inside the same block, so the block is only valid where it was filled.
struct JvmlLauncherData {
    char* libPath;
    std::int32_t argCount;
    std::int32_t envCount;
    char** argVector;
    // Wide text of the platform: UTF-16 code units on Windows.
    wchar_t** envNames;
    wchar_t** envValues;
};

// Measures, fills and releases launch data through plain functions, for
// modules that know nothing of the launcher's classes. No exception leaves
// them.
struct JvmlLauncherApiTable {
    void (*closeHandle)(JvmlLauncherHandle handle);
    // The buffer size in bytes, or -1.
    std::int32_t (*getJvmlLauncherDataSize)(JvmlLauncherHandle handle);
    // Fills `block` and returns it, or null when `blockSize` is too small or
    // filling fails.
    JvmlLauncherData* (*initJvmlLauncherData)(JvmlLauncherHandle handle, void* block, std::int32_t blockSize);
};

// The launcher executable's only export: the address of the table.
KIVO_EXPORT const JvmlLauncherApiTable* jvmLauncherGetAPI();

// Allocates a buffer with malloc and fills it through the table; the caller
// frees it with free. Consumes the handle. Gives null when the data measures
// below one byte, the allocation fails or filling fails.
JvmlLauncherData* makeJvmlLauncherData(const JvmlLauncherApiTable* api, JvmlLauncherHandle handle,
                                       std::int32_t* size);

// Adds `count` items of `itemBytes` bytes each to a launch data size and
// raises an error when the sum does not fit in a signed 32-bit size.
std::int32_t addLaunchDataBytes(std::int32_t size, std::size_t count, std::size_t itemBytes);

struct FreeDeleter {
    void operator()(void* block) const { std::free(block); }
};

typedef std::unique_ptr<JvmlLauncherData, FreeDeleter> JvmlLauncherDataPtr;

// makeJvmlLauncherData as an owned buffer; raises an error instead of
// giving null.
JvmlLauncherDataPtr makeLaunchBuffer(const JvmlLauncherApiTable& api, JvmlLauncherHandle handle);

// The runtime's entry point, QSR_Launch: the argument count and vector,
// then twelve values that the launcher passes the same on every launch (see
// startJvmFromData).
typedef std::int32_t (*QsrLaunchFunc)(std::int32_t argc, char** argv, std::int32_t, char**, std::int32_t, char**,
                                      const char*, const char*, const char*, const char*, unsigned char,
                                      unsigned char, unsigned char, std::int32_t);

// Writes one line to standard error when KIVO_DEBUG is exactly "true".
void printTrace(const char* format, ...);

// Sets the buffer's environment variables and calls the runtime's entry
// point with the buffer's argument vector; returns the entry point's result.
std::int32_t startJvmFromData(const JvmlLauncherData* data, void* entryPoint);
