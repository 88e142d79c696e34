// Hostile launches of the real launcher and the checks every one must pass.
#include "HostileLaunch.h"

#include "OwnedResource.h"

#include <aclapi.h>
#include <share.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <stdexcept>
#include <utility>

namespace testing_support {

namespace {

// A process that the launcher left behind gets this long to end by itself.
constexpr DWORD kGraceMs = 5000;

tstring lowerCase(tstring text) {
    std::transform(text.begin(), text.end(), text.begin(), [](wchar_t c) { return static_cast<wchar_t>(::towlower(c)); });
    return text;
}

bool isUnder(const tstring& path, const tstring& root) {
    const tstring prefix = lowerCase(root) + L"\\";
    return lowerCase(path).compare(0, prefix.size(), prefix) == 0;
}

tstring imagePathOf(HANDLE process) {
    std::wstring buffer(32768, L'\0');
    DWORD size = static_cast<DWORD>(buffer.size());
    if (!::QueryFullProcessImageNameW(process, 0, buffer.data(), &size)) {
        return tstring();
    }
    buffer.resize(size);
    return buffer;
}

void collectTree(const tstring& root, const tstring& relative, std::vector<std::string>& entries) {
    WIN32_FIND_DATAW entry;
    const tstring dir = relative.empty() ? root : root + L"\\" + relative;
    const tstring pattern = extendedPath(dir) + L"\\*";
    OwnedFindHandle found(::FindFirstFileW(pattern.c_str(), &entry));
    if (!found) {
        return;
    }
    std::vector<tstring> subdirs;
    do {
        const tstring name = entry.cFileName;
        if (name == L"." || name == L"..") {
            continue;
        }
        const tstring path = relative.empty() ? name : relative + L"\\" + name;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            entries.push_back(utf8(path) + "\\");
            subdirs.push_back(path);
        } else {
            const ULONGLONG size = (static_cast<ULONGLONG>(entry.nFileSizeHigh) << 32) | entry.nFileSizeLow;
            entries.push_back(utf8(path) + ": " + std::to_string(size));
        }
    } while (::FindNextFileW(found.get(), &entry));
    found.reset();
    for (const tstring& subdir : subdirs) {
        collectTree(root, subdir, entries);
    }
}

void expectNothingLeftRunning(const tstring& root) {
    for (DWORD pid : processesRunningFrom(root)) {
        if (hasEnded(pid, root)) {
            continue;
        }
        ADD_FAILURE() << "process " << pid << " from the image is still running";
        OwnedHandle process(::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid));
        if (process) {
            ::TerminateProcess(process.get(), 1);
            ::WaitForSingleObject(process.get(), kGraceMs);
        }
    }
}

}  // namespace

ImageLayout layoutOf(const LauncherImage& image) { return {image.root(), image.launcherPath(), image.appDir()}; }

HostileRun runHostile(const LauncherImage& image, LaunchPath path, const tstring_array& args, ProcessOptions options) {
    return runHostile(layoutOf(image), path, args, std::move(options));
}

HostileRun runHostile(const ImageLayout& image, LaunchPath path, const tstring_array& args, ProcessOptions options) {
    // Inherited by the launcher: a crash ends the process instead of
    // waiting for a user in front of an error box.
    ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    // Images laid out by hand need it as much as LauncherImage's.
    keepDesktopInUse();
    options.timeoutMs = std::min(options.timeoutMs, kHostileTimeoutMs);
    const tstring systemPath = envVariable(L"PATH").value_or(tstring());
    options.env.emplace(L"PATH", path == LaunchPath::InProcess ? systemPath + L";" + image.appDir : systemPath);
    options.env.emplace(L"KIVO_DEBUG", std::nullopt);

    const std::vector<std::string> before = snapshotTree(image.root);
    HostileRun run;
    run.result = runProcess(image.launcher, args, options);
    run.record = parseFixtureRecord(run.result.out);

    EXPECT_FALSE(run.result.timedOut) << "the launcher did not end within " << options.timeoutMs << " ms";
    const std::vector<std::string> errLines = lines(run.result.err);
    EXPECT_LE(errLines.size(), 1u) << "standard error:\n" << run.result.err;
    if (!run.result.err.empty()) {
        EXPECT_EQ(run.result.err.back(), '\n') << "standard error ends within its line";
    }
    run.errorLine = errLines.empty() ? std::string() : errLines.front();
    EXPECT_EQ(snapshotTree(image.root), before) << "the launch changed the image";

    if (run.record.found) {
        EXPECT_TRUE(hasEnded(run.record.pid, image.root)) << "runtime process " << run.record.pid;
        if (path == LaunchPath::Restart) {
            EXPECT_NE(run.record.pid, run.result.pid) << "the runtime ran in the launcher started by the test";
        } else {
            EXPECT_EQ(run.record.pid, run.result.pid) << "the runtime ran in another process";
        }
    }
    expectNothingLeftRunning(image.root);
    return run;
}

std::vector<std::string> snapshotTree(const tstring& root) {
    std::vector<std::string> entries;
    collectTree(root, tstring(), entries);
    std::sort(entries.begin(), entries.end());
    return entries;
}

