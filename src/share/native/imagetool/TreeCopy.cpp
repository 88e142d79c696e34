// Copies directory trees for a new image, counting files and bytes, showing
// progress on a console and stopping early when the user interrupts.
#include "TreeCopy.h"

#include "FileUtils.h"
#include "ToolError.h"
#include "ToolPaths.h"

namespace imagetool {

void failIfInterrupted() {
    if (interruptRequested()) {
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
    counted.bytes += copyNewFile(from, to);
    ++counted.files;
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

void removeTree(const tstring& path) {
    switch (prepareRemoval(path)) {
        case RemovalKind::nothing:
            return;
        case RemovalKind::leaf:
            removeLeaf(path);
            return;
        case RemovalKind::directory:
            break;
    }
    DirEntries entries;
    try {
        entries = listDirectory(path);
    } catch (const ToolError&) {
        return;  // what cannot be listed cannot be removed either
    }
    for (const tstring_array* names : {&entries.files, &entries.fileLinks, &entries.dirLinks, &entries.dirs}) {
        for (const tstring& name : *names) {
            removeTree(FileUtils::combinePath(path, name));
        }
    }
    removeEmptyDirectory(path);
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

tstring scratchBeside(const tstring& path, const wchar_t* purpose) {
    return FileUtils::combinePath(FileUtils::parentDir(path), L"." + FileUtils::fileName(path) + L"." + purpose + L"-" +
                                                                   std::to_wstring(currentProcessId()));
}

}  // namespace imagetool
