// Reads a text file line by line the way the C runtime's text mode presents it.
#include "TextFileReader.h"

#include <algorithm>
#include <cstring>

#include "ErrorHandling.h"
#include "FileUtils.h"

namespace {

const std::size_t chunkSize = 64 * 1024;
const char kEndOfText = '\x1A';

}  // namespace

TextFileReader::TextFileReader(const tstring& path) : chunk(chunkSize) {
    file.reset(FileUtils::openForReading(path));
    if (!file) {
        lastErrorText = crtErrorText();
    }
}

bool TextFileReader::fillChunk() {
    // A read that gives nothing but a held CR has nothing to hand out yet.
    do {
        if (atEnd || readError || !file) {
            return false;
        }
        const std::size_t start = heldCarriageReturn ? 1 : 0;
        if (heldCarriageReturn) {
            chunk[0] = '\r';
        }
        const std::size_t count = std::fread(chunk.data() + start, 1, chunk.size() - start, file.get());
        if (count < chunk.size() - start) {
            if (std::ferror(file.get())) {
                lastErrorText = crtErrorText();
                readError = true;
            } else {
                atEnd = true;
            }
        }
        heldCarriageReturn = false;
        translateChunk(start + count);
    } while (chunkEnd == 0);
    return true;
}

void TextFileReader::translateChunk(std::size_t count) {
    const std::size_t stop = std::find(chunk.begin(), chunk.begin() + count, kEndOfText) - chunk.begin();
    if (stop < count) {
        atEnd = true;
    }
    std::size_t out = 0;
    for (std::size_t in = 0; in < stop; ++in) {
        if (chunk[in] == '\r') {
            if (in + 1 < stop && chunk[in + 1] == '\n') {
                continue;
            }
            if (in + 1 == count && !atEnd) {
                heldCarriageReturn = true;
                break;
            }
        }
        chunk[out++] = chunk[in];
    }
    chunkPos = 0;
    chunkEnd = out;
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
