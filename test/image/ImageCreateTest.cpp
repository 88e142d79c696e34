// End-to-end tests of "kivo-image create", of both builds: the image it lays
// out, and a failing or interrupted create leaves the destination as it was.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "FileUtils.h"
#include "ImageTool.h"
#include "TestFiles.h"

using testing_support::CreateInputs;
using testing_support::makeDirectoryLink;
using testing_support::ProcessOptions;
using testing_support::ProcessResult;
using testing_support::readFile;
using testing_support::runImageTool;
using testing_support::writeFile;

namespace {

std::string utf8(const tstring& text) { return tstrings::toUtf8(text); }

std::vector<std::string> listing(const tstring& dir) { return testing_support::listNames(dir); }

// Every file below `root` by its path relative to it, with its bytes.
std::map<std::string, std::string> treeContents(const tstring& root) {
    namespace fs = std::filesystem;
    const fs::path base = fs::u8path(utf8(root));
    std::map<std::string, std::string> files;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(base)) {
        if (entry.is_regular_file()) {
            files[fs::relative(entry.path(), base).u8string()] =
                testing_support::readFile(tstrings::fromUtf8(entry.path().u8string()));
        }
    }
    return files;
}

}  // namespace

TEST(ImageCreateTest, LaysOutTheImage) {
    CreateInputs inputs;
    tstring_array args = inputs.createArgs(L"Приложение");
    args.insert(args.end(), {L"--package", L"Пакет"});

    const ProcessResult result = runImageTool(args);

    ASSERT_EQ(result.exitCode, 0u) << result.out << result.err;
    EXPECT_EQ(listing(inputs.dest), (std::vector<std::string>{"app", "runtime", "Приложение.exe"}));
    EXPECT_EQ(listing(inputs.dest + L"\\app"),
              (std::vector<std::string>{".package", "lib", "main.jar", "Приложение.cfg"}));
    EXPECT_EQ(readFile(inputs.dest + L"\\app\\Приложение.cfg"), readFile(inputs.config));
    EXPECT_EQ(readFile(inputs.dest + L"\\app\\.package"), "Пакет\r\n");
    EXPECT_EQ(readFile(inputs.dest + L"\\app\\lib\\extra.jar"), "extra");
    EXPECT_EQ(readFile(inputs.dest + L"\\runtime\\bin\\qsr.dll"), readFile(inputs.runtime + L"\\bin\\qsr.dll"));
    EXPECT_EQ(readFile(inputs.dest + L"\\Приложение.exe"), readFile(testing_support::launcherPath(L"kivo.exe")));
    EXPECT_EQ(listing(inputs.temp.path() + L"\\out"), std::vector<std::string>{"image"});
}

TEST(ImageCreateTest, BothBuildsMakeTheSameImage) {
    if (FileUtils::pathSeparator == L'\\') {
        GTEST_SKIP() << "the Linux build's tests compare it with the Windows build";
    }
    CreateInputs inputs;
    writeFile(inputs.temp.path() + L"\\app.ico", testing_support::makeIconFile({16, 32, 48}));
    tstring_array args = inputs.createArgs(L"Démo");
    args.resize(args.size() - 2);
    args.insert(args.end(), {L"--icon", inputs.temp.path() + L"\\app.ico", L"--version", L"2.1.0.7", L"--product-name",
                             L"Démo 𝄞", L"--company", L"Example", L"--package", L"Пакет", L"--dest"});
    const tstring linuxImage = FileUtils::combinePath(inputs.temp.path(), L"linux");
    const tstring windowsImage = FileUtils::combinePath(inputs.temp.path(), L"windows");
    tstring_array linuxArgs = args;
    linuxArgs.push_back(linuxImage);
    tstring_array windowsArgs = args;
    windowsArgs.push_back(windowsImage);

    const ProcessResult linux = runImageTool(linuxArgs);
    const ProcessResult windows = testing_support::runWindowsImageTool(windowsArgs);

    ASSERT_EQ(linux.exitCode, 0u) << linux.out << linux.err;
    ASSERT_EQ(windows.exitCode, 0u) << windows.out << windows.err;
    const std::map<std::string, std::string> linuxFiles = treeContents(linuxImage);
    EXPECT_EQ(linuxFiles.size(), 9u);
    EXPECT_TRUE(linuxFiles == treeContents(windowsImage));
    EXPECT_EQ(testing_support::reportResult(windows.out), testing_support::reportResult(linux.out));
}

