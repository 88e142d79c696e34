// The file system operations of the image tool that each platform layer
// provides. Links (symbolic links, junctions, mount points and every other
// reparse point) are never followed by any of them.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "tstrings.h"

namespace imagetool {

// The entries of one directory, without "." and "..". What a link names is
// not part of the tree, so links are listed apart.
struct DirEntries {
    tstring_array files;
    tstring_array dirs;
    tstring_array fileLinks;
    tstring_array dirLinks;
};

// Fails (exit code 1) when the directory cannot be listed.
DirEntries listDirectory(const tstring& dir);

void makeDirectory(const tstring& path);

// Copies one file to a path where nothing exists yet; gives its size.
std::uint64_t copyNewFile(const tstring& from, const tstring& to);

// Copies `from` over the file at `to`, or to a new file there.
void copyOverFile(const tstring& from, const tstring& to);

// The size of a file, or 0 when it cannot be read.
std::uint64_t fileSize(const tstring& path);

enum class FileCreation { newFile, existingFile };

// Writes `bytes` as the whole content of a new file, or of one that exists,
// at `path`; a failure names `shownPath`.
void writeWholeFile(const tstring& path, const std::string& bytes, FileCreation creation, const tstring& shownPath);

// The whole content of a file of at most `maxSize` bytes. Failures read
// "Cannot open <subject>: ..." and "Cannot read <subject>: ..."; a larger
// file fails with `tooLarge`.
std::string readWholeFile(const tstring& path, const tstring& subject, std::uint64_t maxSize,
                          const tstring& tooLarge);

// Removes a file or a directory tree, read-only files included. A link is
// removed as a link and never followed. Best effort: what cannot be removed
// stays.
void removeTree(const tstring& path);

// What removeTree finds at a path. A link is a leaf, whatever it names.
enum class RemovalKind { nothing, leaf, directory };
// Looks at `path` and makes it removable (clears read-only, opens a
// directory for emptying).
RemovalKind prepareRemoval(const tstring& path);
void removeLeaf(const tstring& path);
void removeEmptyDirectory(const tstring& path);

// Renames a file or directory; `to` must not exist. Fails with `what`, ": "
// and the system's reason.
void moveEntry(const tstring& from, const tstring& to, const tstring& what);
// The same for undoing a step, where a failure can no longer be reported.
bool moveEntryBack(const tstring& from, const tstring& to);

// Puts the file `replacement` in the place of `target` in one step.
void replaceFileWith(const tstring& replacement, const tstring& target, const tstring& what);

// This process's id, which keeps the names of its scratch files apart from
// those of other runs.
std::uint32_t currentProcessId();

// Ctrl+C, Ctrl+Break, SIGINT and SIGTERM (as the platform has them) set a
// flag instead of ending the process, so that what was written can be
// removed. Installed for the process's lifetime by the first call.
void stopOnInterrupt();
bool interruptRequested();

// A read-only view of a whole file.
class FileView {
public:
    // Fails with "Cannot open "<path>": ..." or "Cannot read ...".
    explicit FileView(const tstring& path);
    ~FileView();
    FileView(const FileView&) = delete;
    FileView& operator=(const FileView&) = delete;

    std::string_view bytes() const;

private:
    struct Mapping;
    std::unique_ptr<Mapping> mapping;
};

}  // namespace imagetool
