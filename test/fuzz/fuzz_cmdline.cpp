// Command lines from arbitrary bytes: splitting any text, and the round trip
// of a program path and arguments through quoting and splitting.
#include <cstdint>
#include <string>

#include "CommandLine.h"
#include "FuzzSupport.h"

using fuzz::check;

namespace {

bool isSurrogate(unsigned value) { return value >= 0xD800 && value <= 0xDFFF; }

// The first byte picks how the rest becomes text: pairs of bytes as UTF-16
// values without the surrogates, or the bytes as UTF-8.
tstring wideTextFrom(const std::string& bytes) {
    if (bytes.empty()) {
        return tstring();
    }
    if (bytes[0] & 1) {
        return tstrings::fromUtf8(bytes.substr(1));
    }
    tstring text;
    for (std::size_t i = 1; i + 1 < bytes.size(); i += 2) {
        const unsigned value =
            static_cast<unsigned char>(bytes[i]) | static_cast<unsigned>(static_cast<unsigned char>(bytes[i + 1])) << 8;
        if (!isSurrogate(value)) {
            text.push_back(static_cast<wchar_t>(value));
        }
    }
    return text;
}

void checkSplitOfAnyText(const tstring& text) {
    const tstring_array args = CommandLine::split(text);
    check(text.empty() == args.empty(), "an empty line gives no element, any other line at least one");
    if (!text.empty() && text[0] != L'"') {
        check(args[0] == text.substr(0, text.find_first_of(L" \t")), "unquoted program name not up to a blank");
    }
    for (std::size_t i = 1; i < args.size(); ++i) {
        check(args[i].size() <= text.size(), "argument longer than the line");
    }
}

// NUL separates the pieces, each byte widens to one character, and the
// first piece is the program path, which may hold no quotation mark.
bool piecesFrom(const std::string& bytes, tstring& program, tstring_array& args) {
    tstring_array pieces(1);
    for (char c : bytes) {
        if (c == '\0') {
            pieces.emplace_back();
        } else {
            pieces.back().push_back(static_cast<wchar_t>(static_cast<unsigned char>(c)));
        }
    }
    program = pieces[0];
    args.assign(pieces.begin() + 1, pieces.end());
    return !program.empty() && program.find(L'"') == tstring::npos;
}

void checkRoundTrip(const std::string& bytes) {
    tstring program;
    tstring_array args;
    if (!piecesFrom(bytes, program, args)) {
        return;
    }
    tstring line = CommandLine::quoteProgramPath(program);
    for (const tstring& arg : args) {
        line += L" " + CommandLine::quoteArgument(arg);
    }
    tstring_array expected{program};
    expected.insert(expected.end(), args.begin(), args.end());
    if (CommandLine::split(line) != expected) {
        fuzz::fail("split does not give back the quoted line: " + tstrings::toUtf8(line));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    try {
        checkSplitOfAnyText(wideTextFrom(bytes));
        checkRoundTrip(bytes);
    } catch (const std::exception& e) {
        fuzz::fail(std::string("unexpected exception: ") + e.what());
    }
    return 0;
}