TEST(ImageCreateTest, RefusesANameThatIsNotUtf8) {
    if (FileUtils::pathSeparator == L'\\') {
        GTEST_SKIP() << "Windows file names are UTF-16 and always convert";
    }
    CreateInputs inputs;
    const std::string files = utf8(inputs.files);
    std::ofstream(files + "/bad-\xff.jar") << "x";

    const ProcessResult result = runImageTool(inputs.createArgs(L"App"));

    EXPECT_EQ(result.exitCode, 1u);
    EXPECT_EQ(testing_support::lines(result.err),
              std::vector<std::string>{"kivo-image: \"" + files + "\" holds a name that is not UTF-8 (\"bad-\\xFF.jar\"); "
                                       "Windows could not show it as it is: rename it"});
    EXPECT_FALSE(testing_support::pathExists(inputs.dest));
}

TEST(ImageCreateTest, TakesTheWindowedLauncherWhenAsked) {
    CreateInputs inputs;
    tstring_array args = inputs.createArgs(L"App");
    args.push_back(L"--windowed");

    const ProcessResult result = runImageTool(args);

    ASSERT_EQ(result.exitCode, 0u) << result.out << result.err;
    EXPECT_EQ(readFile(inputs.dest + L"\\App.exe"), readFile(testing_support::launcherPath(L"kivow.exe")));
}

TEST(ImageCreateTest, NamesTheDirectoryWithoutAWindowedLauncher) {
    CreateInputs inputs;
    const tstring lonelyTool =
        FileUtils::combinePath(inputs.temp.path(), FileUtils::fileName(testing_support::imageToolPath()));
    testing_support::copyFile(testing_support::imageToolPath(), lonelyTool);
    tstring_array args = inputs.createArgs(L"App");
    args.push_back(L"--windowed");

    const ProcessResult result = testing_support::runProcess(lonelyTool, args);

    EXPECT_EQ(result.exitCode, 1u);
    EXPECT_EQ(testing_support::lines(result.err),
              std::vector<std::string>{"kivo-image: The windowed launcher kivow.exe is not in \"" +
                                       utf8(inputs.temp.path()) + "\""});
    EXPECT_FALSE(testing_support::pathExists(inputs.dest));
}

TEST(ImageCreateTest, SummarisesInOneLineThenChecks) {
    CreateInputs inputs;

    const ProcessResult result = runImageTool(inputs.createArgs(L"App"));
    const std::vector<std::string> out = testing_support::lines(result.out);

    // Progress is for consoles; redirected output has none.
    EXPECT_EQ(result.out.find("Copying"), std::string::npos);

    ASSERT_GE(out.size(), 2u);
    EXPECT_EQ(out[0].rfind("Created \"" + utf8(inputs.dest) + "\": App.exe, app\\ (3 files, ", 0), 0u) << out[0];
    EXPECT_NE(out[0].find(", runtime\\ (4 files, "), std::string::npos) << out[0];
    EXPECT_EQ(out[1], "Checking the image in \"" + utf8(inputs.dest) + "\" as App.exe would see it");
    EXPECT_EQ(out.back(), "Result: the image would launch (0 errors, 0 warnings)");
}

TEST(ImageCreateTest, OnlyChecksARuntimeTheConfigurationNames) {
    CreateInputs inputs("[Application]\napp.runtime=" + utf8(testing_support::fixturesDir()) +
                        "\\runtime\napp.mainjar=$APPDIR\\main.jar\n");
    tstring_array args = inputs.createArgs(L"App");
    args.resize(args.size() - 4);
    args.insert(args.end(), {L"--dest", inputs.dest});

    const ProcessResult result = runImageTool(args);

    EXPECT_EQ(result.exitCode, 0u) << result.out << result.err;
    EXPECT_EQ(listing(inputs.dest), (std::vector<std::string>{"App.exe", "app"}));
}

