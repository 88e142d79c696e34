// Robustness of the configuration chain on untrusted files: thousands of
// seeded, mutated files go through load, macro expansion and override, and
// every result must be a well-formed configuration or one of the known
// errors. Also a large file that must simply load.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "CfgFile.h"
#include "ErrorHandling.h"
#include "FileUtils.h"
#include "TestFiles.h"

using namespace testing_support;

namespace {

const char* const seeds[] = {
    ("; image configuration\n"
     "[Application]\n"
     "app.mainjar=$APPDIR\\main.jar\n"
     "app.classpath=$APPDIR\\lib\\a.jar\n"
     "app.classpath=$ROOTDIR\\b.jar;$BINDIR\n"
     "app.runtime=$ROOTDIR\\runtime\n"
     "app.splash=$APPDIR\\splash.png\n"
     "\n"
     "[JavaOptions]\n"
     "java-options=-Dx=$BINDIR\n"
     "java-options=-Xmx1g\n"
     "[ArgOptions]\n"
     "arguments=one\n"
     "arguments=$APPDIR$APPDIR\n"),

    ("\xEF\xBB\xBF[Application]\r\napp.mainmodule=m/p.Main\r\napp.modulepath=$APPDIR\\mods\r\n"
     "[AppCDSJavaOptions]\r\njava-options=-Xshare:auto\r\n[AppCDSGenerateCacheJavaOptions]\r\n"
     "java-options=-XX:ArchiveClassesAtExit=$APPDIR\\app.jsa\r\n"),

    "[Application]\rapp.mainclass=Main\rapp.version=1.0\r[ArgOptions]\rarguments=\\=x=y\r",

    ("app.memory=1\n[Unknown]\napp.memory=2\n  [JavaOptions]\n[JavaOptions]]\n[ JavaOptions ]\n"
     "[JavaOptions] tail\njava-options\njava-options=\n=\n;[Application\n"),
};

const char* const tokens[] = {
    "[Application]", "[JavaOptions]", "[ArgOptions]", "[AppCDSJavaOptions]", "app.classpath=", "java-options=",
    "arguments=",    "app.runtime=",  "$APPDIR",      "$BINDIR",            "$ROOTDIR",       "\r\n",
    "\n",            "[",             "]",            "=",                  "\\=",            "\x1A",
};

const char trickyBytes[] = {'\r', '\n', '\x1A', '\0', '[', ']', '=', '\\', ';', '$', ' ',
                             '\t', '\xFF', '\xC3', '\xEF', '\xBB', '\xBF', '\x80', '\xED'};

class Mutator {
public:
    explicit Mutator(unsigned seed) : random(seed) {}

    std::string next() {
        if (pick(20) == 0) {
            return randomBytes(pick(4096));
        }
        std::string text = seeds[pick(std::size(seeds))];
        const std::size_t steps = 1 + pick(8);
        for (std::size_t i = 0; i < steps; ++i) {
            mutate(text);
        }
        return text;
    }

private:
    std::size_t pick(std::size_t bound) { return bound == 0 ? 0 : random() % bound; }

    std::string randomBytes(std::size_t size) {
        std::string bytes(size, '\0');
        for (char& c : bytes) {
            c = static_cast<char>(random());
        }
        return bytes;
    }

    void mutate(std::string& text) {
        const std::size_t at = pick(text.size() + 1);
        switch (pick(7)) {
        case 0:
            if (at < text.size()) {
                text[at] = trickyBytes[pick(sizeof(trickyBytes))];
            }
            break;
        case 1:
            text.insert(at, 1, static_cast<char>(random()));
            break;
        case 2:
            text.insert(at, tokens[pick(std::size(tokens))]);
            break;
        case 3:
            text.erase(at, pick(40));
            break;
        case 4: {
            const std::size_t from = pick(text.size() + 1);
            text.insert(at, text.substr(from, pick(200)));
            break;
        }
        case 5:
            text.resize(at);
            break;
        default:
            for (char& c : text) {
                if (c == '\n') {
                    c = '\r';
                }
            }
            break;
        }
    }

