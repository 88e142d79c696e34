// End-to-end tests of "kivo-image check": each kind of broken image gets
// its diagnosis, and the argument vector the report shows is the one the
// runtime receives from the real launcher on both launch paths (on
// Windows, where the launcher runs).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "FileUtils.h"
#include "ImageTool.h"
#include "PeHeaders.h"
#ifdef _WIN32
#include "ImageLaunch.h"
#include "LauncherImage.h"
#else
#include "SigningKit.h"
#endif

using FileUtils::combinePath;
using testing_support::TempImage;
using testing_support::LaunchPath;
using testing_support::ProcessOptions;
using testing_support::ProcessResult;
using testing_support::reportFindings;
using testing_support::runImageTool;
using testing_support::ToolImage;

namespace {

std::string utf8(const tstring& text) { return tstrings::toUtf8(text); }

const std::string kCfg =
    "[Application]\n"
    "app.classpath=$APPDIR\\main.jar;$ROOTDIR\\lib\n"
    "app.mainclass=demo.Main\n"
    "[JavaOptions]\n"
    "java-options=-Dwhere=$BINDIR\n"
    "[ArgOptions]\n"
    "arguments=--first\n"
    "arguments=two words\n";

// An image that would launch: the fixture runtime and every file kCfg names.
void layOutGoodImage(const TempImage& image, const std::string& cfg = kCfg) {
    image.installRuntime();
    image.writeCfg(cfg);
    testing_support::writeFile(image.appDir() + L"\\main.jar", "jar");
    testing_support::makeDirs(image.root() + L"\\lib");
}

ProcessResult check(const TempImage& image, const tstring_array& appArgs = {}, ProcessOptions options = {}) {
    tstring_array args = {L"check", image.root()};
    if (!appArgs.empty()) {
        args.push_back(L"--");
        args.insert(args.end(), appArgs.begin(), appArgs.end());
    }
    return runImageTool(args, options);
}

struct BrokenImage {
    const char* title;
    std::function<void(const TempImage&)> breakIt;
    // "error" or "warning"
    std::string kind;
    // The finding, with "<root>" standing for the image directory. In the
    // path it starts, up to the closing quote or bracket, a slash is a
    // separator that the tool writes itself, the platform's; a backslash
    // comes from the configuration or the launcher's own notation.
    std::string finding;
};

void PrintTo(const BrokenImage& c, std::ostream* os) { *os << c.title; }

std::string withRoot(std::string text, const TempImage& image) {
    const std::string root = utf8(image.root());
    const char separator = static_cast<char>(FileUtils::pathSeparator);
    for (std::size_t at = text.find("<root>"); at != std::string::npos; at = text.find("<root>", at + root.size())) {
        text.replace(at, 6, root);
        const std::size_t pathEnd = std::min(text.find_first_of("\"]", at + root.size()), text.size());
        std::replace(text.begin() + static_cast<std::ptrdiff_t>(at + root.size()),
                     text.begin() + static_cast<std::ptrdiff_t>(pathEnd), '/', separator);
    }
    return text;
}

void writeRuntimeFile(const TempImage& image, const tstring& relative, const std::string& bytes) {
    testing_support::writeFile(image.runtimeDir() + L"\\" + relative, bytes);
}

// The machine field of a 32-bit x86 PE file (IMAGE_FILE_MACHINE_I386).
constexpr std::uint16_t kI386Machine = 0x014C;

#ifdef _WIN32
const tstring kMissingImage = L"Z:\\no\\such\\image";
// Where the launcher finds a runtime library that is not in the runtime.
const std::string kSystemLibraries = "the system directory";
#else
const tstring kMissingImage = L"/no/such/image";
// Natively there is no system directory to look in: the tool knows the
// Windows system libraries by name.
const std::string kSystemLibraries = "the known Windows system libraries";
#endif

class ImageCheckTest : public testing::TestWithParam<BrokenImage> {};

}  // namespace

TEST(ImageCheckTest, GoodImageWouldLaunch) {
    ToolImage image;
    layOutGoodImage(image);

    const ProcessResult result = check(image);

    EXPECT_EQ(result.exitCode, 0u) << result.out;
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(testing_support::reportResult(result.out), "Result: the image would launch (0 errors, 0 warnings)");
}