TEST(ImageCreateTest, ReplacesAnImageOnlyWhenTold) {
    CreateInputs inputs;
    testing_support::makeDirs(inputs.dest);
    writeFile(inputs.dest + L"\\old.txt", "old");

    const ProcessResult refused = runImageTool(inputs.createArgs(L"App"));
    tstring_array replace = inputs.createArgs(L"App");
    replace.push_back(L"--replace");
    const ProcessResult replaced = runImageTool(replace);

    EXPECT_EQ(refused.exitCode, 1u);
    EXPECT_EQ(testing_support::lines(refused.err),
              std::vector<std::string>{"kivo-image: \"" + utf8(inputs.dest) +
                                       "\" exists and is not empty; add --replace to replace it"});
    EXPECT_EQ(replaced.exitCode, 0u) << replaced.err;
    EXPECT_EQ(listing(inputs.dest), (std::vector<std::string>{"App.exe", "app", "runtime"}));
    EXPECT_EQ(listing(inputs.temp.path() + L"\\out"), std::vector<std::string>{"image"});
}

TEST(ImageCreateTest, FillsAnEmptyDirectory) {
    CreateInputs inputs;
    testing_support::makeDirs(inputs.dest);

    EXPECT_EQ(runImageTool(inputs.createArgs(L"App")).exitCode, 0u);
    EXPECT_TRUE(testing_support::pathExists(inputs.dest + L"\\App.exe"));
}

TEST(ImageCreateTest, FailureRemovesTheDirectoriesItCreated) {
    CreateInputs inputs;
    testing_support::makeDirs(inputs.temp.path() + L"\\elsewhere");
    ASSERT_TRUE(testing_support::makeDirectoryLink(inputs.files + L"\\lib\\linked", inputs.temp.path() + L"\\elsewhere"));
    tstring_array args = inputs.createArgs(L"App");
    args.back() = inputs.temp.path() + L"\\new\\deeper\\image";

    const ProcessResult result = runImageTool(args);

    EXPECT_EQ(result.exitCode, 1u);
    EXPECT_FALSE(testing_support::pathExists(inputs.temp.path() + L"\\new"));
}

namespace {

struct FailingCreate {
    const char* title;
    // Changes the inputs (and may add arguments) so that create fails.
    std::function<void(CreateInputs&, tstring_array&)> spoil;
    std::uint32_t exitCode;
    // The start of the one line on standard error; "<temp>" stands for the
    // inputs' temporary directory, and a backslash in the path after it for
    // the system's separator.
    std::string message;
};

void PrintTo(const FailingCreate& c, std::ostream* os) { *os << c.title; }

class ImageCreateFailureTest : public testing::TestWithParam<FailingCreate> {};

std::string withTemp(std::string text, const CreateInputs& inputs) {
    const std::string temp = utf8(inputs.temp.path());
    const char separator = static_cast<char>(FileUtils::pathSeparator);
    for (std::size_t at = text.find("<temp>"); at != std::string::npos; at = text.find("<temp>", at)) {
        text.replace(at, 6, temp);
        for (at += temp.size(); at < text.size() && text[at] != '"' && text[at] != ']'; ++at) {
            if (text[at] == '\\') {
                text[at] = separator;
            }
        }
    }
    return text;
}

}  // namespace

