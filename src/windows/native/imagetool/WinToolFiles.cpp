// The image tool's file system operations on Windows. Links are reparse
// points: they are listed apart and removed through a handle to the link.
#include <windows.h>

#include <atomic>

#include "FileUtils.h"
#include "OwnedResource.h"
#include "ToolFiles.h"
#include "ToolPaths.h"
#include "WinToolError.h"

namespace imagetool {

namespace {

std::atomic<bool> interrupted{false};

BOOL WINAPI onInterrupt(DWORD ctrlType) {
    if (ctrlType == CTRL_C_EVENT || ctrlType == CTRL_BREAK_EVENT) {
        interrupted = true;
        return TRUE;
    }
    return FALSE;
}

DWORD attributes(const tstring& path) { return ::GetFileAttributesW(path.c_str()); }

tstring_array& listFor(DirEntries& entries, DWORD attributes) {
    const bool dir = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        return dir ? entries.dirLinks : entries.fileLinks;
    }
    return dir ? entries.dirs : entries.files;
}

// Deletes a link itself through a handle to the link. RemoveDirectoryW is
// no way to do it: Wine follows the link of a Unix symbolic link and removes
// the directory it names when that is empty.
void removeLink(const tstring& path) {
    const OwnedFileHandle link(::CreateFileW(path.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                             nullptr, OPEN_EXISTING,
                                             FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (link) {
        FILE_DISPOSITION_INFO disposition = {TRUE};
        ::SetFileInformationByHandle(link.get(), FileDispositionInfo, &disposition, sizeof(disposition));
    }
}

OwnedFileHandle openForReading(const tstring& path, const tstring& subject) {
    OwnedFileHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        FAIL_LAST_ERROR(L"Cannot open " + subject);
    }
    return file;
}

std::uint64_t sizeOf(const OwnedFileHandle& file, const tstring& subject) {
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.get(), &size)) {
        FAIL_LAST_ERROR(L"Cannot read " + subject);
    }
    return static_cast<std::uint64_t>(size.QuadPart);
}

}  // namespace

bool isDirectory(const tstring& path) {
    const DWORD attrs = attributes(path);
    return attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_DIRECTORY);
}

bool isFile(const tstring& path) {
    const DWORD attrs = attributes(path);
    return attrs != INVALID_FILE_ATTRIBUTES && !(attrs & FILE_ATTRIBUTE_DIRECTORY);
}

DirEntries listDirectory(const tstring& dir) {
    DirEntries entries;
    WIN32_FIND_DATAW found;
    const OwnedFindHandle search(::FindFirstFileW(FileUtils::combinePath(dir, L"*").c_str(), &found));
    if (!search) {
        FAIL_LAST_ERROR(L"Cannot list " + quoted(dir));
    }
    do {
        const tstring name = found.cFileName;
        if (name != L"." && name != L"..") {
            listFor(entries, found.dwFileAttributes).push_back(name);
        }
    } while (::FindNextFileW(search.get(), &found));
    if (::GetLastError() != ERROR_NO_MORE_FILES) {
        FAIL_LAST_ERROR(L"Cannot list " + quoted(dir));
    }
    return entries;
}

void makeDirectory(const tstring& path) {
    if (!::CreateDirectoryW(path.c_str(), nullptr)) {
        FAIL_LAST_ERROR(L"Cannot create the directory " + quoted(path));
    }
}

std::uint64_t copyNewFile(const tstring& from, const tstring& to) {
    BOOL cancel = FALSE;
    if (!::CopyFileExW(from.c_str(), to.c_str(), nullptr, nullptr, &cancel, COPY_FILE_FAIL_IF_EXISTS)) {
        FAIL_LAST_ERROR(L"Cannot copy " + quoted(from) + L" to " + quoted(to));
    }
    return fileSize(to);
}

void copyOverFile(const tstring& from, const tstring& to) {
    if (!::CopyFileW(from.c_str(), to.c_str(), FALSE)) {
        FAIL_LAST_ERROR(L"Cannot copy " + quoted(from) + L" to " + quoted(to));
    }
}

std::uint64_t fileSize(const tstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) {
        return 0;
    }
    return (std::uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
}

