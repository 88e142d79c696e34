// The image tool's output: whole lines on standard output and standard
// error, and progress that shows only on a console.
#pragma once

#include <chrono>
#include <cstdint>

#include "tstrings.h"

namespace imagetool {

// Writes `text` and the system's line end: as UTF-16 on a Windows console,
// as UTF-8 otherwise. Output that cannot be written (a closed pipe) is
// dropped: there is no one left to tell.
void writeOut(const tstring& text);
void writeErr(const tstring& text);
// Writes `text` to standard output as it is, for a line that rewrites itself.
void writeOutPart(const tstring& text);

// True when standard output is a console rather than a file or a pipe.
bool outputIsConsole();

// "12.3 MB", "512 bytes": a size as a person reads it.
tstring formatBytes(std::uint64_t bytes);

// A progress line that rewrites itself on the console at most ten times a
// second and shows nothing when the output is redirected.
class Progress {
public:
    explicit Progress(const tstring& title);
    ~Progress();
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    void update(std::uint64_t files, std::uint64_t bytes);
    // Clears the progress line.
    void finish();

private:
    tstring title;
    bool visible;
    bool shown = false;
    std::chrono::steady_clock::time_point lastShown;
    std::size_t lastLength = 0;
};

}  // namespace imagetool
