// What the fuzz targets share: a private scratch directory, a quiet log,
// the abort that reports a broken invariant, a configuration file writer
// and an independent UTF-8 check.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "CfgFile.h"
#include "tstrings.h"

namespace fuzz {

// The directory this process writes its inputs to, created on first use and
// removed with everything in it when the process exits normally.
const std::string& scratchDir();

// Writes the bytes to `name` under the scratch directory, creating the
// subdirectories that `name` names; gives the file's path.
tstring writeScratchFile(const std::string& name, const std::uint8_t* data, std::size_t size);

// Sends log records nowhere, so that tracing costs no output.
void silenceLog();

// Reports a broken invariant on standard error and aborts.
[[noreturn]] void fail(const std::string& what);

// The message is a literal so that a check that holds costs nothing more;
// messages that need building go to fail() behind their own test.
inline void check(bool holds, const char* what) {
    if (!holds) {
        fail(what);
    }
}

// The text of a configuration file that holds `sections`: one header per
// section, one "name=value" line per value, in order, in UTF-8 with LF.
std::string cfgText(const CfgFile::Sections& sections);

// False when a value cannot be written as a line of its own: a CR at its end
// would join the LF after it and read back as a plain line end.
bool writableAsCfgText(const CfgFile::Sections& sections);

// The lines the C runtime's text mode gives for `bytes`: Ctrl+Z ends the
// input, CR LF reads as LF, a last line without LF still counts.
std::vector<std::string> textModeLines(const std::string& bytes);

// The text reader takes its input in chunks of this many bytes.
constexpr std::size_t readerChunkSize = 64 * 1024;

// Reading a whole chunk costs a hundred times a short input under the
// fuzzer's instrumentation, so only inputs whose size is a multiple of 16
// are also read from just before the chunk boundary.
inline bool alsoAcrossChunkBoundary(const std::string& input) { return !input.empty() && input.size() % 16 == 0; }

// How many bytes to put before the input so that its byte at `selector` % 16
// is the last one of the reader's first chunk.
inline std::size_t chunkBoundaryPadding(unsigned char selector) { return readerChunkSize - 1 - selector % 16; }

// Whether `bytes` is well-formed UTF-8 (no overlong form, no surrogate,
// nothing above U+10FFFF), checked against the table of valid byte ranges.
bool isValidUtf8(const std::string& bytes);

}  // namespace fuzz