void writeWholeFile(const tstring& path, const std::string& bytes, FileCreation creation, const tstring& shownPath) {
    const DWORD disposition = creation == FileCreation::newFile ? CREATE_NEW : TRUNCATE_EXISTING;
    const OwnedFileHandle file(
        ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        FAIL_LAST_ERROR(L"Cannot write " + quoted(shownPath));
    }
    std::size_t done = 0;
    while (done < bytes.size()) {
        DWORD count = 0;
        if (!::WriteFile(file.get(), bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &count, nullptr)) {
            FAIL_LAST_ERROR(L"Cannot write " + quoted(shownPath));
        }
        if (count == 0) {
            failSystem(L"Cannot write " + quoted(shownPath), ERROR_DISK_FULL);
        }
        done += count;
    }
}

std::string readWholeFile(const tstring& path, const tstring& subject, std::uint64_t maxSize,
                          const tstring& tooLarge) {
    const OwnedFileHandle file = openForReading(path, subject);
    const std::uint64_t size = sizeOf(file, subject);
    if (size > maxSize) {
        fail(tooLarge);
    }
    std::string bytes(static_cast<std::size_t>(size), '\0');
    std::size_t done = 0;
    while (done < bytes.size()) {
        DWORD count = 0;
        if (!::ReadFile(file.get(), &bytes[done], static_cast<DWORD>(bytes.size() - done), &count, nullptr)) {
            FAIL_LAST_ERROR(L"Cannot read " + subject);
        }
        if (count == 0) {
            fail(L"Cannot read " + subject + L": it became shorter while it was read");
        }
        done += count;
    }
    return bytes;
}

RemovalKind prepareRemoval(const tstring& path) {
    const DWORD attrs = attributes(path);
    if (attrs == INVALID_FILE_ATTRIBUTES) {
        return RemovalKind::nothing;
    }
    ::SetFileAttributesW(path.c_str(), attrs & ~FILE_ATTRIBUTE_READONLY);
    const bool plainDirectory = (attrs & FILE_ATTRIBUTE_DIRECTORY) && !(attrs & FILE_ATTRIBUTE_REPARSE_POINT);
    return plainDirectory ? RemovalKind::directory : RemovalKind::leaf;
}

// A directory link goes as a link; what it names stays untouched.
void removeLeaf(const tstring& path) {
    if (isDirectory(path)) {
        removeLink(path);
    } else {
        ::DeleteFileW(path.c_str());
    }
}

void removeEmptyDirectory(const tstring& path) { ::RemoveDirectoryW(path.c_str()); }

void moveEntry(const tstring& from, const tstring& to, const tstring& what) {
    if (!::MoveFileExW(from.c_str(), to.c_str(), 0)) {
        FAIL_LAST_ERROR(what);
    }
}

bool moveEntryBack(const tstring& from, const tstring& to) { return ::MoveFileExW(from.c_str(), to.c_str(), 0); }

void replaceFileWith(const tstring& replacement, const tstring& target, const tstring& what) {
    if (!::MoveFileExW(replacement.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        FAIL_LAST_ERROR(what);
    }
}

std::uint32_t currentProcessId() { return ::GetCurrentProcessId(); }

void stopOnInterrupt() { ::SetConsoleCtrlHandler(onInterrupt, TRUE); }

bool interruptRequested() { return interrupted; }

struct FileView::Mapping {
    OwnedFileHandle file;
    OwnedHandle section;
    OwnedMappedView view;
    std::size_t size = 0;
};

FileView::FileView(const tstring& path) : mapping(std::make_unique<Mapping>()) {
    const tstring subject = quoted(path);
    mapping->file = openForReading(path, subject);
    const std::uint64_t size = sizeOf(mapping->file, subject);
    if (size == 0) {
        return;
    }
    if (size > SIZE_MAX) {
        fail(L"Cannot read " + subject + L": it is too large");
    }
    mapping->size = static_cast<std::size_t>(size);
    mapping->section.reset(::CreateFileMappingW(mapping->file.get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
    if (!mapping->section) {
        FAIL_LAST_ERROR(L"Cannot read " + subject);
    }
    mapping->view.reset(::MapViewOfFile(mapping->section.get(), FILE_MAP_READ, 0, 0, 0));
    if (!mapping->view) {
        FAIL_LAST_ERROR(L"Cannot read " + subject);
    }
}

FileView::~FileView() = default;

std::string_view FileView::bytes() const {
    if (mapping->size == 0) {
        return std::string_view();
    }
    return std::string_view(static_cast<const char*>(mapping->view.get()), mapping->size);
}

}  // namespace imagetool
