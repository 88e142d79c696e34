// Copies directory trees for a new image, counting files and bytes, showing
// progress on a console and stopping early when the user interrupts.
#pragma once

#include <cstdint>
#include <string>

#include "ToolConsole.h"
#include "ToolFiles.h"
#include "tstrings.h"

namespace imagetool {

struct CopyTotals {
    std::uint64_t files = 0;
    std::uint64_t bytes = 0;
};

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

// Creates `path` and the directories above it that are missing.
void makeDirectories(const tstring& path);

// A hidden name beside `path` for this run's work on it, such as
// ".App.kivo-image-1234" for purpose "kivo-image".
tstring scratchBeside(const tstring& path, const wchar_t* purpose);

// A file or directory that is removed with everything in it at the end of
// the scope unless it was kept.
class ScratchDir {
public:
    explicit ScratchDir(const tstring& path) : dir(path) {}
    ~ScratchDir() {
        if (!kept) {
            removeTree(dir);
        }
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const tstring& path() const { return dir; }
    void keep() { kept = true; }

private:
    tstring dir;
    bool kept = false;
};

}  // namespace imagetool
