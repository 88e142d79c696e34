// Temporary directories, whole-file reads and writes, environment variables
// and the other small helpers of the tests, on Windows.
#include "TestSupport.h"

#include <shellapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <stdexcept>

#include "SupportDetail.h"

namespace testing_support {

namespace detail {

void fail(const char* call, const tstring& subject, DWORD error) {
    throw std::runtime_error(std::string(call) + "(" + tstrings::toUtf8(subject) + ") failed with error " +
                             std::to_string(error));
}

}  // namespace detail

using detail::fail;

namespace {

bool isSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

tstring withoutTrailingSeparators(tstring path) {
    while (!path.empty() && isSeparator(path.back())) {
        path.pop_back();
    }
    return path;
}

tstring parentOf(const tstring& path) {
    tstring trimmed = withoutTrailingSeparators(path);
    size_t pos = trimmed.find_last_of(L"\\/");
    return pos == tstring::npos ? tstring() : withoutTrailingSeparators(trimmed.substr(0, pos));
}

bool isDirectory(const tstring& path) {
    DWORD attrs = ::GetFileAttributesW(path.c_str());
    return attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_DIRECTORY);
}

// Environment variable names compare without regard to case, and the block

}  // namespace

tstring testBinDir() {
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        DWORD length = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) {
            fail("GetModuleFileNameW", L"", ::GetLastError());
        }
        if (length < buffer.size()) {
            buffer.resize(length);
            return parentOf(buffer);
        }
        buffer.resize(buffer.size() * 2);
    }
}

TempDir::TempDir(const tstring& nameHint) {
    static std::atomic<unsigned> counter{0};
    wchar_t temp[MAX_PATH + 1];
    DWORD length = ::GetTempPathW(MAX_PATH + 1, temp);
    if (length == 0 || length > MAX_PATH) {
        fail("GetTempPathW", L"", ::GetLastError());
    }
    tstring base = withoutTrailingSeparators(tstring(temp, length)) + L"\\" + nameHint + L"-" +
                   std::to_wstring(::GetCurrentProcessId()) + L"-";
    for (;;) {
        tstring candidate = base + std::to_wstring(++counter);
        if (::CreateDirectoryW(candidate.c_str(), nullptr)) {
            dir = candidate;
            return;
        }
        DWORD error = ::GetLastError();
        if (error != ERROR_ALREADY_EXISTS) {
            fail("CreateDirectoryW", candidate, error);
        }
    }
}

TempDir::~TempDir() {
    try {
        removeTree(dir);
    } catch (const std::exception&) {
        // A file still in use stays behind in %TEMP%; the test's outcome
        // does not depend on it.
    }
}

bool runningUnderWine() {
    const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    return ntdll && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

tstring_array splitWithCommandLineToArgvW(const tstring& commandLine) {
    int count = 0;
    const OwnedLocal<wchar_t*> argv(::CommandLineToArgvW(commandLine.c_str(), &count));
    if (!argv) {
        ADD_FAILURE() << "CommandLineToArgvW failed with error " << ::GetLastError();
        return {};
    }
    return tstring_array(argv.get(), argv.get() + count);
}

void writeFile(const tstring& path, const std::string& bytes) {
    OwnedFileHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        fail("CreateFileW", path, ::GetLastError());
    }
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1 << 20));
        DWORD written = 0;
        if (!::WriteFile(file.get(), bytes.data() + done, chunk, &written, nullptr)) {
            fail("WriteFile", path, ::GetLastError());
        }
        done += written;
    }
}

std::string readFile(const tstring& path) {
    OwnedFileHandle file(::CreateFileW(path.c_str(), GENERIC_READ,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        fail("CreateFileW", path, ::GetLastError());
    }
    std::string bytes;
    char buffer[64 * 1024];
    for (;;) {
        DWORD count = 0;
        if (!::ReadFile(file.get(), buffer, sizeof(buffer), &count, nullptr)) {
            fail("ReadFile", path, ::GetLastError());
        }
        if (count == 0) {
            return bytes;
        }
        bytes.append(buffer, count);
    }
}

void makeDirs(const tstring& path) {
    tstring dir = withoutTrailingSeparators(path);
    if (dir.empty() || isDirectory(dir)) {
        return;
    }
    tstring parent = parentOf(dir);
    // Stops at a drive ("C:") or a share root, which cannot be created.
    if (!parent.empty() && parent.back() != L':') {
        makeDirs(parent);
    }
    if (!::CreateDirectoryW(dir.c_str(), nullptr)) {
        DWORD error = ::GetLastError();
        if (error != ERROR_ALREADY_EXISTS) {
            fail("CreateDirectoryW", dir, error);
        }
    }
}

void copyFile(const tstring& from, const tstring& to) {
    if (!::CopyFileW(from.c_str(), to.c_str(), FALSE)) {
        fail("CopyFileW", from + L" -> " + to, ::GetLastError());
    }
}

void removeTree(const tstring& path) {
    DWORD attrs = ::GetFileAttributesW(path.c_str());
    if (attrs == INVALID_FILE_ATTRIBUTES) {
        return;
    }
    ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!(attrs & FILE_ATTRIBUTE_DIRECTORY)) {
        if (!::DeleteFileW(path.c_str())) {
            fail("DeleteFileW", path, ::GetLastError());
        }
        return;
    }
    // A directory link is removed itself, never followed.
    if (!(attrs & FILE_ATTRIBUTE_REPARSE_POINT)) {
        WIN32_FIND_DATAW entry;
        OwnedFindHandle found(::FindFirstFileW((path + L"\\*").c_str(), &entry));
        if (found) {
            tstring_array children;
            do {
                tstring name = entry.cFileName;
                if (name != L"." && name != L"..") {
                    children.push_back(path + L"\\" + name);
                }
            } while (::FindNextFileW(found.get(), &entry));
            found.reset();
            for (const tstring& child : children) {
                removeTree(child);
            }
        }
    }
    if (!::RemoveDirectoryW(path.c_str())) {
        fail("RemoveDirectoryW", path, ::GetLastError());
    }
}

