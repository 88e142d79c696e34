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

// The entries of one directory, without "." and "..".
struct DirEntries {
    tstring_array files;
    tstring_array dirs;
};

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
        (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY ? entries.dirs : entries.files).push_back(name);
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

}  // namespace

void stopCopiesOnInterrupt() { ::SetConsoleCtrlHandler(onInterrupt, TRUE); }

void failIfInterrupted() {
    if (interrupted) {
        fail(L"Interrupted");
    }
}

void TreeCopier::copyTree(const tstring& from, const tstring& to) {
    const DirEntries entries = listDirectory(from);
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
    if (!isDirectory(path)) {
        ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        ::DeleteFileW(path.c_str());
        return;
    }
    try {
        const DirEntries entries = listDirectory(path);
        for (const tstring& name : entries.files) {
            removeTree(FileUtils::combinePath(path, name));
        }
        for (const tstring& name : entries.dirs) {
            removeTree(FileUtils::combinePath(path, name));
        }
    } catch (const ToolError&) {
        // What cannot be listed cannot be removed either.
    }
    ::RemoveDirectoryW(path.c_str());
}

}  // namespace imagetool