TEST(ImageCheckTest, ReportFollowsTheLaunchersOrder) {
    ToolImage image;
    layOutGoodImage(image);

    std::vector<std::string> steps;
    for (const std::string& line : testing_support::lines(check(image).out)) {
        if (!line.empty() && line[0] >= '1' && line[0] <= '9') {
            steps.push_back(line);
        }
    }

    EXPECT_EQ(steps, (std::vector<std::string>{"1. Launcher", "2. Package file", "3. Configuration file", "4. Runtime",
                                               "5. Arguments the runtime receives", "6. Runtime libraries",
                                               "7. Application files", "8. Launch path"}));
}

TEST_P(ImageCheckTest, FindsTheMistake) {
    ToolImage image;
    layOutGoodImage(image);
    GetParam().breakIt(image);

    const ProcessResult result = check(image);

    const std::vector<std::string> findings = reportFindings(result.out, GetParam().kind);
    EXPECT_NE(std::find(findings.begin(), findings.end(), withRoot(GetParam().finding, image)), findings.end())
        << result.out;
    EXPECT_EQ(result.exitCode, GetParam().kind == "error" ? 1u : 0u) << result.out;
}

INSTANTIATE_TEST_SUITE_P(
    Images, ImageCheckTest,
    testing::Values(
        BrokenImage{"MissingCfg", [](const TempImage& i) { testing_support::removeTree(i.cfgPath()); }, "error",
                    "Error opening \"<root>/app/Demo.cfg\" file: No such file or directory"},
        BrokenImage{"UnclosedHeader", [](const TempImage& i) { i.writeCfg("; x\n[Application\n"); }, "error",
                    "Error parsing [<root>/app/Demo.cfg] file at 2: Missing ']' character"},
        BrokenImage{"NoRuntime", [](const TempImage& i) { testing_support::removeTree(i.runtimeDir()); }, "error",
                    "Failed to find JVM in \"<root>/runtime\" directory."},
        BrokenImage{"RuntimeElsewhereMissing",
                    [](const TempImage& i) { i.writeCfg(kCfg + "[Application]\napp.runtime=$ROOTDIR\\jre\n"); },
                    "error", "Failed to find JVM in \"<root>\\jre\" directory."},
        BrokenImage{"MissingDependency",
                    [](const TempImage& i) { testing_support::removeTree(i.runtimeDir() + L"\\bin\\qsrdep.dll"); },
                    "error", "qsrdep.dll, imported by bin\\qsr.dll, is not in bin\\, bin\\server\\ or " + kSystemLibraries},
        BrokenImage{"NoEntryPoint",
                    [](const TempImage& i) {
                        testing_support::copyFile(testing_support::fixturesDir() + L"\\noentry\\bin\\qsr.dll",
                                                  i.runtimeDir() + L"\\bin\\qsr.dll");
                    },
                    "error", "bin\\qsr.dll does not export QSR_Launch: it is not a launcher-interface library"},
        BrokenImage{"ThirtyTwoBitRuntime",
                    [](const TempImage& i) {
                        testing_support::setPeMachine(i.runtimeDir() + L"\\bin\\qsr.dll", kI386Machine);
                    },
                    "error", "bin\\qsr.dll is not a 64-bit library (x86 library); the launcher needs an x64 runtime"},
        BrokenImage{"EntryLibraryNotALibrary", [](const TempImage& i) { writeRuntimeFile(i, L"bin\\qsr.dll", "x"); },
                    "error",
                    "bin\\qsr.dll: \"<root>/runtime/bin\\qsr.dll\" is not a Windows library: it is cut short"},
        BrokenImage{"MissingClassPathEntry",
                    [](const TempImage& i) { testing_support::removeTree(i.appDir() + L"\\main.jar"); }, "error",
                    "class path entry \"<root>/app\\main.jar\" does not exist"},
        BrokenImage{"MissingMainJar",
                    [](const TempImage& i) { i.writeCfg("[Application]\napp.mainjar=$APPDIR\\app.jar\n"); },
                    "error", "main jar \"<root>/app\\app.jar\" does not exist"},
        BrokenImage{"MissingModulePathEntry",
                    [](const TempImage& i) {
                        i.writeCfg("[Application]\napp.modulepath=$APPDIR\\mods\napp.mainmodule=demo/demo.Main\n");
                    },
                    "error", "module path entry \"<root>/app\\mods\" does not exist"},
        BrokenImage{"NoMainEntry", [](const TempImage& i) { i.writeCfg("[Application]\napp.classpath=$APPDIR\n"); },
                    "error", "the configuration names no main class, main module or main jar"},
        BrokenImage{"SplashWithoutSplashLibrary",
                    [](const TempImage& i) {
                        testing_support::writeFile(i.appDir() + L"\\splash.png", "png");
                        testing_support::removeTree(i.runtimeDir() + L"\\bin\\splashscreen.dll");
                        i.writeCfg(kCfg + "[Application]\napp.mainclass=demo.Main\napp.splash=$APPDIR\\splash.png\n");
                    },
                    "error", "bin\\splashscreen.dll is missing in \"<root>/runtime\""},
        BrokenImage{"MissingSplashImage",
                    [](const TempImage& i) {
                        i.writeCfg("[Application]\napp.mainclass=demo.Main\napp.splash=$APPDIR\\splash.png\n");
                    },
                    "warning", "Splash property ignored. File \"<root>/app\\splash.png\" not found"},
        BrokenImage{"ByteOrderMark", [](const TempImage& i) { i.writeCfg("\xEF\xBB\xBF; comment\n" + kCfg); }, "warning",
                    "line 1: the file starts with a byte-order mark, which the launcher reads as part of the first "
                    "line; save the file as UTF-8 without a byte-order mark"},
        BrokenImage{"MacroInLowerCase",
                    [](const TempImage& i) { i.writeCfg(kCfg + "[JavaOptions]\njava-options=-Dx=$appdir\n"); },
                    "warning", "line 10: \"$appdir\" is not expanded: the macro is \"$APPDIR\", in capital letters"},
        BrokenImage{"PropertyNameWithBlank",
                    [](const TempImage& i) { i.writeCfg(kCfg + "[ArgOptions]\narguments =x\n"); }, "warning",
                    "line 10: property \"arguments \" is not \"arguments\": property names are exact, without blanks, "
                    "so the launcher ignores it"},
        BrokenImage{"PropertiesBeforeSection", [](const TempImage& i) { i.writeCfg("app.runtime=x\n" + kCfg); },
                    "warning", "line 1: properties before the first known section are ignored by the launcher"},
        BrokenImage{"RelativeMainJar",
                    [](const TempImage& i) { i.writeCfg("[Application]\napp.mainjar=app.jar\n"); }, "warning",
                    "main jar \"app.jar\" is relative: it depends on the current directory at launch"},
        BrokenImage{"NotALauncher",
                    [](const TempImage& i) {
                        testing_support::copyFile(testing_support::windowsBinDir() + L"\\kivo_keepalive.exe",
                                                  i.launcherPath());
                    },
                    "error", "Demo.exe is not a kivo launcher"}),
    [](const testing::TestParamInfo<BrokenImage>& info) { return std::string(info.param.title); });

