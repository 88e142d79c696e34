// The launcher configuration file: its recognised sections and properties,
// the parser, and the queries, macro expansion and override on it.
#include "CfgFile.h"

#include <algorithm>
#include <string_view>

#include "ErrorHandling.h"
#include "TextFileReader.h"

const CfgSectionId CfgSectionId::none{L""};
const CfgSectionId CfgSectionId::application{L"Application"};
const CfgSectionId CfgSectionId::javaOptions{L"JavaOptions"};
const CfgSectionId CfgSectionId::appCdsJavaOptions{L"AppCDSJavaOptions"};
const CfgSectionId CfgSectionId::appCdsGenerateCacheJavaOptions{L"AppCDSGenerateCacheJavaOptions"};
const CfgSectionId CfgSectionId::argOptions{L"ArgOptions"};

const CfgPropertyId CfgPropertyId::appVersion{L"app.version"};
const CfgPropertyId CfgPropertyId::appMainJar{L"app.mainjar"};
const CfgPropertyId CfgPropertyId::appMainModule{L"app.mainmodule"};
const CfgPropertyId CfgPropertyId::appMainClass{L"app.mainclass"};
const CfgPropertyId CfgPropertyId::appClassPath{L"app.classpath"};
const CfgPropertyId CfgPropertyId::appModulePath{L"app.modulepath"};
const CfgPropertyId CfgPropertyId::appRuntime{L"app.runtime"};
const CfgPropertyId CfgPropertyId::appSplash{L"app.splash"};
const CfgPropertyId CfgPropertyId::appMemory{L"app.memory"};
const CfgPropertyId CfgPropertyId::arguments{L"arguments"};
const CfgPropertyId CfgPropertyId::javaOptions{L"java-options"};

const CfgSectionId* const CfgSectionId::known[5] = {
    &CfgSectionId::application, &CfgSectionId::javaOptions, &CfgSectionId::appCdsJavaOptions,
    &CfgSectionId::appCdsGenerateCacheJavaOptions, &CfgSectionId::argOptions};

const CfgPropertyId* const CfgPropertyId::known[11] = {
    &CfgPropertyId::appVersion,   &CfgPropertyId::appMainJar,   &CfgPropertyId::appMainModule,
    &CfgPropertyId::appMainClass, &CfgPropertyId::appClassPath, &CfgPropertyId::appModulePath,
    &CfgPropertyId::appRuntime,   &CfgPropertyId::appSplash,    &CfgPropertyId::appMemory,
    &CfgPropertyId::arguments,    &CfgPropertyId::javaOptions};

std::size_t cfgPropertySeparator(std::wstring_view line) {
    std::size_t pos = line.find(L'=');
    while (pos != std::wstring_view::npos && pos > 0 && line[pos - 1] == L'\\') {
        pos = line.find(L'=', pos + 1);
    }
    return pos;
}

namespace {

// The state of one parse: properties gather in `pending` until the next
// section header or the end of the file stores them under their section.
class CfgParser {
public:
    explicit CfgParser(CfgFile::Sections& sections) : sections(sections) {}

    // False for a section header without "]".
    bool parseLine(std::wstring_view line) {
        ++lineCount;
        if (line.empty() || line[0] == L';') {
            return true;
        }
        if (line[0] == L'[') {
            return startSection(line);
        }
        addProperty(line);
        return true;
    }

    void finish() { commitPending(); }

    std::size_t lineNumber() const { return lineCount; }

private:
    bool startSection(std::wstring_view line) {
        const std::size_t close = line.rfind(L']');
        if (close == std::wstring_view::npos) {
            return false;
        }
        commitPending();
        current = CfgSectionId::byName(line.substr(1, close - 1)).value_or(CfgSectionId::none);
        return true;
    }

