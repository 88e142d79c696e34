// Splitting and quoting of process command lines with the rules of the
// system's own splitter (CommandLineToArgvW).
#include "CommandLine.h"

namespace CommandLine {

namespace {

bool isBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

// Reads command-line text from a position on; the text ends at its NUL.
class CommandLineReader {
public:
    explicit CommandLineReader(const tstring& text) : text(text), pos(0) {}

    bool atEnd() const { return pos >= text.size(); }

    // The program name knows no escapes: in quotation marks it runs to the
    // next one (or the end), and the next argument may follow at once;
    // otherwise it runs to the first blank or tab.
    tstring programName() {
        const bool quoted = text[pos] == L'"';
        pos += quoted ? 1 : 0;
        const std::size_t end = quoted ? text.find(L'"', pos) : text.find_first_of(L" \t", pos);
        const std::size_t stop = end == tstring::npos ? text.size() : end;
        tstring name = text.substr(pos, stop - pos);
        pos = quoted && end != tstring::npos ? stop + 1 : stop;
        return name;
    }

    void skipBlanks() {
        while (!atEnd() && isBlank(text[pos])) {
            ++pos;
        }
    }

    // One argument from a position that is not a blank: blanks and tabs end
    // it outside quotation marks. A run of n backslashes followed by a
    // quotation mark gives n/2 backslashes, and the mark is a literal one
    // for odd n; other backslashes stay as they are. Inside quotation marks
    // a doubled mark gives one literal mark and ends the quoted part.
    tstring argument() {
        tstring arg;
        bool quoted = false;
        while (!atEnd() && (quoted || !isBlank(text[pos]))) {
            const std::size_t backslashes = skipBackslashes();
            if (atEnd() || text[pos] != L'"') {
                arg.append(backslashes, L'\\');
                if (backslashes == 0) {
                    arg.push_back(text[pos++]);
                }
                continue;
            }
            arg.append(backslashes / 2, L'\\');
            ++pos;
            if (backslashes % 2 == 1) {
                arg.push_back(L'"');
            } else if (!quoted) {
                quoted = true;
            } else if (!atEnd() && text[pos] == L'"') {
                arg.push_back(L'"');
                quoted = false;
                ++pos;
            } else {
                quoted = false;
            }
        }
        return arg;
    }

private:
    // Moves past a run of backslashes; gives its length.
    std::size_t skipBackslashes() {
        const std::size_t start = pos;
        while (!atEnd() && text[pos] == L'\\') {
            ++pos;
        }
        return pos - start;
    }

    const tstring& text;
    std::size_t pos;
};

}  // namespace

tstring_array split(const tstring& commandLine) {
    if (commandLine.empty()) {
        return {};
    }
    CommandLineReader reader(commandLine);
    tstring_array args{reader.programName()};
    for (reader.skipBlanks(); !reader.atEnd(); reader.skipBlanks()) {
        args.push_back(reader.argument());
    }
    return args;
}

// The program path is split off by the child without backslash escapes, and
// a file name cannot hold a quotation mark: quoting is all it ever needs.
tstring quoteProgramPath(const tstring& path) {
    if (path.find_first_of(L" \t") == tstring::npos) {
        return path;
    }
    return L'"' + path + L'"';
}

// Quotes one argument so that CommandLineToArgvW splits it back unchanged.
// Inside quotation marks, backslashes are literal except in front of a
// quotation mark, where each pair stands for one backslash: so a run of n
// backslashes before a quotation mark becomes 2n + 1 backslashes and the
// mark, a run at the end (before the closing mark) becomes 2n, and any other
// run stays as it is.
tstring quoteArgument(const tstring& arg) {
    if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == tstring::npos) {
        return arg;
    }
    tstring quoted(1, L'"');
    for (auto it = arg.begin();; ++it) {
        size_t backslashes = 0;
        while (it != arg.end() && *it == L'\\') {
            ++it;
            ++backslashes;
        }
        if (it == arg.end()) {
            quoted.append(backslashes * 2, L'\\');
            break;
        }
        if (*it == L'"') {
            quoted.append(backslashes * 2 + 1, L'\\');
        } else {
            quoted.append(backslashes, L'\\');
        }
        quoted.push_back(*it);
    }
    quoted.push_back(L'"');
    return quoted;
}

}  // namespace CommandLine