std::vector<DWORD> processesRunningFrom(const tstring& root) {
    std::vector<DWORD> pids;
    OwnedFileHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) {
        ADD_FAILURE() << "CreateToolhelp32Snapshot failed with error " << ::GetLastError();
        return pids;
    }
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more; more = ::Process32NextW(snapshot.get(), &entry)) {
        OwnedHandle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID));
        if (process && isUnder(imagePathOf(process.get()), root)) {
            pids.push_back(entry.th32ProcessID);
        }
    }
    return pids;
}

bool hasEnded(DWORD pid, const tstring& root) {
    OwnedHandle process(::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
    if (!process || !isUnder(imagePathOf(process.get()), root)) {
        return true;
    }
    return ::WaitForSingleObject(process.get(), kGraceMs) == WAIT_OBJECT_0;
}

std::string launchPathName(LaunchPath path) { return path == LaunchPath::InProcess ? "InProcess" : "Restart"; }

std::optional<std::string> expectedOpenError(const tstring& path) {
    errno = 0;
    const OwnedFile file(::_wfsopen(path.c_str(), L"rt", _SH_DENYNO));
    const int error = errno;
    if (file) {
        return std::nullopt;
    }
    wchar_t text[2048];
    const std::string crtText = ::_wcserror_s(text, std::size(text), error) == 0 ? utf8(text) : std::string();
    return "Error opening \"" + utf8(path) + "\" file: " + crtText;
}

std::string utf8(const tstring& text) { return tstrings::toUtf8(text); }

bool startsWith(const std::string& text, const std::string& prefix) { return text.compare(0, prefix.size(), prefix) == 0; }

bool endsWith(const std::string& text, const std::string& suffix) {
    return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

std::string systemErrorPrefix(DWORD code) {
    return "System error [" + std::to_string(code) + "](system error " + std::to_string(code) + " (";
}

OwnedFileHandle openExclusively(const tstring& path) {
    OwnedFileHandle handle(
        ::CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    const DWORD error = ::GetLastError();
    if (!handle) {
        throw std::runtime_error("CreateFileW(" + utf8(path) + ") failed with error " + std::to_string(error));
    }
    return handle;
}

ScopedNoAccess::ScopedNoAccess(const tstring& path) : path(path) {
    ACL emptyAcl;
    ::InitializeAcl(&emptyAcl, sizeof(emptyAcl), ACL_REVISION);
    const DWORD error = ::SetNamedSecurityInfoW(const_cast<wchar_t*>(path.c_str()), SE_FILE_OBJECT,
                                                DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                                                nullptr, nullptr, &emptyAcl, nullptr);
    if (error != ERROR_SUCCESS) {
        throw std::runtime_error("SetNamedSecurityInfoW(" + utf8(path) + ") failed with error " +
                                 std::to_string(error));
    }
}

ScopedNoAccess::~ScopedNoAccess() {
    // The owner may always change the access list, also without read access;
    // no list at all lets everybody in.
    ::SetNamedSecurityInfoW(const_cast<wchar_t*>(path.c_str()), SE_FILE_OBJECT,
                            DACL_SECURITY_INFORMATION | UNPROTECTED_DACL_SECURITY_INFORMATION, nullptr, nullptr,
                            nullptr, nullptr);
}

ScopedCurrentDirectory::ScopedCurrentDirectory(const tstring& dir) : saved(32768, L'\0'), changed(false) {
    saved.resize(::GetCurrentDirectoryW(static_cast<DWORD>(saved.size()), saved.data()));
    changed = !saved.empty() && ::SetCurrentDirectoryW(dir.c_str());
}

ScopedCurrentDirectory::~ScopedCurrentDirectory() {
    if (changed) {
        ::SetCurrentDirectoryW(saved.c_str());
    }
}

void copyTreeLong(const tstring& from, const tstring& to) {
    makeLongDirs(to);
    WIN32_FIND_DATAW entry;
    const tstring pattern = from + L"\\*";
    OwnedFindHandle found(::FindFirstFileW(pattern.c_str(), &entry));
    if (!found) {
        throw std::runtime_error("FindFirstFileW(" + utf8(pattern) + ") failed");
    }
    std::vector<tstring> subdirs;
    do {
        const tstring name = entry.cFileName;
        if (name == L"." || name == L"..") {
            continue;
        }
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            subdirs.push_back(name);
        } else {
            copyFile(from + L"\\" + name, extendedPath(to + L"\\" + name));
        }
    } while (::FindNextFileW(found.get(), &entry));
    found.reset();
    for (const tstring& subdir : subdirs) {
        copyTreeLong(from + L"\\" + subdir, to + L"\\" + subdir);
    }
}

tstring extendedPath(const tstring& path) {
    return path.compare(0, 4, L"\\\\?\\") == 0 ? path : L"\\\\?\\" + path;
}

void makeLongDirs(const tstring& path) {
    for (std::size_t separator = path.find(L'\\', 3); ; separator = path.find(L'\\', separator + 1)) {
        const tstring dir = extendedPath(separator == tstring::npos ? path : path.substr(0, separator));
        const BOOL created = ::CreateDirectoryW(dir.c_str(), nullptr);
        const DWORD error = ::GetLastError();
        if (!created && error != ERROR_ALREADY_EXISTS) {
            throw std::runtime_error("CreateDirectoryW(" + utf8(dir) + ") failed with error " + std::to_string(error));
        }
        if (separator == tstring::npos) {
            return;
        }
    }
}

}  // namespace testing_support
