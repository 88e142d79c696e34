// What the fuzz targets share.
#include "FuzzSupport.h"

#include <stdlib.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include "Log.h"

namespace fuzz {

namespace {

class ScratchDir {
public:
    ScratchDir() {
        const char* const tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/kivo-fuzz-XXXXXX";
        if (!::mkdtemp(&pattern[0])) {
            std::perror("mkdtemp");
            std::abort();
        }
        path = pattern;
    }

    ~ScratchDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }

    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    std::string path;
};

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

// The writer's order of the sections and properties is the containers' own,
// which the parser rebuilds whatever order the lines come in.
void appendProperties(std::string& text, const CfgProperties& properties) {
    for (const auto& [property, values] : properties) {
        const std::string name = tstrings::toUtf8(property.name());
        for (const tstring& value : values) {
            text += name + "=" + tstrings::toUtf8(value) + "\n";
        }
    }
}

bool inRange(unsigned char c, unsigned char low, unsigned char high) { return c >= low && c <= high; }

// The length of the sequence that `lead` starts and the range of its second
// byte, as the table of well-formed UTF-8 gives them; 0 for a byte that
// starts none.
int sequenceAt(unsigned char lead, unsigned char& secondLow, unsigned char& secondHigh) {
    secondLow = 0x80;
    secondHigh = 0xBF;
    if (lead <= 0x7F) {
        return 1;
    }
    if (inRange(lead, 0xC2, 0xDF)) {
        return 2;
    }
    if (inRange(lead, 0xE0, 0xEF)) {
        secondLow = lead == 0xE0 ? 0xA0 : 0x80;
        secondHigh = lead == 0xED ? 0x9F : 0xBF;
        return 3;
    }
    if (inRange(lead, 0xF0, 0xF4)) {
        secondLow = lead == 0xF0 ? 0x90 : 0x80;
        secondHigh = lead == 0xF4 ? 0x8F : 0xBF;
        return 4;
    }
    return 0;
}

}  // namespace

const std::string& scratchDir() {
    static const ScratchDir dir;
    return dir.path;
}

tstring writeScratchFile(const std::string& name, const std::uint8_t* data, std::size_t size) {
    const std::filesystem::path path = std::filesystem::path(scratchDir()) / name;
    std::filesystem::create_directories(path.parent_path());
    // Truncating a file that holds data makes ext4 write it out on close,
    // which would cost more than the whole run of a target; a new file
    // stays in memory.
    std::filesystem::remove(path);
    const std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "wb"));
    if (!file || (size != 0 && std::fwrite(data, 1, size, file.get()) != size)) {
        fail("cannot write " + path.string());
    }
    return tstrings::fromUtf8(path.string());
}

void silenceLog() {
    static NopLogAppender nowhere;
    LogDispatcher::instance().installAppender(nowhere);
}

void fail(const std::string& what) {
    std::fprintf(stderr, "invariant broken: %s\n", what.c_str());
    std::fflush(stderr);
    std::abort();
}

std::string cfgText(const CfgFile::Sections& sections) {
    std::string text;
    for (const auto& [section, properties] : sections) {
        text += "[" + tstrings::toUtf8(section.name()) + "]\n";
        appendProperties(text, properties);
    }
    return text;
}

bool writableAsCfgText(const CfgFile::Sections& sections) {
    for (const auto& section : sections) {
        for (const auto& property : section.second) {
            for (const tstring& value : property.second) {
                if (!value.empty() && value.back() == L'\r') {
                    return false;
                }
            }
        }
    }
    return true;
}

std::vector<std::string> textModeLines(const std::string& bytes) {
    const std::string input = bytes.substr(0, bytes.find('\x1A'));
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end = input.find('\n'); end != std::string::npos; end = input.find('\n', start)) {
        const bool crBeforeLf = end > start && input[end - 1] == '\r';
        lines.push_back(input.substr(start, end - start - (crBeforeLf ? 1 : 0)));
        start = end + 1;
    }
    if (start < input.size()) {
        lines.push_back(input.substr(start));
    }
    return lines;
}

bool isValidUtf8(const std::string& bytes) {
    for (std::size_t pos = 0; pos < bytes.size();) {
        unsigned char secondLow;
        unsigned char secondHigh;
        const int length = sequenceAt(static_cast<unsigned char>(bytes[pos]), secondLow, secondHigh);
        if (length == 0 || bytes.size() - pos < static_cast<std::size_t>(length)) {
            return false;
        }
        for (int i = 1; i < length; ++i) {
            const unsigned char next = static_cast<unsigned char>(bytes[pos + i]);
            if (!(i == 1 ? inRange(next, secondLow, secondHigh) : inRange(next, 0x80, 0xBF))) {
                return false;
            }
        }
        pos += static_cast<std::size_t>(length);
    }
    return true;
}

}  // namespace fuzz
