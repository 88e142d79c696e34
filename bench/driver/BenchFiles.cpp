// The bench driver's own file and environment helpers.
#include "BenchFiles.h"

#include <windows.h>

#include <vector>

#include "SupportDetail.h"

namespace bench {

void raiseSystemError(const char* call, const tstring& path, unsigned long errorCode) {
    testing_support::detail::fail(call, path, errorCode);
}

void deleteFileIfPresent(const tstring& path) {
    if (!::DeleteFileW(path.c_str())) {
        const DWORD err = ::GetLastError();
        if (err != ERROR_FILE_NOT_FOUND && err != ERROR_PATH_NOT_FOUND) {
            raiseSystemError("DeleteFileW", path, err);
        }
    }
}

std::uint64_t fileSize(const tstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) {
        const DWORD err = ::GetLastError();
        raiseSystemError("GetFileAttributesExW", path, err);
    }
    return (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

ScopedEnvVariable::ScopedEnvVariable(const tstring& name, const tstring& value) : name(name), wasSet(false) {
    const DWORD length = ::GetEnvironmentVariableW(name.c_str(), nullptr, 0);
    if (length > 0) {
        std::vector<wchar_t> buffer(length);
        const DWORD copied = ::GetEnvironmentVariableW(name.c_str(), buffer.data(), length);
        oldValue.assign(buffer.data(), copied);
        wasSet = true;
    }
    if (!::SetEnvironmentVariableW(name.c_str(), value.c_str())) {
        const DWORD err = ::GetLastError();
        raiseSystemError("SetEnvironmentVariableW", name, err);
    }
}

ScopedEnvVariable::~ScopedEnvVariable() {
    ::SetEnvironmentVariableW(name.c_str(), wasSet ? oldValue.c_str() : nullptr);
}

}  // namespace bench