TEST(ImageCheckTest, ShowsThePerUserConfigurationItPicks) {
#ifndef _WIN32
    GTEST_SKIP() << "the per-user configuration is on the user's Windows machine; natively the report only names it";
#endif
    ToolImage image;
    layOutGoodImage(image);
    image.writePackage("DemoPkg\n");
    testing_support::TempDir local;
    testing_support::makeDirs(local.path() + L"\\DemoPkg");
    testing_support::writeFile(local.path() + L"\\DemoPkg\\Demo.cfg", "[Application]\napp.mainclass=user.Main\n");
    ProcessOptions options;
    options.env[L"LOCALAPPDATA"] = local.path();
    options.env[L"APPDATA"] = std::nullopt;

    const std::vector<std::string> out = testing_support::lines(check(image, {}, options).out);

    const std::string cfg = utf8(combinePath(combinePath(local.path(), L"DemoPkg"), L"Demo.cfg"));
    for (const std::string& expected : {std::string("   package name \"DemoPkg\""),
                                        "   per-user lookup \"" + cfg + "\": found",
                                        "   the launcher reads \"" + cfg + "\"", std::string("   argv[2]=user.Main")}) {
        EXPECT_NE(std::find(out.begin(), out.end(), expected), out.end()) << expected;
    }
}

