// File and directory helpers of the bench driver.
#include "BenchFiles.h"

#include <windows.h>

#include <algorithm>
#include <stdexcept>
#include <vector>

namespace bench {

namespace {

// Owns a file handle; INVALID_HANDLE_VALUE means none.
class FileHandle {
public:
    explicit FileHandle(HANDLE handle) : handle(handle) {}
    ~FileHandle() {
        if (handle != INVALID_HANDLE_VALUE) {
            ::CloseHandle(handle);
        }
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;

    HANDLE get() const { return handle; }
    explicit operator bool() const { return handle != INVALID_HANDLE_VALUE; }

private:
    HANDLE handle;
};

// Owns a directory search handle.
class FindHandle {
public:
    explicit FindHandle(HANDLE handle) : handle(handle) {}
    ~FindHandle() {
        if (handle != INVALID_HANDLE_VALUE) {
            ::FindClose(handle);
        }
    }
    FindHandle(const FindHandle&) = delete;
    FindHandle& operator=(const FindHandle&) = delete;

    HANDLE get() const { return handle; }
    explicit operator bool() const { return handle != INVALID_HANDLE_VALUE; }

private:
    HANDLE handle;
};

}  // namespace

void raiseSystemError(const char* call, const tstring& path, unsigned long errorCode) {
    throw std::runtime_error((tstrings::Builder() << call << "(" << path << ") failed: system error "
                                                  << static_cast<unsigned>(errorCode))
                                 .utf8());
}

tstring executableDir() {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD length = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        const DWORD err = ::GetLastError();
        if (length == 0) {
            raiseSystemError("GetModuleFileNameW", L"", err);
        }
        if (length < buffer.size()) {
            const tstring path(buffer.data(), length);
            return path.substr(0, path.find_last_of(L'\\'));
        }
        buffer.resize(buffer.size() * 2);
    }
}

TempDir::TempDir(const tstring& nameHint) {
    wchar_t temp[MAX_PATH + 1];
    const DWORD length = ::GetTempPathW(MAX_PATH + 1, temp);
    const DWORD err = ::GetLastError();
    if (length == 0 || length > MAX_PATH) {
        raiseSystemError("GetTempPathW", L"", err);
    }
    const tstring base = tstring(temp, length) + nameHint + L"-" + std::to_wstring(::GetCurrentProcessId());
    for (unsigned attempt = 0;; ++attempt) {
        const tstring candidate = base + L"-" + std::to_wstring(attempt);
        if (::CreateDirectoryW(candidate.c_str(), nullptr)) {
            dir = candidate;
            return;
        }
        const DWORD createErr = ::GetLastError();
        if (createErr != ERROR_ALREADY_EXISTS || attempt > 100) {
            raiseSystemError("CreateDirectoryW", candidate, createErr);
        }
    }
}

TempDir::~TempDir() { removeTree(dir); }

void makeDir(const tstring& path) {
    if (!::CreateDirectoryW(path.c_str(), nullptr)) {
        const DWORD err = ::GetLastError();
        if (err != ERROR_ALREADY_EXISTS) {
            raiseSystemError("CreateDirectoryW", path, err);
        }
    }
}

void makeDirs(const tstring& path) {
    const std::size_t separator = path.find_last_of(L'\\');
    if (separator != tstring::npos && separator > 2) {
        const tstring parent = path.substr(0, separator);
        if (::GetFileAttributesW(parent.c_str()) == INVALID_FILE_ATTRIBUTES) {
            makeDirs(parent);
        }
    }
    makeDir(path);
}

void writeFile(const tstring& path, const std::string& bytes) {
    const FileHandle file(
        ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        const DWORD err = ::GetLastError();
        raiseSystemError("CreateFileW", path, err);
    }
    std::size_t done = 0;
    while (done < bytes.size()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1 << 20));
        DWORD written = 0;
        if (!::WriteFile(file.get(), bytes.data() + done, chunk, &written, nullptr)) {
            const DWORD err = ::GetLastError();
            raiseSystemError("WriteFile", path, err);
        }
        done += written;
    }
}

std::string readFile(const tstring& path) {
    const FileHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        const DWORD err = ::GetLastError();
        raiseSystemError("CreateFileW", path, err);
    }
    std::string bytes;
    char chunk[4096];
    for (;;) {
        DWORD read = 0;
        if (!::ReadFile(file.get(), chunk, sizeof chunk, &read, nullptr)) {
            const DWORD err = ::GetLastError();
            raiseSystemError("ReadFile", path, err);
        }
        if (read == 0) {
            return bytes;
        }
        bytes.append(chunk, read);
    }
}

void copyFile(const tstring& from, const tstring& to) {
    if (!::CopyFileW(from.c_str(), to.c_str(), FALSE)) {
        const DWORD err = ::GetLastError();
        raiseSystemError("CopyFileW", from + L" -> " + to, err);
    }
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

void removeTree(const tstring& path) {
    WIN32_FIND_DATAW entry{};
    const FindHandle search(::FindFirstFileW((path + L"\\*").c_str(), &entry));
    if (search) {
        do {
            const tstring name = entry.cFileName;
            if (name == L"." || name == L"..") {
                continue;
            }
            const tstring child = path + L"\\" + name;
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                removeTree(child);
            } else {
                ::DeleteFileW(child.c_str());
            }
        } while (::FindNextFileW(search.get(), &entry));
    }
    ::RemoveDirectoryW(path.c_str());
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