TEST_P(ImageCreateFailureTest, LeavesTheDestinationAsItWas) {
    CreateInputs inputs;
    testing_support::makeDirs(inputs.dest);
    writeFile(inputs.dest + L"\\keep.txt", "keep");
    tstring_array args = inputs.createArgs(L"App");
    args.push_back(L"--replace");
    GetParam().spoil(inputs, args);

    const ProcessResult result = runImageTool(args);

    EXPECT_EQ(result.exitCode, GetParam().exitCode);
    const std::vector<std::string> err = testing_support::lines(result.err);
    ASSERT_EQ(err.size(), 1u) << result.err;
    const std::string expected = "kivo-image: " + withTemp(GetParam().message, inputs);
    EXPECT_EQ(err[0].substr(0, expected.size()), expected);
    EXPECT_EQ(listing(inputs.dest), std::vector<std::string>{"keep.txt"});
    EXPECT_EQ(listing(inputs.temp.path() + L"\\out"), std::vector<std::string>{"image"});
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, ImageCreateFailureTest,
    testing::Values(
        FailingCreate{"MissingConfig", [](CreateInputs& i, tstring_array&) { testing_support::removeTree(i.config); },
                      1, "The configuration file \"<temp>\\input.cfg\" does not exist"},
        FailingCreate{"MalformedConfig", [](CreateInputs& i, tstring_array&) { writeFile(i.config, "[Application\n"); },
                      1, "The configuration cannot be used: Error parsing [<temp>\\input.cfg] file at 1: Missing ']' character"},
        FailingCreate{"MissingFiles", [](CreateInputs& i, tstring_array&) { testing_support::removeTree(i.files); }, 1,
                      "The application files directory \"<temp>\\files\" does not exist"},
        FailingCreate{"NotARuntime",
                      [](CreateInputs&, tstring_array& args) { args[8] = testing_support::testBinDir(); }, 1,
                      "\"" + utf8(testing_support::testBinDir()) + "\" is not a runtime: it has no bin\\qsr.dll"},
        FailingCreate{"NotAnIcon",
                      [](CreateInputs& i, tstring_array& args) {
                          writeFile(i.temp.path() + L"\\app.ico", "GIF89a");
                          args.insert(args.end(), {L"--icon", i.temp.path() + L"\\app.ico"});
                      },
                      1, "\"<temp>\\app.ico\" is not an icon file: its header does not say icon"},
        FailingCreate{"MissingIcon",
                      [](CreateInputs& i, tstring_array& args) {
                          args.insert(args.end(), {L"--icon", i.temp.path() + L"\\none.ico"});
                      },
                      1, "Cannot open the icon \"<temp>\\none.ico\": "},
        FailingCreate{"DestinationInsideInput",
                      [](CreateInputs& i, tstring_array& args) { args[10] = i.files + L"\\image"; }, 1,
                      "\"<temp>\\files\\image\" and \"<temp>\\files\" overlap; create the image elsewhere"},
        FailingCreate{"ClosingCheckFindsNoRuntime",
                      [](CreateInputs& i, tstring_array&) {
                          writeFile(i.config, "[Application]\napp.runtime=" + utf8(i.temp.path()) +
                                                  "\\nowhere\napp.mainjar=$APPDIR\\main.jar\n");
                      },
                      1, "The new image would not launch (see the report above), so \"<temp>\\out\\image\" is left as it was"},
        FailingCreate{"RuntimeInsideTheImageWithoutRuntime",
                      [](CreateInputs& i, tstring_array& args) {
                          writeFile(i.config, "[Application]\napp.runtime=$ROOTDIR\\rt\napp.mainjar=$APPDIR\\main.jar\n");
                          args.erase(args.begin() + 7, args.begin() + 9);
                      },
                      2, "create needs --runtime, since app.runtime puts the runtime inside the image"},
        FailingCreate{"LinkInInput",
                      [](CreateInputs& i, tstring_array&) {
                          testing_support::makeDirs(i.temp.path() + L"\\elsewhere");
                          ASSERT_TRUE(makeDirectoryLink(i.files + L"\\linked", i.temp.path() + L"\\elsewhere"));
                      },
                      1, "\"<temp>\\files\\linked\" is a link; kivo-image copies no links: put what it names in its place"},
        FailingCreate{"InvalidName", [](CreateInputs&, tstring_array& args) { args[2] = L"LPT1"; }, 2,
                      "The name \"LPT1\" cannot be a Windows file name: it is a name that Windows reserves for a "
                      "device"}),
    [](const testing::TestParamInfo<FailingCreate>& info) { return std::string(info.param.title); });

TEST(ImageCreateTest, FailedClosingCheckLeavesNoImage) {
    CreateInputs inputs("[Application]\napp.runtime=C:\\nowhere\napp.mainjar=$APPDIR\\main.jar\n");

    const ProcessResult result = runImageTool(inputs.createArgs(L"App"));

    EXPECT_EQ(result.exitCode, 1u);
    EXPECT_EQ(testing_support::reportResult(result.out).rfind("Result: the image would not launch", 0), 0u)
        << result.out;
    EXPECT_EQ(testing_support::lines(result.err).size(), 1u) << result.err;
    EXPECT_EQ(listing(inputs.temp.path() + L"\\out"), std::vector<std::string>{});
}

