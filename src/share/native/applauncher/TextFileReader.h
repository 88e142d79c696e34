// Reads a text file line by line the way the C runtime's text mode presents it.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "tstrings.h"

// The file is opened for reading with no sharing restriction and read as the
// Windows C runtime's text mode presents it, on every system: CR LF reads as
// LF and a Ctrl+Z byte ends the input. Lines are split at LF and handed out
// as raw bytes; a last line without LF is still a line. Reading is linear in
// the file's size, whatever the length of its lines.
class TextFileReader {
public:
    explicit TextFileReader(const tstring& path);

    // False when the file could not be opened; errorText() tells why.
    bool isOpen() const { return file != nullptr; }

    // Stores the next line in `line` and returns true; returns false at the
    // end of the input or when reading failed (see failed()).
    bool readLine(std::string& line);

    // True when reading stopped for another reason than the end of the file.
    bool failed() const { return readError; }

    // The C runtime's description of errno, taken right after the failed
    // open or read.
    const std::string& errorText() const { return lastErrorText; }

private:
    struct FileCloser {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };

    bool fillChunk();
    // Applies the text mode to the bytes just read; a CR at the end of the
    // bytes waits for the next read to know whether LF follows it.
    void translateChunk(std::size_t count);

    std::unique_ptr<std::FILE, FileCloser> file;
    std::vector<char> chunk;
    std::size_t chunkPos = 0;
    std::size_t chunkEnd = 0;
    bool atEnd = false;
    bool heldCarriageReturn = false;
    bool readError = false;
    std::string lastErrorText;
};
