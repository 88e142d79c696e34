// One launch of the real launcher on hostile input, with the checks that
// every such launch must pass: a time limit, at most one line on standard
// error, an unchanged image tree and no process left running from the image.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "FixtureRecord.h"
#include "LauncherImage.h"
#include "TestSupport.h"

namespace testing_support {

// A launch that takes longer is a hang.
constexpr std::uint32_t kHostileTimeoutMs = 30000;

struct HostileRun {
    ProcessResult result;
    FixtureRecord record;
    // Standard error without its line end; meaningful when there is one line.
    std::string errorLine;
};

// Where an image's launcher and application directory are; images that
// LauncherImage cannot build (paths beyond MAX_PATH) are laid out by hand.
struct ImageLayout {
    tstring root;
    tstring launcher;
    tstring appDir;
};

ImageLayout layoutOf(const LauncherImage& image);

// Runs the image's launcher once on `path` and checks the invariants above;
// a failed invariant is a non-fatal test failure. PATH and KIVO_DEBUG are
// chosen as LauncherImage::run does unless `options` sets them.
HostileRun runHostile(const ImageLayout& image, LaunchPath path, const tstring_array& args = {},
                      ProcessOptions options = {});
HostileRun runHostile(const LauncherImage& image, LaunchPath path, const tstring_array& args = {},
                      ProcessOptions options = {});

// Every file and directory under `root`, with the size of each file, as
// sorted "relative path: size" lines.
std::vector<std::string> snapshotTree(const tstring& root);

// Ids of the running processes whose executable lies under `root`.
std::vector<DWORD> processesRunningFrom(const tstring& root);

// Whether the process that had `pid` and ran an executable under `root` has
// ended; a reused id of an unrelated process counts as ended.
bool hasEnded(DWORD pid, const tstring& root);

// "InProcess" or "Restart", for test names.
std::string launchPathName(LaunchPath path);

// "Error opening \"<path>\" file: " and the C runtime's text for what
// opening `path` for reading in text mode fails with here and now; nothing
// when this process can open it.
std::optional<std::string> expectedOpenError(const tstring& path);

std::string utf8(const tstring& text);

bool startsWith(const std::string& text, const std::string& prefix);
bool endsWith(const std::string& text, const std::string& suffix);

// The system error part of a message: "System error [<code>](system error
// <code> (" with the description left open, as it differs between systems.
std::string systemErrorPrefix(DWORD code);

// Opens a file or directory without any sharing; it stays so while the
// result lives. Throws if it cannot be opened.
OwnedFileHandle openExclusively(const tstring& path);

// Gives a file an empty, protected access list (nobody may read it) and
// restores an inherited one at the end of the scope so it can be removed.
class ScopedNoAccess {
public:
    explicit ScopedNoAccess(const tstring& path);
    ~ScopedNoAccess();
    ScopedNoAccess(const ScopedNoAccess&) = delete;
    ScopedNoAccess& operator=(const ScopedNoAccess&) = delete;

private:
    tstring path;
};

// Makes a directory the current one until the end of the scope, when the
// system accepts it (a directory beyond MAX_PATH needs long paths enabled).
class ScopedCurrentDirectory {
public:
    explicit ScopedCurrentDirectory(const tstring& dir);
    ~ScopedCurrentDirectory();
    ScopedCurrentDirectory(const ScopedCurrentDirectory&) = delete;
    ScopedCurrentDirectory& operator=(const ScopedCurrentDirectory&) = delete;

    bool entered() const { return changed; }

private:
    tstring saved;
    bool changed;
};

// Creates every directory of a path that may be longer than MAX_PATH.
void makeLongDirs(const tstring& path);
// Copies a directory tree to a place that may lie beyond MAX_PATH.
void copyTreeLong(const tstring& from, const tstring& to);
// The same path in the form that file functions accept beyond MAX_PATH.
tstring extendedPath(const tstring& path);

}  // namespace testing_support
