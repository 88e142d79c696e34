// The launcher configuration file: its recognised sections and properties,
// the parsed container, and the queries, macro expansion and override on it.
#pragma once

#include <map>
#include <optional>
#include <string_view>

#include "tstrings.h"

// A name of the configuration vocabulary. Identities are process-wide
// constants of the derived class, compared and ordered by their names.
template <class Id>
class CfgName {
public:
    // The identity whose name is exactly `name`, among those the derived
    // class lists as known.
    static std::optional<Id> byName(std::wstring_view name) {
        for (const Id* id : Id::known) {
            if (name == id->nameText) {
                return *id;
            }
        }
        return std::nullopt;
    }

    const wchar_t* name() const { return nameText.data(); }

    friend bool operator==(const CfgName& a, const CfgName& b) { return a.compare(b) == 0; }
    friend bool operator!=(const CfgName& a, const CfgName& b) { return a.compare(b) != 0; }
    friend bool operator<(const CfgName& a, const CfgName& b) { return a.compare(b) < 0; }

protected:
    constexpr explicit CfgName(const wchar_t* name) : nameText(name) {}

private:
    int compare(const CfgName& other) const { return nameText.compare(other.nameText); }

    // A view of a literal, so that comparisons know both lengths.
    std::wstring_view nameText;
};

// A recognised section name; `none` stands for the lines before the first
// recognised header and is never found by name.
class CfgSectionId : public CfgName<CfgSectionId> {
public:
    static const CfgSectionId none;
    static const CfgSectionId application;
    static const CfgSectionId javaOptions;
    static const CfgSectionId appCdsJavaOptions;
    static const CfgSectionId appCdsGenerateCacheJavaOptions;
    static const CfgSectionId argOptions;

    // Every identity that has a name in a file.
    static const CfgSectionId* const known[5];

private:
    using CfgName::CfgName;
};

// A recognised property name, accepted in any recognised section.
class CfgPropertyId : public CfgName<CfgPropertyId> {
public:
    static const CfgPropertyId appVersion;
    static const CfgPropertyId appMainJar;
    static const CfgPropertyId appMainModule;
    static const CfgPropertyId appMainClass;
    static const CfgPropertyId appClassPath;
    static const CfgPropertyId appModulePath;
    static const CfgPropertyId appRuntime;
    static const CfgPropertyId appSplash;
    static const CfgPropertyId appMemory;
    static const CfgPropertyId arguments;
    static const CfgPropertyId javaOptions;

    // Every identity that has a name in a file.
    static const CfgPropertyId* const known[11];

private:
    using CfgName::CfgName;
};

// The properties of one section; every entry holds at least one value, in
// file order.
typedef std::map<CfgPropertyId, tstring_array> CfgProperties;

// Where the value of a property line starts: the first "=" not right after a
// backslash (the backslash stays part of the name), or npos.
std::size_t cfgPropertySeparator(std::wstring_view line);

// Macro name to replacement text, expanded in ascending name order.
typedef std::map<tstring, tstring> CfgMacros;

class CfgFile {
public:
    typedef std::map<CfgSectionId, CfgProperties> Sections;

    // Parses the file at `path`. Throws KivoError<std::runtime_error> when the
    // file cannot be opened or read, or has a section header without "]".
    static CfgFile load(const tstring& path);

    // The section's properties, or an always-empty map when it is absent.
    const CfgProperties& sectionProperties(CfgSectionId section) const;

    // Every section that holds at least one property.
    const Sections& allSections() const { return sections; }

    // The value that came last in the file.
    static tstring lastValue(const CfgProperties::value_type& property);

    // All values joined with ";".
    static tstring pathList(const CfgProperties::value_type& property);

    // A copy with the macros expanded in every value. Throws
    // KivoError<std::runtime_error> when the macros of a value expand
    // without end.
    CfgFile applyMacros(const CfgMacros& macros) const;

    // Replaces the property's values, creating the section or the property
    // when it is missing.
    void overrideProperty(CfgSectionId section, CfgPropertyId property, const tstring_array& values);

private:
    Sections sections;
    CfgProperties noProperties;
};