TEST(ImageCreateTest, CopiesTheRuntimeWhereAppRuntimeNamesItInsideTheImage) {
    CreateInputs inputs("[Application]\napp.runtime=$ROOTDIR\\lib\\rt\napp.mainjar=$APPDIR\\main.jar\n");

    const ProcessResult result = runImageTool(inputs.createArgs(L"App"));

    EXPECT_EQ(result.exitCode, 0u) << result.out << result.err;
    EXPECT_NE(result.out.find(", lib\\rt\\ (4 files, "), std::string::npos) << result.out;
    EXPECT_EQ(readFile(inputs.dest + L"\\lib\\rt\\bin\\qsr.dll"), readFile(inputs.runtime + L"\\bin\\qsr.dll"));
    EXPECT_EQ(listing(inputs.dest), (std::vector<std::string>{"App.exe", "app", "lib"}));
}

TEST(ImageCreateTest, ReplacingAnImageRemovesItsLinksButNotWhatTheyName) {
    CreateInputs inputs;
    const tstring outside = inputs.temp.path() + L"\\elsewhere\\outside";
    testing_support::makeDirs(outside);
    writeFile(outside + L"\\precious.txt", "precious");
    testing_support::makeDirs(inputs.dest + L"\\app");
    ASSERT_TRUE(makeDirectoryLink(inputs.dest + L"\\app\\linked", outside));
    tstring_array args = inputs.createArgs(L"App");
    args.push_back(L"--replace");

    const ProcessResult result = runImageTool(args);

    EXPECT_EQ(result.exitCode, 0u) << result.out << result.err;
    EXPECT_EQ(listing(outside), std::vector<std::string>{"precious.txt"});
    EXPECT_EQ(listing(inputs.dest + L"\\app"), (std::vector<std::string>{"App.cfg", "lib", "main.jar"}));
    // Wine offers no call that deletes a Unix symbolic link to a directory,
    // so there the old image stays beside the new one, link and all.
    if (!testing_support::runningUnderWine()) {
        EXPECT_EQ(listing(inputs.temp.path() + L"\\out"), std::vector<std::string>{"image"});
    }
}

class ImageCreateInterruptTest : public testing::TestWithParam<testing_support::Interrupt> {};

TEST_P(ImageCreateInterruptTest, LeavesTheDestinationAsItWas) {
    CreateInputs inputs;
    testing_support::makeDirs(inputs.dest);
    writeFile(inputs.dest + L"\\keep.txt", "keep");
    testing_support::makeDirs(inputs.files + L"\\many");
    for (int i = 0; i < 4000; ++i) {
        writeFile(inputs.files + L"\\many\\f" + std::to_wstring(i) + L".txt", "x");
    }
    tstring_array args = inputs.createArgs(L"App");
    args.push_back(L"--replace");
    const tstring outDir = inputs.temp.path() + L"\\out";

    // The build has begun when its directory beside the destination exists.
    const testing_support::InterruptOutcome outcome = testing_support::interruptImageTool(
        args, [&outDir] { return listing(outDir).size() >= 2; }, GetParam());

    if (!outcome.notDelivered.empty()) {
        GTEST_SKIP() << outcome.notDelivered;
    }
    if (outcome.exitCode == std::optional<std::uint32_t>(0)) {
        GTEST_SKIP() << "create finished before the interrupt arrived";
    }
    EXPECT_EQ(outcome.exitCode, std::optional<std::uint32_t>(1));
    EXPECT_EQ(listing(inputs.dest), std::vector<std::string>{"keep.txt"});
    EXPECT_EQ(listing(outDir), std::vector<std::string>{"image"});
}

INSTANTIATE_TEST_SUITE_P(Signals, ImageCreateInterruptTest,
                         testing::Values(testing_support::Interrupt::ctrlC, testing_support::Interrupt::terminate),
                         [](const testing::TestParamInfo<testing_support::Interrupt>& info) {
                             return std::string(info.param == testing_support::Interrupt::ctrlC ? "CtrlC" : "Terminate");
                         });
