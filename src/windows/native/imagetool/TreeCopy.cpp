// Copies directory trees for a new image, counting files and bytes, showing
// progress on a console and stopping early when the user interrupts.
#include "TreeCopy.h"

#include <windows.h>

#include <atomic>

#include "FileUtils.h"
#include "OwnedResource.h"
#include "ToolError.h"
#include "ToolPaths.h"

namespace imagetool {

namespace {

std::atomic<BOOL> interrupted{FALSE};

BOOL WINAPI onInterrupt(DWORD ctrlType) {
    if (ctrlType == CTRL_C_EVENT || ctrlType == CTRL_BREAK_EVENT) {
        interrupted = TRUE;
        return TRUE;
    }
    return FALSE;
}

// The entries of one directory, without "." and "..". Links are symbolic
// links, junctions, mount points and every other reparse point: what they
// name is not part of the tree.
struct DirEntries {
    tstring_array files;
    tstring_array dirs;
    tstring_array fileLinks;
    tstring_array dirLinks;
};

tstring_array& listFor(DirEntries& entries, DWORD attributes) {
    const bool dir = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        return dir ? entries.dirLinks : entries.fileLinks;
    }
    return dir ? entries.dirs : entries.files;
}

DirEntries listDirectory(const tstring& dir) {
    DirEntries entries;
    WIN32_FIND_DATAW found;
    const OwnedFindHandle search(::FindFirstFileW(FileUtils::combinePath(dir, L"*").c_str(), &found));
    if (!search) {
        FAIL_LAST_ERROR(L"Cannot list \"" + dir + L"\"");
    }
    do {
        const tstring name = found.cFileName;
        if (name == L"." || name == L"..") {
            continue;
        }
        listFor(entries, found.dwFileAttributes).push_back(name);
    } while (::FindNextFileW(search.get(), &found));
    if (::GetLastError() != ERROR_NO_MORE_FILES) {
        FAIL_LAST_ERROR(L"Cannot list \"" + dir + L"\"");
    }
    return entries;
}

void makeDirectory(const tstring& path) {
    if (!::CreateDirectoryW(path.c_str(), nullptr)) {
        FAIL_LAST_ERROR(L"Cannot create the directory \"" + path + L"\"");
    }
}

std::uint64_t fileSize(const tstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) {
        return 0;
    }
    return (std::uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
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

void removeEntries(const tstring& dir) {
    try {
        const DirEntries entries = listDirectory(dir);
        for (const tstring_array* names : {&entries.files, &entries.fileLinks, &entries.dirLinks, &entries.dirs}) {
            for (const tstring& name : *names) {
                removeTree(FileUtils::combinePath(dir, name));
            }
        }
    } catch (const ToolError&) {
        // What cannot be listed cannot be removed either.
    }
}

}  // namespace

void stopCopiesOnInterrupt() { ::SetConsoleCtrlHandler(onInterrupt, TRUE); }

void failIfInterrupted() {
    if (interrupted) {
        fail(L"Interrupted");
    }
}

void TreeCopier::copyTree(const tstring& from, const tstring& to) {
    const DirEntries entries = listDirectory(from);
    for (const tstring_array* links : {&entries.dirLinks, &entries.fileLinks}) {
        if (!links->empty()) {
            fail(L"\"" + FileUtils::combinePath(from, links->front()) +
                 L"\" is a link; kivo-image copies no links: put what it names in its place");
        }
    }
    makeDirectory(to);
    for (const tstring& name : entries.files) {
        copyFile(FileUtils::combinePath(from, name), FileUtils::combinePath(to, name));
    }
    for (const tstring& name : entries.dirs) {
        copyTree(FileUtils::combinePath(from, name), FileUtils::combinePath(to, name));
    }
}

void TreeCopier::copyFile(const tstring& from, const tstring& to) {
    failIfInterrupted();
    BOOL cancel = FALSE;
    if (!::CopyFileExW(from.c_str(), to.c_str(), nullptr, nullptr, &cancel, COPY_FILE_FAIL_IF_EXISTS)) {
        FAIL_LAST_ERROR(L"Cannot copy \"" + from + L"\" to \"" + to + L"\"");
    }
    ++counted.files;
    counted.bytes += fileSize(to);
    progress.update(counted.files, counted.bytes);
}

void TreeCopier::replaceFile(const tstring& from, const tstring& to) {
    if (isFile(to)) {
        counted.bytes -= fileSize(to);
        --counted.files;
        removeTree(to);
    }
    copyFile(from, to);
}

void writeWholeFile(const tstring& path, const std::string& bytes, FileCreation creation, const tstring& shownPath) {
    const DWORD disposition = creation == FileCreation::newFile ? CREATE_NEW : TRUNCATE_EXISTING;
    const OwnedFileHandle file(
        ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        FAIL_LAST_ERROR(L"Cannot write \"" + shownPath + L"\"");
    }
    std::size_t done = 0;
    while (done < bytes.size()) {
        DWORD count = 0;
        if (!::WriteFile(file.get(), bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &count, nullptr)) {
            FAIL_LAST_ERROR(L"Cannot write \"" + shownPath + L"\"");
        }
        if (count == 0) {
            failSystem(L"Cannot write \"" + shownPath + L"\"", ERROR_DISK_FULL);
        }
        done += count;
    }
}

void makeDirectories(const tstring& path) {
    if (isDirectory(path)) {
        return;
    }
    const tstring parent = FileUtils::parentDir(path);
    if (!parent.empty() && parent != path && !isDirectory(parent)) {
        makeDirectories(parent);
    }
    makeDirectory(path);
}

void removeTree(const tstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return;
    }
    ::SetFileAttributesW(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        ::DeleteFileW(path.c_str());
        return;
    }
    // A directory link goes as a link; what it names stays untouched.
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        removeLink(path);
        return;
    }
    removeEntries(path);
    ::RemoveDirectoryW(path.c_str());
}

}  // namespace imagetool
