// The bench driver's file and environment helpers, on the Win32 calls.
#include "Files.h"

#include <windows.h>

#include "FileUtils.h"
#include "OwnedResource.h"
#include "SysInfo.h"
#include "WinErrorHandling.h"

namespace bench {

namespace {

void removeTree(const tstring& dir) {
    WIN32_FIND_DATAW entry;
    const OwnedFindHandle find(::FindFirstFileW((dir + L"\\*").c_str(), &entry));
    for (bool more = bool(find); more; more = ::FindNextFileW(find.get(), &entry)) {
        const tstring name = entry.cFileName;
        const tstring path = dir + L"\\" + name;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (name != L"." && name != L"..") {
                removeTree(path);
            }
        } else {
            ::DeleteFileW(path.c_str());
        }
    }
    ::RemoveDirectoryW(dir.c_str());
}

OwnedFileHandle openFile(const tstring& path, DWORD access, DWORD disposition) {
    OwnedFileHandle file(::CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                       nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        RAISE_LAST_ERROR(tstrings::Builder() << "CreateFileW(" << path << ") failed", ::CreateFileW);
    }
    return file;
}

}  // namespace

TempDir::TempDir() {
    wchar_t temp[MAX_PATH + 1];
    const DWORD length = ::GetTempPathW(MAX_PATH + 1, temp);
    dir = FileUtils::combinePath(tstring(temp, length), L"kivo-bench-" + std::to_wstring(::GetCurrentProcessId()));
    removeTree(dir);
    makeDirs(dir);
}

TempDir::~TempDir() { removeTree(dir); }

void makeDirs(const tstring& path) {
    if (FileUtils::exists(path)) {
        return;
    }
    makeDirs(FileUtils::parentDir(path));
    if (!::CreateDirectoryW(path.c_str(), nullptr)) {
        RAISE_LAST_ERROR(tstrings::Builder() << "CreateDirectoryW(" << path << ") failed", ::CreateDirectoryW);
    }
}

void copyFile(const tstring& from, const tstring& to) {
    if (!::CopyFileW(from.c_str(), to.c_str(), FALSE)) {
        RAISE_LAST_ERROR(tstrings::Builder() << "CopyFileW(" << from << ", " << to << ") failed", ::CopyFileW);
    }
}

void writeFile(const tstring& path, const std::string& bytes) {
    const OwnedFileHandle file = openFile(path, GENERIC_WRITE, CREATE_ALWAYS);
    DWORD written = 0;
    if (!::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
        written != bytes.size()) {
        RAISE_LAST_ERROR(tstrings::Builder() << "WriteFile(" << path << ") failed", ::WriteFile);
    }
}

std::string readFile(const tstring& path) {
    const OwnedFileHandle file = openFile(path, GENERIC_READ, OPEN_EXISTING);
    std::string bytes;
    char buffer[4096];
    DWORD got = 0;
    while (::ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr) && got > 0) {
        bytes.append(buffer, got);
    }
    return bytes;
}

void deleteFileIfPresent(const tstring& path) {
    if (!::DeleteFileW(path.c_str()) && ::GetLastError() != ERROR_FILE_NOT_FOUND) {
        RAISE_LAST_ERROR(tstrings::Builder() << "DeleteFileW(" << path << ") failed", ::DeleteFileW);
    }
}

std::uint64_t fileSize(const tstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) {
        RAISE_LAST_ERROR(tstrings::Builder() << "GetFileAttributesExW(" << path << ") failed", ::GetFileAttributesExW);
    }
    return (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

ScopedEnvVariable::ScopedEnvVariable(const tstring& name, const tstring& value) : name(name) {
    const tstring unset = L"\n";
    const tstring old = SysInfo::getEnvVariable(name, unset);
    if (old != unset) {
        oldValue = old;
    }
    SysInfo::setEnvVariable(name, value);
}

ScopedEnvVariable::~ScopedEnvVariable() {
    ::SetEnvironmentVariableW(name.c_str(), oldValue ? oldValue->c_str() : nullptr);
}

}  // namespace bench
