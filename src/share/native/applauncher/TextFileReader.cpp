// Reads a text file line by line the way the C runtime's text mode presents it.
#include "TextFileReader.h"

#include <share.h>

#include <cstring>

#include "ErrorHandling.h"

namespace {

const std::size_t chunkSize = 64 * 1024;

}  // namespace

TextFileReader::TextFileReader(const tstring& path) : chunk(chunkSize) {
    file.reset(::_wfsopen(path.c_str(), L"rt", _SH_DENYNO));
    if (!file) {
        lastErrorText = crtErrorText();
    }
}

bool TextFileReader::fillChunk() {
    if (atEnd || readError || !file) {
        return false;
    }
    // Text mode does the CR LF and Ctrl+Z work, also across calls.
    const std::size_t count = std::fread(chunk.data(), 1, chunk.size(), file.get());
    if (count < chunk.size()) {
        if (std::ferror(file.get())) {
            lastErrorText = crtErrorText();
            readError = true;
        } else {
            atEnd = true;
        }
    }
    chunkPos = 0;
    chunkEnd = count;
    return count > 0;
}

bool TextFileReader::readLine(std::string& line) {
    line.clear();
    bool gotBytes = false;
    while (true) {
        if (chunkPos == chunkEnd && !fillChunk()) {
            // A read error drops the partial line, as a failed stream read would.
            return gotBytes && !readError;
        }
        const char* begin = chunk.data() + chunkPos;
        const std::size_t available = chunkEnd - chunkPos;
        const void* newline = std::memchr(begin, '\n', available);
        if (newline) {
            const std::size_t length = static_cast<const char*>(newline) - begin;
            line.append(begin, length);
            chunkPos += length + 1;
            return true;
        }
        line.append(begin, available);
        chunkPos = chunkEnd;
        gotBytes = true;
    }
}
