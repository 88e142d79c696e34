// The launcher configuration file: its recognised sections and properties,
// the parser, and the queries, macro expansion and override on it.
#include "CfgFile.h"

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

namespace {

int compareNames(const wchar_t* a, const wchar_t* b) {
    return std::wstring_view(a).compare(std::wstring_view(b));
}

template <class Id, std::size_t N>
std::optional<Id> findByName(const Id* const (&known)[N], const tstring& name) {
    for (const Id* id : known) {
        if (name == id->name()) {
            return *id;
        }
    }
    return std::nullopt;
}

}  // namespace

bool operator==(CfgSectionId a, CfgSectionId b) {
    return compareNames(a.nameText, b.nameText) == 0;
}

bool operator<(CfgSectionId a, CfgSectionId b) {
    return compareNames(a.nameText, b.nameText) < 0;
}

std::optional<CfgSectionId> CfgSectionId::byName(const tstring& name) {
    static const CfgSectionId* const known[] = {&application, &javaOptions, &appCdsJavaOptions,
                                                &appCdsGenerateCacheJavaOptions, &argOptions};
    return findByName(known, name);
}

bool operator==(CfgPropertyId a, CfgPropertyId b) {
    return compareNames(a.nameText, b.nameText) == 0;
}

bool operator<(CfgPropertyId a, CfgPropertyId b) {
    return compareNames(a.nameText, b.nameText) < 0;
}

std::optional<CfgPropertyId> CfgPropertyId::byName(const tstring& name) {
    static const CfgPropertyId* const known[] = {
        &appVersion, &appMainJar, &appMainModule, &appMainClass, &appClassPath, &appModulePath,
        &appRuntime, &appSplash,  &appMemory,     &arguments,    &javaOptions};
    return findByName(known, name);
}

namespace {

// The state of one parse: properties gather in `pending` until the next
// section header or the end of the file stores them under their section.
class CfgParser {
public:
    explicit CfgParser(CfgFile::Sections& sections) : sections(sections) {}

    // False for a section header without "]".
    bool parseLine(const tstring& line) {
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
    bool startSection(const tstring& line) {
        const std::size_t close = line.rfind(L']');
        if (close == tstring::npos) {
            return false;
        }
        commitPending();
        current = CfgSectionId::byName(line.substr(1, close - 1)).value_or(CfgSectionId::none);
        return true;
    }

    void addProperty(const tstring& line) {
        if (current == CfgSectionId::none) {
            return;
        }
        const std::size_t separator = findSeparator(line);
        const auto property = CfgPropertyId::byName(line.substr(0, separator));
        if (!property) {
            return;
        }
        const tstring value = separator == tstring::npos ? tstring() : line.substr(separator + 1);
        pending[*property].push_back(value);
    }

    // The first "=" not right after a backslash; the backslash stays part of
    // the name.
    static std::size_t findSeparator(const tstring& line) {
        std::size_t pos = line.find(L'=');
        while (pos != tstring::npos && pos > 0 && line[pos - 1] == L'\\') {
            pos = line.find(L'=', pos + 1);
        }
        return pos;
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

}  // namespace

CfgFile CfgFile::load(const tstring& path) {
    TextFileReader reader(path);
    if (!reader.isOpen()) {
        RAISE(tstrings::Builder() << "Error opening \"" << path << "\" file: " << reader.errorText());
    }
    CfgFile cfg;
    CfgParser parser(cfg.sections);
    std::string line;
    while (reader.readLine(line)) {
        if (!parser.parseLine(tstrings::fromUtf8(line))) {
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

// Replaces `name` the way tstrings::replace does (leftmost first, without
// overlaps, inserted text not searched again), but in time linear in the
// result and only when the result stays within `maxLength`; false, with
// `text` unchanged, when it would not.
bool replaceWithin(tstring& text, const tstring& name, const tstring& replacement, std::size_t maxLength) {
    if (name.empty()) {
        return true;
    }
    std::size_t count = 0;
    for (std::size_t pos = text.find(name); pos != tstring::npos; pos = text.find(name, pos + name.size())) {
        ++count;
    }
    if (count == 0) {
        return true;
    }
    const std::size_t kept = text.size() - count * name.size();
    if (!replacement.empty() && count > (maxLength - kept) / replacement.size()) {
        return false;
    }
    tstring result;
    result.reserve(kept + count * replacement.size());
    std::size_t from = 0;
    for (std::size_t pos = text.find(name); pos != tstring::npos; pos = text.find(name, from)) {
        result.append(text, from, pos - from).append(replacement);
        from = pos + name.size();
    }
    result.append(text, from, tstring::npos);
    text.swap(result);
    return true;
}

// Runs passes over the macros in their order until a pass changes nothing.
// When no macro's text leads back to its own name, a value is final after one
// changing pass per macro and the one that changes nothing. A value still
// changing then, or growing past the limit, expands without end and gives
// nothing. (A name that only forms where a replacement meets the text beside
// it can need more passes; such contrived values are refused too.)
std::optional<tstring> expandValue(const tstring& value, const CfgMacros& macros) {
    const std::size_t maxLength = value.size() + maxExpansionGrowth;
    tstring current = value;
    for (std::size_t pass = 0; pass <= macros.size(); ++pass) {
        tstring next = current;
        for (const auto& [name, text] : macros) {
            if (!replaceWithin(next, name, text, maxLength)) {
                return std::nullopt;
            }
        }
        if (next == current) {
            return current;
        }
        current.swap(next);
    }
    return std::nullopt;
}

}  // namespace

CfgFile CfgFile::applyMacros(const CfgMacros& macros) const {
    CfgFile expanded(*this);
    for (auto& [section, properties] : expanded.sections) {
        for (auto& [property, values] : properties) {
            for (tstring& value : values) {
                std::optional<tstring> result = expandValue(value, macros);
                if (!result) {
                    RAISE(tstrings::Builder() << "Macros in the value of property \"" << property.name()
                                              << "\" of section \"" << section.name() << "\" expand without end");
                }
                value.swap(*result);
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
    return tstrings::join(property.second, L";");
}

void CfgFile::overrideProperty(CfgSectionId section, CfgPropertyId property, const tstring_array& values) {
    sections[section][property] = values;
}
