// Copies directory trees for a new image, counting files and bytes, showing
// progress on a console and stopping early when the user interrupts.
#pragma once

#include <cstdint>
#include <string>

#include "ToolConsole.h"
#include "tstrings.h"

namespace imagetool {

struct CopyTotals {
    std::uint64_t files = 0;
    std::uint64_t bytes = 0;
};

// Ctrl+C and Ctrl+Break stop the copy between two files instead of ending
// the process, so that what was written can be removed. Installed for the
// process's lifetime by the first call.
void stopCopiesOnInterrupt();

// Fails (exit code 1) when the user asked to stop.
void failIfInterrupted();

class TreeCopier {
public:
    explicit TreeCopier(const tstring& title) : progress(title) {}

    // Copies `from` and everything below it to `to`, which must not exist.
    // Fails on a link (symbolic link, junction or other reparse point).
    void copyTree(const tstring& from, const tstring& to);
    // Copies one file to a path where nothing exists yet.
    void copyFile(const tstring& from, const tstring& to);
    // Copies one file over whatever file is at `to`, counting it once.
    void replaceFile(const tstring& from, const tstring& to);

    const CopyTotals& totals() const { return counted; }
    void finish() { progress.finish(); }

private:
    Progress progress;
    CopyTotals counted;
};

enum class FileCreation { newFile, existingFile };

// Writes `bytes` as the whole content of a new file, or of one that exists,
// at `path`; a failure names `shownPath`.
void writeWholeFile(const tstring& path, const std::string& bytes, FileCreation creation, const tstring& shownPath);

// Creates `path` and the directories above it that are missing.
void makeDirectories(const tstring& path);

// Removes a directory tree, read-only files included. A link inside it is
// removed as a link and never followed. Best effort: what cannot be removed
// stays.
void removeTree(const tstring& path);

}  // namespace imagetool
