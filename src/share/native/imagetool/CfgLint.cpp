// Finds what is legal in a launcher configuration file but almost always a
// mistake: things the launcher silently ignores.
#include "CfgLint.h"

#include <optional>

#include "CfgFile.h"
#include "TextFileReader.h"

namespace imagetool {

namespace {

const wchar_t* const macroNames[] = {L"$APPDIR", L"$BINDIR", L"$ROOTDIR"};

tstring trimBlanks(const tstring& text) {
    const std::size_t first = text.find_first_not_of(L" \t");
    if (first == tstring::npos) {
        return tstring();
    }
    return text.substr(first, text.find_last_not_of(L" \t") - first + 1);
}

// The known name that `name` would be without its case and surrounding
// blanks, when it is not that name exactly.
template <class Id, std::size_t N>
std::optional<tstring> nearMiss(const tstring& name, const Id* const (&known)[N]) {
    const tstring folded = tstrings::toLower(trimBlanks(name));
    for (const Id* candidate : known) {
        if (name != candidate->name() && folded == tstrings::toLower(candidate->name())) {
            return tstring(candidate->name());
        }
    }
    return std::nullopt;
}

class Linter {
public:
    void lintLine(std::size_t number, const std::string& raw) {
        const tstring line = tstrings::fromUtf8(raw);
        if (line.empty() && !raw.empty()) {
            warn(number, L"the line is not valid UTF-8, so the launcher skips it");
            return;
        }
        if (number == 1 && !line.empty() && line[0] == 0xFEFF) {
            warn(number, L"the file starts with a byte-order mark, which the launcher reads as part of the first "
                         L"line; save the file as UTF-8 without a byte-order mark");
        }
        if (line.empty() || line[0] == L';') {
            return;
        }
        if (line[0] == L'[') {
            lintHeader(number, line);
        } else {
            lintProperty(number, line);
        }
    }

    std::vector<CfgWarning> result;

private:
    void warn(std::size_t number, const tstring& text) { result.push_back({number, text}); }

    void lintHeader(std::size_t number, const tstring& line) {
        const std::size_t close = line.rfind(L']');
        if (close == tstring::npos) {
            return;
        }
        const tstring name = line.substr(1, close - 1);
        inKnownSection = CfgSectionId::byName(name).has_value();
        seenKnownSection = seenKnownSection || inKnownSection;
        const auto known = nearMiss(name, CfgSectionId::known);
        if (!inKnownSection && known) {
            warn(number, L"section [" + name + L"] is not [" + *known +
                             L"]: section names are exact, so the launcher ignores its properties");
            // That says it all about the properties that follow.
            reportedOutside = true;
        }
    }

    void lintProperty(std::size_t number, const tstring& line) {
        const std::size_t separator = cfgPropertySeparator(line);
        const tstring name = line.substr(0, separator);
        if (!inKnownSection) {
            if (!seenKnownSection && !reportedOutside) {
                warn(number, L"properties before the first known section are ignored by the launcher");
                reportedOutside = true;
            }
            return;
        }
        if (!CfgPropertyId::byName(name)) {
            if (const auto known = nearMiss(name, CfgPropertyId::known)) {
                warn(number, L"property \"" + name + L"\" is not \"" + *known +
                                 L"\": property names are exact, without blanks, so the launcher ignores it");
            }
            return;
        }
        if (separator != tstring::npos) {
            lintMacros(number, line.substr(separator + 1));
        }
    }

    void lintMacros(std::size_t number, const tstring& value) {
        const tstring folded = tstrings::toLower(value);
        for (const wchar_t* macro : macroNames) {
            const tstring foldedMacro = tstrings::toLower(macro);
            for (std::size_t at = folded.find(foldedMacro); at != tstring::npos;
                 at = folded.find(foldedMacro, at + 1)) {
                const tstring written = value.substr(at, foldedMacro.size());
                if (written != macro) {
                    warn(number, L"\"" + written + L"\" is not expanded: the macro is \"" + macro +
                                     L"\", in capital letters");
                }
            }
        }
    }

    bool inKnownSection = false;
    bool seenKnownSection = false;
    bool reportedOutside = false;
};

}  // namespace

std::vector<CfgWarning> lintCfgFile(const tstring& path) {
    TextFileReader reader(path);
    Linter linter;
    if (!reader.isOpen()) {
        return linter.result;
    }
    std::string raw;
    std::size_t number = 0;
    while (reader.readLine(raw)) {
        linter.lintLine(++number, raw);
    }
    return linter.result;
}

}  // namespace imagetool
