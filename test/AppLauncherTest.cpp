// Tests of the application launcher model: the library path test, the
// configuration file lookup and the runtime launcher it produces.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "AppLauncher.h"
#include "ErrorHandling.h"
#include "FileUtils.h"
#include "JvmLauncher.h"
#include "LogCapture.h"
#include "SysInfo.h"
#include "TestFiles.h"

using testing_support::LogCapture;
using testing_support::ScopedEnvVariable;
using testing_support::TempDir;

namespace {

const tstring kLibPathVariable = L"KIVO_TEST_LIB_PATH";

// The name the launcher model gives the configuration file of this test
// program: its own file name with ".cfg" in place of ".exe".
tstring cfgFileName() {
    return FileUtils::withoutExtension(FileUtils::fileName(SysInfo::getExecutablePath())) + L".cfg";
}

tstring_array traceMessages(const LogCapture& capture) {
    tstring_array messages;
    for (const LogRecord& record : capture.withSeverity(L"TRACE")) {
        messages.push_back(record.message);
    }
    return messages;
}

bool contains(const tstring_array& items, const tstring& item) {
    for (const tstring& candidate : items) {
        if (candidate == item) {
            return true;
        }
    }
    return false;
}

// The path of this program's configuration file in `dir`.
tstring cfgFileIn(const tstring& dir) {
    return FileUtils::combinePath(dir, cfgFileName());
}

// An image root with app\ holding this program's configuration file and
// runtime\bin\qsr.dll (an empty file is enough to be found).
class AppLauncherImage {
public:
    AppLauncherImage() : root(dir.path()) {
        testing_support::makeDirs(appDir());
        testing_support::makeDirs(FileUtils::combinePath(runtimeDir(), L"bin"));
        testing_support::writeFile(defaultJvmLib(), "");
    }

    tstring appDir() const { return FileUtils::combinePath(root, L"app"); }
    tstring runtimeDir() const { return FileUtils::combinePath(root, L"runtime"); }
    tstring defaultJvmLib() const { return FileUtils::combinePath(runtimeDir(), AppLauncher::runtimeLibrary); }
    tstring cfgPath() const { return cfgFileIn(appDir()); }
    void writeCfg(const std::string& text) const { testing_support::writeFile(cfgPath(), text); }

    AppLauncher launcher() const {
        AppLauncher appLauncher;
        appLauncher.setRootDir(root)
            .addJvmLibCandidate(AppLauncher::runtimeLibrary)
            .setAppDir(appDir())
            .setLibPathEnvVariable(kLibPathVariable)
            .setDefaultRuntimeDir(runtimeDir());
        return appLauncher;
    }

    TempDir dir;
    tstring root;
};

}  // namespace

struct LibPathCase {
    const char* label;
    const wchar_t* appDir;
    std::optional<const wchar_t*> libPath;
    bool named;
};

void PrintTo(const LibPathCase& c, std::ostream* os) { *os << c.label; }

class AppLauncherLibPathTest : public testing::TestWithParam<LibPathCase> {};

TEST_P(AppLauncherLibPathTest, TellsWhetherLibraryPathNamesAppDir) {
    const LibPathCase& c = GetParam();
    const ScopedEnvVariable libPath(kLibPathVariable,
                                    c.libPath ? std::optional<tstring>(*c.libPath) : std::optional<tstring>());

    AppLauncher appLauncher;
    appLauncher.setAppDir(c.appDir).setLibPathEnvVariable(kLibPathVariable);

    EXPECT_EQ(appLauncher.isAppDirInLibPath(), c.named);
}

INSTANTIATE_TEST_SUITE_P(
    Pieces, AppLauncherLibPathTest,
    testing::Values(LibPathCase{"Unset", L"C:\\Demo\\app", std::nullopt, false},
                    LibPathCase{"Empty", L"C:\\Demo\\app", L"", false},
                    LibPathCase{"Exact", L"C:\\Demo\\app", L"C:\\Demo\\app", true},
                    LibPathCase{"UpperCase", L"C:\\Demo\\app", L"C:\\DEMO\\APP", true},
                    LibPathCase{"LowerCase", L"C:\\DEMO\\App", L"c:\\demo\\app", true},
                    LibPathCase{"MiddlePiece", L"C:\\Demo\\app", L"C:\\x;C:\\Demo\\app;C:\\y", true},
                    LibPathCase{"AfterEmptyPiece", L"C:\\Demo\\app", L"C:\\x;;C:\\Demo\\app", true},
                    LibPathCase{"TrailingBackslash", L"C:\\Demo\\app", L"C:\\Demo\\app\\", false},
                    LibPathCase{"TrailingBackslashPiece", L"C:\\Demo\\app", L"C:\\Demo\\app\\;C:\\x", false},
                    LibPathCase{"LeadingBlank", L"C:\\Demo\\app", L" C:\\Demo\\app", false},
                    LibPathCase{"Quoted", L"C:\\Demo\\app", L"\"C:\\Demo\\app\"", false},
                    LibPathCase{"Prefixes", L"C:\\Demo\\app", L"C:\\Demo\\app2;C:\\Demo", false},
                    LibPathCase{"Slash", L"C:\\Demo\\app", L"C:\\Demo/app", false}));

