// The package file from arbitrary bytes: its name is the UTF-8 text of the
// first line as the text mode reads it, and empty when that line is not
// valid UTF-8.
#include <algorithm>
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "PackageFile.h"

namespace {

bool isAscii(const std::string& text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// ASCII widens byte by byte.
tstring expectedName(const std::vector<std::string>& lines) {
    if (lines.empty() || !fuzz::isValidUtf8(lines.front())) {
        return tstring();
    }
    const std::string& line = lines.front();
    return isAscii(line) ? tstring(line.begin(), line.end()) : tstrings::fromUtf8(line);
}

void checkPackageFile(const std::string& bytes) {
    const auto* const data = reinterpret_cast<const std::uint8_t*>(bytes.data());
    const tstring file = fuzz::writeScratchFile("image/app/.package", data, bytes.size());
    const tstring appDir = file.substr(0, file.size() - std::wstring(L"/.package").size());
    const tstring name = PackageFile::loadFromAppDir(appDir).packageName();
    if (name != expectedName(fuzz::textModeLines(bytes))) {
        fuzz::fail("package name is [" + tstrings::toUtf8(name) + "]");
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::silenceLog();
    return 0;
}

// Some inputs are also read after a long start of the first line that puts
// them across the reader's first chunk boundary.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    try {
        checkPackageFile(bytes);
        if (fuzz::alsoAcrossChunkBoundary(bytes)) {
            const std::size_t padding = fuzz::chunkBoundaryPadding(static_cast<unsigned char>(bytes[0]));
            checkPackageFile(std::string(padding, 'P') + bytes);
        }
    } catch (const std::exception& e) {
        fuzz::fail(std::string("unexpected exception: ") + e.what());
    }
    return 0;
}