void copyTree(const tstring& from, const tstring& to) {
    makeDirs(to);
    WIN32_FIND_DATAW entry;
    const tstring pattern = from + L"\\*";
    const OwnedFindHandle found(::FindFirstFileW(pattern.c_str(), &entry));
    if (!found) {
        fail("FindFirstFileW", pattern, ::GetLastError());
    }
    tstring_array files;
    tstring_array dirs;
    do {
        const tstring entryName = entry.cFileName;
        if (entryName == L"." || entryName == L"..") {
            continue;
        }
        (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY ? dirs : files).push_back(entryName);
    } while (::FindNextFileW(found.get(), &entry));

    for (const tstring& file : files) {
        copyFile(from + L"\\" + file, to + L"\\" + file);
    }
    for (const tstring& dir : dirs) {
        copyTree(from + L"\\" + dir, to + L"\\" + dir);
    }
}

bool pathExists(const tstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::vector<std::string> listNames(const tstring& dir) {
    std::vector<std::string> names;
    WIN32_FIND_DATAW entry;
    const OwnedFindHandle found(::FindFirstFileW((dir + L"\\*").c_str(), &entry));
    if (!found) {
        return names;
    }
    do {
        const tstring name = entry.cFileName;
        if (name != L"." && name != L"..") {
            names.push_back(tstrings::toUtf8(name));
        }
    } while (::FindNextFileW(found.get(), &entry));
    std::sort(names.begin(), names.end());
    return names;
}

namespace {

// The Unix path of a path under Wine, through Wine's own kernel32 export.
std::string unixPathOf(const tstring& path) {
    typedef char* (*UnixFileName)(const wchar_t*);
    const auto toUnix = reinterpret_cast<UnixFileName>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    char* const unix = toUnix ? toUnix(path.c_str()) : nullptr;
    const std::string result = unix ? unix : "";
    ::HeapFree(::GetProcessHeap(), 0, unix);
    return result;
}

}  // namespace

// Windows makes the link itself; Wine's CreateSymbolicLinkW makes nothing,
// so there the link is made by the system's ln, which Wine starts like any
// program.
bool makeDirectoryLink(const tstring& link, const tstring& target) {
    if (::CreateSymbolicLinkW(link.c_str(), target.c_str(),
                              SYMBOLIC_LINK_FLAG_DIRECTORY | SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE) &&
        pathExists(link)) {
        return true;
    }
    if (!runningUnderWine()) {
        return false;
    }
    tstring commandLine = L"Z:\\bin\\ln -s \"" + tstrings::fromUtf8(unixPathOf(target)) + L"\" \"" +
                          tstrings::fromUtf8(unixPathOf(link)) + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    if (!::CreateProcessW(L"Z:\\bin\\ln", commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          &info)) {
        return false;
    }
    // A Unix program's handles say nothing of its end: the link appearing does.
    const OwnedHandle thread(info.hThread);
    const OwnedHandle process(info.hProcess);
    for (int i = 0; i < 500 && !pathExists(link); ++i) {
        ::Sleep(10);
    }
    return pathExists(link);
}

void setEnvVariable(const tstring& name, const std::optional<tstring>& value) {
    if (!::SetEnvironmentVariableW(name.c_str(), value ? value->c_str() : nullptr)) {
        fail("SetEnvironmentVariableW", name, ::GetLastError());
    }
}

std::optional<tstring> envVariable(const tstring& name) {
    std::vector<wchar_t> buffer(32768);
    ::SetLastError(ERROR_SUCCESS);
    const DWORD length = ::GetEnvironmentVariableW(name.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0 && ::GetLastError() == ERROR_ENVVAR_NOT_FOUND) {
        return std::nullopt;
    }
    return tstring(buffer.data(), length < buffer.size() ? length : 0);
}

}  // namespace testing_support