// A restarted launcher appends ";" and the directory, which names the
// directory even when it contains ";" and can match no single piece.
INSTANTIATE_TEST_SUITE_P(
    AppendedSuffix, AppLauncherLibPathTest,
    testing::Values(LibPathCase{"Appended", L"C:\\a;b\\app", L"C:\\x;C:\\a;b\\app", true},
                    LibPathCase{"AppendedToEmpty", L"C:\\a;b\\app", L";C:\\a;b\\app", true},
                    LibPathCase{"AppendedInOtherCase", L"C:\\a;b\\app", L"C:\\x;C:\\A;B\\APP", true},
                    LibPathCase{"NotAtEnd", L"C:\\a;b\\app", L"C:\\a;b\\app;C:\\x", false},
                    LibPathCase{"AppendedWithBackslash", L"C:\\a;b\\app", L"C:\\x;C:\\a;b\\app\\", false},
                    LibPathCase{"PartialSuffix", L"C:\\a;b\\app", L"C:\\x;b\\app", false}));

TEST(AppLauncherTest, CfgFileIsNamedAfterExecutable) {
    AppLauncher appLauncher;
    appLauncher.setAppDir(L"C:\\Demo\\app");

    const tstring path = appLauncher.getCfgFilePath();

    EXPECT_EQ(path, cfgFileIn(L"C:\\Demo\\app"));
    EXPECT_TRUE(tstrings::endsWith(path, L".cfg"));
    EXPECT_FALSE(tstrings::endsWith(path, L".exe.cfg"));
}

TEST(AppLauncherTest, LookupStopsAtFirstDirectoryHoldingTheFile) {
    const TempDir first;
    const TempDir second;
    const TempDir third;
    testing_support::writeFile(cfgFileIn(second.path()), "");
    testing_support::writeFile(cfgFileIn(third.path()), "");
    AppLauncher appLauncher;
    appLauncher.setAppDir(L"C:\\Demo\\app")
        .addCfgFileLookupDir(first.path())
        .addCfgFileLookupDir(second.path())
        .addCfgFileLookupDir(third.path());
    LogCapture capture;

    const tstring path = appLauncher.getCfgFilePath();

    EXPECT_EQ(path, cfgFileIn(second.path()));
    EXPECT_EQ(traceMessages(capture), (tstring_array{
                                          L"Check [" + cfgFileIn(first.path()) + L"] file exit",
                                          L"Check [" + cfgFileIn(second.path()) + L"] file exit",
                                      }));
}

TEST(AppLauncherTest, DirectoryNamedLikeTheFileCountsAsFound) {
    const TempDir lookup;
    testing_support::makeDirs(cfgFileIn(lookup.path()));
    AppLauncher appLauncher;
    appLauncher.setAppDir(L"C:\\Demo\\app").addCfgFileLookupDir(lookup.path());

    EXPECT_EQ(appLauncher.getCfgFilePath(), cfgFileIn(lookup.path()));
}

TEST(AppLauncherTest, FallsBackToAppDirWithoutCheckingIt) {
    const TempDir lookup;
    AppLauncher appLauncher;
    appLauncher.setAppDir(L"C:\\nowhere\\app").addCfgFileLookupDir(lookup.path());

    EXPECT_EQ(appLauncher.getCfgFilePath(), cfgFileIn(L"C:\\nowhere\\app"));
}

TEST(AppLauncherTest, MissingCfgFileFailsWithLoadError) {
    const AppLauncherImage image;
    try {
        image.launcher().createJvmLauncher();
        FAIL() << "no error";
    } catch (const KivoErrorBase& e) {
        const std::string expected = "Error opening \"" + tstrings::toUtf8(image.cfgPath()) + "\" file: ";
        EXPECT_EQ(std::string(e.bareMessage()).substr(0, expected.size()), expected);
    }
}

TEST(AppLauncherTest, TracesCfgPathAndDefaultRuntime) {
    const AppLauncherImage image;
    image.writeCfg("[Application]\napp.mainclass=demo.Main\n");
    LogCapture capture;

    const std::unique_ptr<Jvm> jvm = image.launcher().createJvmLauncher();

    const tstring_array traces = traceMessages(capture);
    EXPECT_TRUE(contains(traces, L"Launcher config file path: \"" + image.cfgPath() + L"\""));
    EXPECT_TRUE(contains(traces, L"Property \"app.runtime\" not found in \"Application\" section of launcher config "
                                 L"file. Using Java runtime from \"" +
                                     image.runtimeDir() + L"\" directory"));
    EXPECT_EQ(jvm->getLibraryPath(), image.defaultJvmLib());
}

