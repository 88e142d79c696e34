// The configuration file from arbitrary bytes: the parse, its round trip
// through a written file, macro expansion and the launch data built from
// the expanded configuration.
#include <cstring>
#include <optional>

#include "CfgFile.h"
#include "ErrorHandling.h"
#include "FuzzSupport.h"
#include "JvmLauncher.h"

using fuzz::check;

namespace {

// Macro texts that hold no "$", so no macro name can form during expansion:
// every value must expand in one pass.
const CfgMacros plainMacros = {
    {L"$APPDIR", L"C:\\Apps\\MyApp\\app"}, {L"$BINDIR", L"C:\\Apps\\MyApp"}, {L"$ROOTDIR", L"C:\\Apps\\MyApp"}};

// "$APPDIR" leads back to itself, so every value that holds it expands
// without end; the others expand as with plainMacros.
const CfgMacros loopingMacros = {
    {L"$APPDIR", L"$APPDIR\\app"}, {L"$BINDIR", L"C:\\Apps"}, {L"$ROOTDIR", L"C:\\Apps"}};

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// The number of the line whose header lacks "]", as the syntax rules give
// it, or 0 when the file parses.
std::size_t expectedParseFailureLine(const std::string& bytes) {
    const std::vector<std::string> lines = fuzz::textModeLines(bytes);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        if (!line.empty() && line[0] == '[' && fuzz::isValidUtf8(line) && !contains(line, "]")) {
            return i + 1;
        }
    }
    return 0;
}