    void addProperty(std::wstring_view line) {
        if (current == CfgSectionId::none) {
            return;
        }
        const std::size_t separator = cfgPropertySeparator(line);
        const auto property = CfgPropertyId::byName(line.substr(0, separator));
        if (!property) {
            return;
        }
        tstring_array& values = pending[*property];
        if (separator == std::wstring_view::npos) {
            values.emplace_back();
        } else {
            const std::wstring_view value = line.substr(separator + 1);
            values.emplace_back(value.data(), value.size());
        }
    }

    // A header repeated later with properties of its own replaces the earlier
    // group; one without properties leaves it in place.
    void commitPending() {
        if (current == CfgSectionId::none || pending.empty()) {
            return;
        }
        sections[current].swap(pending);
        pending.clear();
        current = CfgSectionId::none;
    }

    CfgFile::Sections& sections;
    CfgSectionId current = CfgSectionId::none;
    CfgProperties pending;
    std::size_t lineCount = 0;
};

// Decodes a line of UTF-8 into `text`, reusing its storage. An ASCII line
// widens byte by byte, which is what the UTF-8 conversion gives for it; any
// other line goes through that conversion.
void decodeLine(const std::string& line, tstring& text) {
    const bool ascii = std::all_of(line.begin(), line.end(), [](char c) {
        return static_cast<unsigned char>(c) < 0x80;
    });
    if (ascii) {
        text.resize(line.size());
        std::copy(line.begin(), line.end(), text.begin());
    } else {
        text = tstrings::fromUtf8(line);
    }
}

}  // namespace

CfgFile CfgFile::load(const tstring& path) {
    TextFileReader reader(path);
    if (!reader.isOpen()) {
        RAISE(tstrings::Builder() << "Error opening \"" << path << "\" file: " << reader.errorText());
    }
    CfgFile cfg;
    CfgParser parser(cfg.sections);
    std::string line;
    tstring text;
    while (reader.readLine(line)) {
        decodeLine(line, text);
        if (!parser.parseLine(text)) {
            RAISE(tstrings::Builder() << "Error parsing [" << path << "] file at " << parser.lineNumber()
                                      << ": Missing ']' character");
        }
    }
    if (reader.failed()) {
        RAISE(tstrings::Builder() << "Failed to read \"" << path << "\" file up to the end: " << reader.errorText());
    }
    parser.finish();
    return cfg;
}