TEST(ImageCheckTest, WarnsAboutARelativeRuntime) {
    ToolImage image;
    layOutGoodImage(image, kCfg + "[Application]\napp.mainclass=demo.Main\napp.runtime=runtime\n");
    ProcessOptions options;
    options.cwd = image.root();

    const ProcessResult result = check(image, {}, options);

    EXPECT_EQ(result.exitCode, 0u) << result.out;
    EXPECT_EQ(reportFindings(result.out, "warning"),
              std::vector<std::string>{"the runtime directory \"runtime\" is relative: the launcher looks for it from "
                                       "the current directory at launch"});
}

TEST(ImageCheckTest, RefusesADirectoryWithSeveralPrograms) {
    ToolImage image;
    layOutGoodImage(image);
    testing_support::copyFile(image.launcherPath(), image.root() + L"\\Other.exe");

    const ProcessResult result = check(image);

    EXPECT_EQ(result.exitCode, 2u);
    EXPECT_EQ(testing_support::lines(result.err).size(), 1u) << result.err;
    EXPECT_EQ(result.out, "");
}

TEST(ImageCheckTest, NamesAMissingImage) {
    const ProcessResult result = runImageTool({L"check", kMissingImage});

    EXPECT_EQ(result.exitCode, 1u);
    EXPECT_EQ(testing_support::lines(result.err),
              std::vector<std::string>{"kivo-image: \"" + utf8(kMissingImage) + "\" does not exist"});
}

// What check prints is what the runtime gets, on both paths and with
// arguments that replace the configured ones.
class ImageCheckArgvTest : public testing::TestWithParam<LaunchPath> {};

TEST_P(ImageCheckArgvTest, ReportShowsTheRuntimesArguments) {
#ifdef _WIN32
    testing_support::LauncherImage image(L"Démo.exe", L"imäge dir");
    layOutGoodImage(image);
    for (const tstring_array& args : {tstring_array{}, tstring_array{L"x", L"with blank", L""}}) {
        const ProcessResult report = check(image, args);
        ASSERT_EQ(report.exitCode, 0u) << report.out;
        // The runtime gets UTF-8, as the report shows it.
        const std::vector<std::string> expected = testing_support::reportedArgv(report.out);

        EXPECT_EQ(testing_support::runtimeArgv(image.run(args, GetParam())), expected);
        EXPECT_EQ(expected.size(), args.empty() ? 8u : 9u);
    }
#else
    GTEST_SKIP() << "the launcher runs on Windows only";
#endif
}

INSTANTIATE_TEST_SUITE_P(Paths, ImageCheckArgvTest, testing::Values(LaunchPath::InProcess, LaunchPath::Restart));

#ifndef _WIN32