std::optional<CfgFile> loadAsTheRulesSay(const std::string& name, const std::string& bytes) {
    const tstring path =
        fuzz::writeScratchFile(name, reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    const std::size_t failureLine = expectedParseFailureLine(bytes);
    try {
        CfgFile cfg = CfgFile::load(path);
        check(failureLine == 0, "parsed a file with a header without ']'");
        return cfg;
    } catch (const KivoErrorBase& e) {
        const std::string message = e.bareMessage();
        const std::string expected = " file at " + std::to_string(failureLine) + ": Missing ']' character";
        if (failureLine == 0 || !contains(message, expected)) {
            fuzz::fail("unexpected load error: " + message);
        }
        return std::nullopt;
    }
}

void checkShape(const CfgFile& cfg) {
    for (const auto& [section, properties] : cfg.allSections()) {
        check(section != CfgSectionId::none && !properties.empty(), "empty or unnamed section kept");
        for (const auto& property : properties) {
            check(!property.second.empty(), "property without values kept");
        }
    }
}

void checkRoundTrip(const CfgFile& cfg) {
    if (!fuzz::writableAsCfgText(cfg.allSections())) {
        return;
    }
    const std::string text = fuzz::cfgText(cfg.allSections());
    const tstring path =
        fuzz::writeScratchFile("cfg/written.cfg", reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
    if (CfgFile::load(path).allSections() != cfg.allSections()) {
        fuzz::fail("written file parses differently:\n" + text);
    }
}

tstring expandedByReplace(const tstring& value, const CfgMacros& macros) {
    tstring result = value;
    for (const auto& [name, text] : macros) {
        result = tstrings::replace(result, name, text);
    }
    return result;
}

bool anyValueHolds(const CfgFile& cfg, const tstring& part) {
    for (const auto& section : cfg.allSections()) {
        for (const auto& property : section.second) {
            for (const tstring& value : property.second) {
                if (value.find(part) != tstring::npos) {
                    return true;
                }
            }
        }
    }
    return false;
}

void checkExpansion(const CfgFile& cfg, const CfgFile& expanded, const CfgMacros& macros) {
    check(expanded.allSections().size() == cfg.allSections().size(), "expansion changed the sections");
    for (const auto& [section, properties] : cfg.allSections()) {
        const CfgProperties& got = expanded.sectionProperties(section);
        check(got.size() == properties.size(), "expansion changed the properties");
        for (const auto& [property, values] : properties) {
            const auto found = got.find(property);
            check(found != got.end() && found->second.size() == values.size(), "expansion changed the values");
            for (std::size_t i = 0; i < values.size(); ++i) {
                if (found->second[i] != expandedByReplace(values[i], macros)) {
                    fuzz::fail("value expanded wrongly: " + tstrings::toUtf8(values[i]));
                }
            }
        }
    }
}

CfgFile expandPlain(const CfgFile& cfg) {
    try {
        CfgFile expanded = cfg.applyMacros(plainMacros);
        checkExpansion(cfg, expanded, plainMacros);
        return expanded;
    } catch (const KivoErrorBase& e) {
        fuzz::fail(std::string("macros without \"$\" failed: ") + e.bareMessage());
    }
}

void checkLoopingExpansion(const CfgFile& cfg) {
    const bool loops = anyValueHolds(cfg, L"$APPDIR");
    try {
        const CfgFile expanded = cfg.applyMacros(loopingMacros);
        check(!loops, "a value that holds $APPDIR expanded");
        checkExpansion(cfg, expanded, loopingMacros);
    } catch (const KivoErrorBase& e) {
        const std::string message = e.bareMessage();
        if (!loops || !contains(message, "\" expand without end")) {
            fuzz::fail("unexpected expansion error: " + message);
        }
    }
}

template <class T>
T slotAt(const char* array, std::size_t index) {
    T value;
    std::memcpy(&value, array + index * sizeof(T), sizeof(T));
    return value;
}

// Every string of the argument vector lies in the block and holds the ANSI
// form of its runtime argument with the terminating NUL.
void checkArgVector(const JvmlLauncherData& header, const char* block, std::int32_t size,
                    const tstring_array& args) {
    check(header.argCount >= 0 && static_cast<std::size_t>(header.argCount) == args.size(), "wrong argCount");
    const char* const slots = reinterpret_cast<const char*>(header.argVector);
    check(slots >= block + sizeof(JvmlLauncherData) && slots < block + size, "argVector outside the block");
    check(slotAt<const char*>(slots, args.size()) == nullptr, "argVector not null-terminated");
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string expected = tstrings::toAcp(args[i]);
        const char* const arg = slotAt<const char*>(slots, i);
        check(arg >= block && arg + expected.size() < block + size, "argument outside the block");
        if (std::memcmp(arg, expected.c_str(), expected.size() + 1) != 0) {
            fuzz::fail("argument " + std::to_string(i) + " differs from " + expected);
        }
    }
}

void checkLaunchData(const CfgFile& expanded) {
    Jvm jvm;
    jvm.setAppPath(L"x").initFromConfigFile(expanded);
    std::int32_t size = 0;
    const JvmlLauncherDataPtr data(makeJvmlLauncherData(jvmLauncherGetAPI(), jvm.makeLaunchData().release(), &size));
    check(data != nullptr, "no launch data");
    JvmlLauncherData header;
    std::memcpy(&header, data.get(), sizeof(header));
    check(header.envCount == 0, "environment in the launch data");
    checkArgVector(header, reinterpret_cast<const char*>(data.get()), size, jvm.getRuntimeArgs());
}

// Command-line arguments replace the configured ones and come last.
void checkOverriddenArguments(const CfgFile& expanded) {
    const tstring_array commandLineArgs = {L"one", L"two words"};
    CfgFile overridden = expanded;
    overridden.overrideProperty(CfgSectionId::argOptions, CfgPropertyId::arguments, commandLineArgs);
    const CfgProperties& argOptions = overridden.sectionProperties(CfgSectionId::argOptions);
    const auto found = argOptions.find(CfgPropertyId::arguments);
    check(found != argOptions.end() && found->second == commandLineArgs, "override not stored");
    Jvm jvm;
    const tstring_array& args = jvm.setAppPath(L"x").initFromConfigFile(overridden).getRuntimeArgs();
    check(args.size() >= 3 && tstring_array(args.end() - 2, args.end()) == commandLineArgs,
          "overridden arguments are not last");
}

// The same bytes after a comment line long enough that they straddle the
// reader's first chunk boundary parse the same.
void checkAcrossChunkBoundary(const std::string& bytes, const std::optional<CfgFile>& cfg) {
    if (!fuzz::alsoAcrossChunkBoundary(bytes)) {
        return;
    }
    const std::size_t padding = fuzz::chunkBoundaryPadding(static_cast<unsigned char>(bytes[0]));
    const std::string commented = std::string(padding - 1, ';') + "\n" + bytes;
    const std::optional<CfgFile> padded = loadAsTheRulesSay("cfg/padded.cfg", commented);
    check(padded.has_value() == cfg.has_value(), "a comment line changes whether the file parses");
    check(!cfg || padded->allSections() == cfg->allSections(), "parse differs across the chunk boundary");
}

void checkAll(const std::string& bytes) {
    const std::optional<CfgFile> cfg = loadAsTheRulesSay("cfg/input.cfg", bytes);
    checkAcrossChunkBoundary(bytes, cfg);
    if (!cfg) {
        return;
    }
    checkShape(*cfg);
    checkRoundTrip(*cfg);
    checkLoopingExpansion(*cfg);
    const CfgFile expanded = expandPlain(*cfg);
    checkLaunchData(expanded);
    checkOverriddenArguments(expanded);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::silenceLog();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    try {
        checkAll(std::string(reinterpret_cast<const char*>(data), size));
    } catch (const std::exception& e) {
        fuzz::fail(std::string("unexpected exception: ") + e.what());
    }
    return 0;
}