namespace {

// How much expansion may lengthen one value. Real values grow by a few
// directory names. A macro whose text holds its own name n times multiplies
// the length by up to n on every pass, and a long path can hold thousands of
// names, so without this limit memory would run out before the pass limit
// is reached.
const std::size_t maxExpansionGrowth = 16 * 1024 * 1024;

enum class Replaced { none, some, tooLong };

// Replaces `name` in `text` the way tstrings::replace does (leftmost first,
// without overlaps, inserted text not searched again), but in time linear in
// the result and only when the result stays within `maxLength`. The result
// goes to `result` unless nothing is replaced or it would grow too long. The
// text is searched once to the end, to count, and then only as far as the
// last occurrence.
Replaced replaceWithin(const tstring& text, const tstring& name, const tstring& replacement, std::size_t maxLength,
                       tstring& result) {
    if (name.empty()) {
        return Replaced::none;
    }
    const std::size_t first = text.find(name);
    if (first == tstring::npos) {
        return Replaced::none;
    }
    std::size_t count = 1;
    for (std::size_t pos = text.find(name, first + name.size()); pos != tstring::npos;
         pos = text.find(name, pos + name.size())) {
        ++count;
    }
    const std::size_t kept = text.size() - count * name.size();
    if (!replacement.empty() && count > (maxLength - kept) / replacement.size()) {
        return Replaced::tooLong;
    }
    result.clear();
    result.reserve(kept + count * replacement.size());
    std::size_t from = 0;
    for (std::size_t pos = first;; pos = text.find(name, from)) {
        result.append(text, from, pos - from).append(replacement);
        from = pos + name.size();
        if (--count == 0) {
            break;
        }
    }
    result.append(text, from, tstring::npos);
    return Replaced::some;
}

// Whether `text` holds the name of one of the first `count` macros.
bool holdsAnyMacro(const tstring& text, const CfgMacros& macros, std::size_t count) {
    for (auto macro = macros.begin(); count > 0; ++macro, --count) {
        if (!macro->first.empty() && text.find(macro->first) != tstring::npos) {
            return true;
        }
    }
    return false;
}

// One pass of every macro in order over `input`; false when the text would
// grow past `maxLength`. `mayHold` becomes the number of macros, counted from
// the first, whose names the output may still hold: up to the last one that
// replaced anything, since every later one found nothing in the text as it
// finally is. No replacement gives 0 and leaves `output` as it was.
bool expandOnce(const tstring& input, const CfgMacros& macros, std::size_t maxLength, tstring& output,
                std::size_t& mayHold) {
    tstring current;
    mayHold = 0;
    std::size_t index = 0;
    for (const auto& [name, text] : macros) {
        ++index;
        tstring next;
        const Replaced replaced = replaceWithin(mayHold ? current : input, name, text, maxLength, next);
        if (replaced == Replaced::tooLong) {
            return false;
        }
        if (replaced == Replaced::some) {
            current.swap(next);
            mayHold = index;
        }
    }
    if (mayHold) {
        output.swap(current);
    }
    return true;
}

// Runs passes over the macros in their order until a pass changes nothing.
// When no macro's text leads back to its own name, a value is final after one
// changing pass per macro and the one that changes nothing. A value still
// changing then, or growing past the limit, expands without end and gives
// nothing. (A name that only forms where a replacement meets the text beside
// it can need more passes; such contrived values are refused too.) A pass
// over a text that holds no macro name changes nothing and is not run.
std::optional<tstring> expandValue(const tstring& value, const CfgMacros& macros) {
    const std::size_t maxLength = value.size() + maxExpansionGrowth;
    tstring current;
    std::size_t mayHold = 0;
    if (!expandOnce(value, macros, maxLength, current, mayHold)) {
        return std::nullopt;
    }
    if (mayHold == 0 || current == value) {
        return value;
    }
    for (std::size_t pass = 1; pass <= macros.size(); ++pass) {
        if (!holdsAnyMacro(current, macros, mayHold)) {
            return current;
        }
        tstring next;
        if (!expandOnce(current, macros, maxLength, next, mayHold)) {
            return std::nullopt;
        }
        if (mayHold == 0 || next == current) {
            return current;
        }
        current.swap(next);
    }
    return std::nullopt;
}

}  // namespace

CfgFile CfgFile::applyMacros(const CfgMacros& macros) const {
    CfgFile expanded;
    for (const auto& [section, properties] : sections) {
        CfgProperties& expandedProperties = expanded.sections[section];
        for (const auto& [property, values] : properties) {
            tstring_array& expandedValues = expandedProperties[property];
            expandedValues.reserve(values.size());
            for (const tstring& value : values) {
                std::optional<tstring> result = expandValue(value, macros);
                if (!result) {
                    RAISE(tstrings::Builder() << "Macros in the value of property \"" << property.name()
                                              << "\" of section \"" << section.name() << "\" expand without end");
                }
                expandedValues.push_back(std::move(*result));
            }
        }
    }
    return expanded;
}

const CfgProperties& CfgFile::sectionProperties(CfgSectionId section) const {
    const auto found = sections.find(section);
    return found == sections.end() ? noProperties : found->second;
}

tstring CfgFile::lastValue(const CfgProperties::value_type& property) {
    return property.second.empty() ? tstring() : property.second.back();
}

tstring CfgFile::pathList(const CfgProperties::value_type& property) {
    std::size_t length = 0;
    for (const tstring& value : property.second) {
        length += value.size() + 1;
    }
    tstring result;
    result.reserve(length);
    for (std::size_t i = 0; i < property.second.size(); ++i) {
        if (i > 0) {
            result += L';';
        }
        result += property.second[i];
    }
    return result;
}

void CfgFile::overrideProperty(CfgSectionId section, CfgPropertyId property, const tstring_array& values) {
    sections[section][property] = values;
}
