// Test child: runs the payload named by its first argument through
// app::launch and exits with the result, so that the launch wrapper is seen
// from outside as a user sees it.
//   ok             returns normally
//   traced         traces its own scope and a message, then raises an error
//   kivo-error     raises a positioned error
//   runtime-error  sets errno to ENOENT and throws a plain std::runtime_error
//   bad-alloc      throws std::bad_alloc
//   non-exception  throws an int
//   sys-error      raises the error of a failed LoadLibraryW of the missing
//                  kivo-missing.dll beside this program
//   args           writes SysInfo::getCommandArgs(), each followed by a NUL
// Without app::launch:
//   default-log    writes one TRACE record to the logger's default appender
#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <new>
#include <stdexcept>

#include "ErrorHandling.h"
#include "FileUtils.h"
#include "Log.h"
#include "SysInfo.h"
#include "app.h"

namespace {

void ok() {}

void traced() {
    TRACE_SCOPE();
    TRACE_MSG("Payload " << 1 << " running");
    RAISE("Traced payload failed");
}

void kivoError() { RAISE(tstrings::Builder() << "Payload failed: " << L"no runtime"); }

void runtimeError() {
    errno = ENOENT;
    throw std::runtime_error("text that must not be shown");
}

void badAlloc() { throw std::bad_alloc(); }

void nonException() { throw 42; }

void sysError() {
    const tstring path = FileUtils::combinePath(FileUtils::parentDir(SysInfo::getExecutablePath()), L"kivo-missing.dll");
    HMODULE module = ::LoadLibraryW(path.c_str());
    const DWORD error = ::GetLastError();
    if (!module) {
        RAISE(SysError(tstrings::Builder() << "LoadLibraryW(" << path << ") failed", ::LoadLibraryW, error));
    }
}

void printArgs() {
    for (const tstring& arg : SysInfo::getCommandArgs()) {
        const std::string bytes = tstrings::toUtf8(arg);
        std::fwrite(bytes.c_str(), 1, bytes.size() + 1, stdout);
    }
    std::fflush(stdout);
}

struct Payload {
    const wchar_t* name;
    app::LaunchFunc func;
};

const Payload payloads[] = {
    {L"ok", ok},
    {L"traced", traced},
    {L"kivo-error", kivoError},
    {L"runtime-error", runtimeError},
    {L"bad-alloc", badAlloc},
    {L"non-exception", nonException},
    {L"sys-error", sysError},
    {L"args", printArgs},
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        return 99;
    }
    if (std::wcscmp(argv[1], L"default-log") == 0) {
        TRACE_MSG("Record for the default appender");
        return 0;
    }
    for (const Payload& payload : payloads) {
        if (std::wcscmp(argv[1], payload.name) == 0) {
            return app::launch(std::nothrow, payload.func);
        }
    }
    return 99;
}