namespace {

const std::string kSignerName = "Kivo Test Signer";
const std::string kNonAsciiSignerName = "Kivo Tést Signer Ωμέγα";

// The line after the launcher's machine line, which is about its signature.
std::string signatureLine(const std::string& out) {
    const std::vector<std::string> all = testing_support::lines(out);
    const auto step = std::find(all.begin(), all.end(), "1. Launcher");
    return all.end() - step > 2 ? step[2] : std::string();
}

void signLauncher(const TempImage& image, const std::string& signerName) {
    const testing_support::TempDir temp;
    const tstring unsignedCopy = combinePath(temp.path(), L"unsigned.exe");
    testing_support::copyFile(image.launcherPath(), unsignedCopy);
    // The signing program makes a new file.
    testing_support::removeTree(image.launcherPath());
    testing_support::SigningKit(signerName).sign(unsignedCopy, image.launcherPath());
}

// Rewrites the launcher with `edit`, which gets its headers.
void editLauncher(const TempImage& image, const std::function<void(std::string&, const imagetool::PeHeaders&)>& edit) {
    std::string launcher = testing_support::readFile(image.launcherPath());
    edit(launcher, imagetool::PeHeaders::read(launcher));
    testing_support::writeFile(image.launcherPath(), launcher);
}

void flipByteInFirstSection(std::string& launcher, const imagetool::PeHeaders& headers) {
    const imagetool::PeSection& section = headers.sections.front();
    launcher[section.pointerToRawData + section.sizeOfRawData / 2] ^= 1;
}

// The PKCS#7 message follows the eight bytes of its certificate header.
void zeroSignedMessageStart(std::string& launcher, const imagetool::PeHeaders& headers) {
    launcher.replace(headers.directory(imagetool::pe_directory::certificates).rva + 8, 16, 16, '\0');
}

struct SignatureCase {
    const char* title;
    std::function<void(const TempImage&)> prepare;
    std::string line;
};

void PrintTo(const SignatureCase& c, std::ostream* os) { *os << c.title; }

class ImageCheckSignatureTest : public testing::TestWithParam<SignatureCase> {};

}  // namespace

// Both builds of the tool judge the signature alike.
TEST_P(ImageCheckSignatureTest, ReportsTheSignature) {
    ToolImage image;
    layOutGoodImage(image);
    GetParam().prepare(image);

    const ProcessResult native = check(image);
    const ProcessResult windows = testing_support::runWindowsImageTool({L"check", image.root()});

    const std::uint32_t exitCode = GetParam().line.rfind("   error: ", 0) == 0 ? 1u : 0u;
    EXPECT_EQ(signatureLine(native.out), GetParam().line) << native.out;
    EXPECT_EQ(native.exitCode, exitCode) << native.out;
    EXPECT_EQ(signatureLine(windows.out), GetParam().line) << windows.out << windows.err;
    EXPECT_EQ(windows.exitCode, exitCode) << windows.out;
}

INSTANTIATE_TEST_SUITE_P(
    Signatures, ImageCheckSignatureTest,
    testing::Values(
        SignatureCase{"NotSigned", [](const TempImage&) {}, "   not signed"},
        SignatureCase{"Intact", [](const TempImage& i) { signLauncher(i, kSignerName); },
                      "   signed by \"Kivo Test Signer\", intact"},
        SignatureCase{"SignerWithNonAsciiLetters",
                      [](const TempImage& i) { signLauncher(i, kNonAsciiSignerName); },
                      "   signed by \"Kivo Tést Signer Ωμέγα\", intact"},
        SignatureCase{"ChangedAfterSigning",
                      [](const TempImage& i) {
                          signLauncher(i, kSignerName);
                          editLauncher(i, flipByteInFirstSection);
                      },
                      "   error: signed by \"Kivo Test Signer\", but changed after signing: Windows rejects it as "
                      "tampered; sign it again"},
        // What follows the certificate table is part of the signed file.
        SignatureCase{"AppendedAfterSigning",
                      [](const TempImage& i) {
                          signLauncher(i, kSignerName);
                          editLauncher(i, [](std::string& launcher, const imagetool::PeHeaders&) {
                              launcher += "appended";
                          });
                      },
                      "   error: signed by \"Kivo Test Signer\", but changed after signing: Windows rejects it as "
                      "tampered; sign it again"},
        SignatureCase{"TableIsNotSignedData",
                      [](const TempImage& i) {
                          signLauncher(i, kSignerName);
                          editLauncher(i, zeroSignedMessageStart);
                      },
                      "   error: the signature cannot be read: it is not PKCS#7 signed data"},
        SignatureCase{"TableOutsideTheFile",
                      [](const TempImage& i) {
                          const std::size_t size = testing_support::readFile(i.launcherPath()).size();
                          testing_support::setPeDataDirectory(i.launcherPath(), imagetool::pe_directory::certificates,
                                                              static_cast<std::uint32_t>(size - 8), 16);
                      },
                      "   error: the signature cannot be read: the certificate table lies outside the file"}),
    [](const testing::TestParamInfo<SignatureCase>& info) { return std::string(info.param.title); });

#endif