    std::mt19937 random;
};

const CfgMacros directories = {
    {L"$APPDIR", L"C:\\Program Files\\App\\app"},
    {L"$BINDIR", L"C:\\Program Files\\App"},
    {L"$ROOTDIR", L"C:\\Program Files\\App"},
};

const CfgMacros cyclicMacros = {
    {L"$APPDIR", L"C:\\$ROOTDIR\\app"},
    {L"$BINDIR", L"C:\\$BINDIR"},
    {L"$ROOTDIR", L"C:\\$APPDIR"},
};

typedef std::vector<std::pair<tstring, std::vector<std::pair<tstring, std::size_t>>>> Shape;

// Section names, property names and list lengths.
Shape shapeOf(const CfgFile& cfg) {
    Shape shape;
    for (const auto& [section, properties] : cfg.allSections()) {
        shape.push_back({section.name(), {}});
        for (const auto& [property, values] : properties) {
            shape.back().second.push_back({property.name(), values.size()});
        }
    }
    return shape;
}

void checkWellFormed(const CfgFile& cfg) {
    for (const auto& [section, properties] : cfg.allSections()) {
        EXPECT_EQ(CfgSectionId::byName(section.name()), section);
        EXPECT_FALSE(properties.empty());
        for (const auto& [property, values] : properties) {
            EXPECT_EQ(CfgPropertyId::byName(property.name()), property);
            EXPECT_FALSE(values.empty());
            for (const tstring& value : values) {
                EXPECT_EQ(value.find_first_of(L"\n\x1A"), tstring::npos);
            }
        }
    }
    EXPECT_TRUE(cfg.sectionProperties(CfgSectionId::none).empty());
}

bool isParseError(const std::string& message, const tstring& path) {
    const std::string prefix = "Error parsing [" + tstrings::toUtf8(path) + "] file at ";
    const std::string suffix = ": Missing ']' character";
    if (message.size() <= prefix.size() + suffix.size() || message.compare(0, prefix.size(), prefix) != 0 ||
        message.compare(message.size() - suffix.size(), suffix.size(), suffix) != 0) {
        return false;
    }
    const std::string number = message.substr(prefix.size(), message.size() - prefix.size() - suffix.size());
    return number.find_first_not_of("0123456789") == std::string::npos && number[0] != '0';
}

bool isEndlessExpansionError(const std::string& message) {
    return message.rfind("Macros in the value of property \"", 0) == 0 &&
           message.size() > 20 && message.compare(message.size() - 20, 20, "\" expand without end") == 0;
}

// Expansion and override of a loaded file, checked against the file.
void checkChain(const CfgFile& loaded, const CfgMacros& macros, const tstring_array& args) {
    const Shape shape = shapeOf(loaded);
    CfgFile expanded;
    try {
        expanded = loaded.applyMacros(macros);
    } catch (const KivoError<std::runtime_error>& e) {
        EXPECT_EQ(&macros, &cyclicMacros) << e.bareMessage();
        EXPECT_TRUE(isEndlessExpansionError(e.bareMessage())) << e.bareMessage();
        return;
    }
    EXPECT_EQ(shapeOf(loaded), shape);
    EXPECT_EQ(shapeOf(expanded), shape);
    checkWellFormed(expanded);
    if (&macros == &directories) {
        for (const auto& [section, properties] : expanded.allSections()) {
            for (const auto& [property, values] : properties) {
                for (const tstring& value : values) {
                    EXPECT_EQ(value.find(L"$APPDIR"), tstring::npos);
                    EXPECT_EQ(value.find(L"$ROOTDIR"), tstring::npos);
                }
            }
        }
    }
    CfgFile overridden = expanded;
    overridden.overrideProperty(CfgSectionId::argOptions, CfgPropertyId::arguments, args);
    EXPECT_EQ(overridden.sectionProperties(CfgSectionId::argOptions).at(CfgPropertyId::arguments), args);
    EXPECT_EQ(overridden.sectionProperties(CfgSectionId::application),
              expanded.sectionProperties(CfgSectionId::application));
    checkWellFormed(overridden);
}

TEST(CfgRobustnessTest, MutatedFilesLoadExpandAndOverrideCleanly) {
    TempDir dir(L"cfgfuzz");
    const tstring path = FileUtils::combinePath(dir.path(), L"app.cfg");
    Mutator mutator(7031);
    int loadedCount = 0;
    for (int round = 0; round < 3000; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        const std::string text = mutator.next();
        writeFile(path, text);
        CfgFile loaded;
        try {
            loaded = CfgFile::load(path);
        } catch (const KivoError<std::runtime_error>& e) {
            ASSERT_TRUE(isParseError(e.bareMessage(), path)) << e.bareMessage();
            continue;
        }
        ++loadedCount;
        checkWellFormed(loaded);
        checkChain(loaded, round % 8 == 0 ? cyclicMacros : directories,
                   round % 2 ? tstring_array{L"cli"} : tstring_array{L"a b", L"", L"$APPDIR"});
        if (HasFatalFailure() || HasNonfatalFailure()) {
            FAIL() << "file: " << testing::PrintToString(text);
        }
    }
    // Most mutations must still parse, or the test would only see errors.
    EXPECT_GT(loadedCount, 1500);
}

TEST(CfgRobustnessTest, LoadsFileWithLongLineAndManyLines) {
    TempDir dir(L"cfgbig");
    const tstring path = FileUtils::combinePath(dir.path(), L"app.cfg");
    std::string longValue;
    for (int i = 0; i < 300000; ++i) {
        longValue += "$APPDIR\\lib\\";
        longValue += static_cast<char>('a' + i % 26);
        longValue += ".jar;";
    }
    std::string text = "[Application]\r\napp.classpath=" + longValue + "\r\n[JavaOptions]\n";
    for (int i = 0; i < 200000; ++i) {
        text += "java-options=-Dk" + std::to_string(i) + "=v\n";
    }
    writeFile(path, text);

    const CfgFile cfg = CfgFile::load(path).applyMacros(directories);
    const auto& classPath = cfg.sectionProperties(CfgSectionId::application).at(CfgPropertyId::appClassPath);
    ASSERT_EQ(classPath.size(), 1u);
    EXPECT_EQ(classPath[0].substr(0, 34), L"C:\\Program Files\\App\\app\\lib\\a.jar");
    const auto& options = cfg.sectionProperties(CfgSectionId::javaOptions).at(CfgPropertyId::javaOptions);
    ASSERT_EQ(options.size(), 200000u);
    EXPECT_EQ(options.back(), L"-Dk199999=v");
}

}  // namespace