TEST(AppLauncherTest, LastRuntimeValueWinsAfterMacroExpansion) {
    const AppLauncherImage image;
    testing_support::makeDirs(image.root + L"\\other\\bin");
    testing_support::writeFile(image.root + L"\\other\\bin\\qsr.dll", "");
    image.writeCfg("[Application]\napp.runtime=$ROOTDIR\\missing\napp.runtime=$ROOTDIR\\other\n");
    LogCapture capture;

    const std::unique_ptr<Jvm> jvm = image.launcher().createJvmLauncher();

    EXPECT_EQ(jvm->getLibraryPath(), FileUtils::combinePath(image.root + L"\\other", AppLauncher::runtimeLibrary));
    for (const tstring& message : traceMessages(capture)) {
        EXPECT_FALSE(tstrings::startsWith(message, L"Property ")) << tstrings::toUtf8(message);
    }
}

TEST(AppLauncherTest, RuntimeInAnotherSectionIsIgnored) {
    const AppLauncherImage image;
    image.writeCfg("[JavaOptions]\napp.runtime=C:\\elsewhere\n");

    EXPECT_EQ(image.launcher().createJvmLauncher()->getLibraryPath(), image.defaultJvmLib());
}

TEST(AppLauncherTest, MissingRuntimeLibraryNamesRuntimeDirectory) {
    const AppLauncherImage image;
    image.writeCfg("[Application]\napp.runtime=$APPDIR\\jre\n");
    try {
        image.launcher().createJvmLauncher();
        FAIL() << "no error";
    } catch (const KivoErrorBase& e) {
        EXPECT_EQ(std::string(e.bareMessage()),
                  "Failed to find JVM in \"" + tstrings::toUtf8(image.appDir()) + "\\jre\" directory.");
        EXPECT_NE(std::string(dynamic_cast<const std::exception&>(e).what())
                      .find(") at `anonymous-namespace'::findJvmLib(): Failed to find JVM in"),
                  std::string::npos);
    }
}

TEST(AppLauncherTest, TriesCandidatesInOrder) {
    const AppLauncherImage image;
    testing_support::writeFile(FileUtils::combinePath(image.runtimeDir(), L"second.dll"), "");
    image.writeCfg("");
    AppLauncher appLauncher = image.launcher();
    appLauncher.addJvmLibCandidate(L"second.dll");
    testing_support::removeTree(image.defaultJvmLib());

    EXPECT_EQ(appLauncher.createJvmLauncher()->getLibraryPath(),
              FileUtils::combinePath(image.runtimeDir(), L"second.dll"));
}

TEST(AppLauncherTest, LauncherPathIsFirstArgumentAndMacrosAreExpanded) {
    const AppLauncherImage image;
    image.writeCfg(
        "[Application]\n"
        "app.classpath=$APPDIR\\a.jar;$BINDIR\\b.jar;$ROOTDIR\\c.jar\n"
        "app.mainclass=demo.Main\n");

    const tstring_array args = image.launcher().createJvmLauncher()->getRuntimeArgs();

    const tstring launcherPath = SysInfo::getExecutablePath();
    ASSERT_GE(args.size(), 5u);
    EXPECT_EQ(args[0], launcherPath);
    EXPECT_EQ(args[1], L"-classpath");
    EXPECT_EQ(args[2], image.appDir() + L"\\a.jar;" + FileUtils::parentDir(launcherPath) + L"\\b.jar;" + image.root +
                           L"\\c.jar");
    EXPECT_EQ(args[3], L"-Dkivo.app-path=" + launcherPath);
    EXPECT_EQ(args[4], L"demo.Main");
}

TEST(AppLauncherTest, ExtendsLibraryPathOnlyWhenAppDirIsMissing) {
    const AppLauncherImage image;
    image.writeCfg("");
    struct Case {
        std::optional<tstring> libPath;
        tstring_array names;
        tstring_array values;
    };
    const Case cases[] = {
        {std::nullopt, {kLibPathVariable}, {L";" + image.appDir()}},
        {tstring(L"C:\\x;C:\\y"), {kLibPathVariable}, {L"C:\\x;C:\\y;" + image.appDir()}},
        {tstring(L"C:\\x;") + image.appDir(), {}, {}},
    };
    for (const Case& c : cases) {
        const ScopedEnvVariable libPath(kLibPathVariable, c.libPath);

        const std::unique_ptr<Jvm> jvm = image.launcher().createJvmLauncher();

        EXPECT_EQ(jvm->getEnvNames(), c.names);
        EXPECT_EQ(jvm->getEnvValues(), c.values);
    }
}

TEST(AppLauncherTest, ReadsCfgFileAgainOnEveryCall) {
    const AppLauncherImage image;
    const AppLauncher appLauncher = image.launcher();
    image.writeCfg("[Application]\napp.mainclass=first.Main\n");
    const std::unique_ptr<Jvm> first = appLauncher.createJvmLauncher();
    image.writeCfg("[Application]\napp.mainclass=second.Main\n");
    const std::unique_ptr<Jvm> second = appLauncher.createJvmLauncher();

    EXPECT_TRUE(contains(first->getRuntimeArgs(), L"first.Main"));
    EXPECT_TRUE(contains(second->getRuntimeArgs(), L"second.Main"));
    EXPECT_FALSE(contains(second->getRuntimeArgs(), L"first.Main"));
}
