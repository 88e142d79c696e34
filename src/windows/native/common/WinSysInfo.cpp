// Module paths, command line, environment variables and the system directory
// of the launcher's own process.
#include "WinSysInfo.h"

#include <optional>
#include <vector>

#include "FileUtils.h"
#include "SysInfo.h"
#include "WinErrorHandling.h"

namespace SysInfo {

namespace {

tstring getModulePath(HMODULE module) {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD length = ::GetModuleFileNameW(module, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) {
            RAISE_LAST_ERROR(tstrings::Builder() << "GetModuleFileName failed", ::GetModuleFileNameW);
        }
        if (length < buffer.size()) {
            return tstring(buffer.data(), length);
        }
        buffer.resize(buffer.size() * 2);
    }
}

// One read into `buffer`; gives the answer and the last error, which the
// caller raises only after a second read or the "not set" check.
DWORD queryEnvVariable(const tstring& name, std::vector<wchar_t>& buffer, DWORD& err) {
    ::SetLastError(ERROR_SUCCESS);
    const DWORD size = ::GetEnvironmentVariableW(name.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
    err = ::GetLastError();
    return size;
}

// Reads a variable; nothing when it is not set or cannot be read, or an
// error instead when `mustExist` is true.
std::optional<tstring> getEnvVariableImpl(const tstring& name, bool mustExist) {
    std::vector<wchar_t> buffer(10);
    DWORD err = ERROR_SUCCESS;
    DWORD size = queryEnvVariable(name, buffer, err);
    const char* failure = nullptr;
    if (err == ERROR_ENVVAR_NOT_FOUND) {
        failure = ") failed. Variable not set";
    } else if (size > buffer.size()) {
        buffer.resize(size);
        size = queryEnvVariable(name, buffer, err);
        if (err != ERROR_SUCCESS || size >= buffer.size()) {
            failure = ") failed";
        }
    }
    if (!failure) {
        return tstring(buffer.data());
    }
    if (mustExist) {
        RAISE(SysError(tstrings::Builder() << "GetEnvironmentVariable(" << name << failure, ::GetEnvironmentVariableW,
                       err));
    }
    return std::nullopt;
}

tstring getSystemDirImpl(UINT (WINAPI *query)(LPWSTR, UINT), const char* label) {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (int attempt = 0; attempt < 2; ++attempt) {
        const UINT answer = query(buffer.data(), static_cast<UINT>(buffer.size()));
        if (answer == 0) {
            RAISE_LAST_ERROR(tstrings::Builder() << label << " failed", query);
        }
        if (answer < buffer.size()) {
            return FileUtils::stripTrailingSeparators(tstring(buffer.data()));
        }
        buffer.resize(answer + 1);
    }
    RAISE(tstrings::Builder() << "Unexpected reply from " << label);
}

}  // namespace

HMODULE getCurrentModuleHandle() {
    HMODULE module = nullptr;
    const DWORD flags = GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT;
    if (!::GetModuleHandleExW(flags, reinterpret_cast<LPCWSTR>(&getCurrentModuleHandle), &module)) {
        RAISE_LAST_ERROR(tstrings::Builder() << "GetModuleHandleExW failed", ::GetModuleHandleExW);
    }
    return module;
}

tstring getExecutablePath() { return FileUtils::toAbsolutePath(getModulePath(nullptr)); }

tstring getThisModulePath() { return getModulePath(getCurrentModuleHandle()); }

tstring_array getCommandArgs(CommandArgProgramNameMode mode) {
    tstring_array args = splitCommandLine(::GetCommandLineW());
    if (mode == ExcludeProgramName) {
        args.erase(args.begin());
    }
    return args;
}

tstring getEnvVariable(const tstring& name) { return *getEnvVariableImpl(name, true); }

tstring getEnvVariable(const tstring& name, const tstring& defValue) {
    return getEnvVariableImpl(name, false).value_or(defValue);
}

void setEnvVariable(const tstring& name, const tstring& value) {
    if (!::SetEnvironmentVariableW(name.c_str(), value.c_str())) {
        RAISE_LAST_ERROR(tstrings::Builder() << "SetEnvironmentVariable(" << name << ", " << value << ") failed",
                         ::SetEnvironmentVariableW);
    }
}

tstring getSystemDir() { return getSystemDirImpl(::GetSystemDirectoryW, "GetSystemDirectory"); }

}  // namespace SysInfo
