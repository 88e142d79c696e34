// End-to-end tests of "kivo-image create": the image it lays out launches
// with the arguments its check showed, and a failing create leaves the
// destination as it was.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "ImageTool.h"
#include "LauncherImage.h"
#include "TestSupport.h"

using testing_support::CreateInputs;
using testing_support::LaunchPath;
using testing_support::ProcessOptions;
using testing_support::ProcessResult;
using testing_support::readFile;
using testing_support::runImageTool;
using testing_support::writeFile;

namespace {

std::string utf8(const tstring& text) { return tstrings::toUtf8(text); }

bool exists(const tstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Holds a file open without sharing while the result lives.
OwnedFileHandle lockFile(const tstring& path) {
    return OwnedFileHandle(::CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
}

// The names in a directory, sorted, without "." and "..".
std::vector<std::string> listing(const tstring& dir) {
    std::vector<std::string> names;
    WIN32_FIND_DATAW entry;
    const OwnedFindHandle found(::FindFirstFileW((dir + L"\\*").c_str(), &entry));
    if (!found) {
        return names;
    }
    do {
        const tstring name = entry.cFileName;
        if (name != L"." && name != L"..") {
            names.push_back(utf8(name));
        }
    } while (::FindNextFileW(found.get(), &entry));
    std::sort(names.begin(), names.end());
    return names;
}

// The Unix path of a path under Wine, through Wine's own kernel32 export.
std::string unixPathOf(const tstring& path) {
    typedef char* (*UnixFileName)(const wchar_t*);
    const auto toUnix = reinterpret_cast<UnixFileName>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    char* const unix = toUnix ? toUnix(path.c_str()) : nullptr;
    const std::string result = unix ? unix : "";
    ::HeapFree(::GetProcessHeap(), 0, unix);
    return result;
}

// A symbolic link to a directory. Windows makes it itself; Wine's
// CreateSymbolicLinkW makes nothing, so there the link is made by the
// system's ln, which Wine starts like any program.
bool makeDirectoryLink(const tstring& link, const tstring& target) {
    if (::CreateSymbolicLinkW(link.c_str(), target.c_str(),
                              SYMBOLIC_LINK_FLAG_DIRECTORY | SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE) &&
        exists(link)) {
        return true;
    }
    if (!testing_support::runningUnderWine()) {
        return false;
    }
    tstring commandLine = L"Z:\\bin\\ln -s \"" + tstrings::fromUtf8(unixPathOf(target)) + L"\" \"" +
                          tstrings::fromUtf8(unixPathOf(link)) + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    if (!::CreateProcessW(L"Z:\\bin\\ln", commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          &info)) {
        return false;
    }
    // A Unix program's handles say nothing of its end: the link appearing does.
    const OwnedHandle thread(info.hThread);
    const OwnedHandle process(info.hProcess);
    for (int i = 0; i < 500 && !exists(link); ++i) {
        ::Sleep(10);
    }
    return exists(link);
}

ProcessResult launch(const tstring& exe, const tstring& appDir, LaunchPath path, const tstring_array& args = {}) {
    const tstring systemPath = testing_support::envVariable(L"PATH").value_or(tstring());
    ProcessOptions options;
    options.env[L"PATH"] = path == LaunchPath::InProcess ? systemPath + L";" + appDir : systemPath;
    options.env[L"KIVO_DEBUG"] = std::nullopt;
    return testing_support::runProcess(exe, args, options);
}

class ImageCreateLaunchTest : public testing::TestWithParam<LaunchPath> {};

}  // namespace

TEST_P(ImageCreateLaunchTest, CreatedImageLaunchesWithTheArgumentsCheckShowed) {
    CreateInputs inputs;

    const ProcessResult created = runImageTool(inputs.createArgs(L"Démo"));

    ASSERT_EQ(created.exitCode, 0u) << created.out << created.err;
    EXPECT_EQ(created.err, "");
    const tstring exe = inputs.dest + L"\\Démo.exe";
    const tstring appDir = inputs.dest + L"\\app";
    for (const tstring_array& args : {tstring_array{}, tstring_array{L"one", L"two words"}}) {
        tstring_array checkArgs = {L"check", exe};
        if (!args.empty()) {
            checkArgs.push_back(L"--");
            checkArgs.insert(checkArgs.end(), args.begin(), args.end());
        }
        const ProcessResult report = args.empty() ? created : runImageTool(checkArgs);
        const std::vector<std::string> reported = testing_support::reportedArgv(report.out);

        EXPECT_EQ(testing_support::runtimeArgv(launch(exe, appDir, GetParam(), args)), reported);
        EXPECT_EQ(reported.size(), args.empty() ? 7u : 8u);
    }
}

INSTANTIATE_TEST_SUITE_P(Paths, ImageCreateLaunchTest, testing::Values(LaunchPath::InProcess, LaunchPath::Restart));

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
    EXPECT_EQ(readFile(inputs.dest + L"\\Приложение.exe"), readFile(testing_support::testBinDir() + L"\\kivo.exe"));
    EXPECT_EQ(listing(inputs.temp.path() + L"\\out"), std::vector<std::string>{"image"});
}

TEST(ImageCreateTest, TakesTheWindowedLauncherWhenAsked) {
    CreateInputs inputs;
    tstring_array args = inputs.createArgs(L"App");
    args.push_back(L"--windowed");

    const ProcessResult result = runImageTool(args);

    ASSERT_EQ(result.exitCode, 0u) << result.out << result.err;
    EXPECT_EQ(readFile(inputs.dest + L"\\App.exe"), readFile(testing_support::testBinDir() + L"\\kivow.exe"));
}

TEST(ImageCreateTest, NamesTheDirectoryWithoutAWindowedLauncher) {
    CreateInputs inputs;
    const tstring lonelyTool = inputs.temp.path() + L"\\kivo-image.exe";
    testing_support::copyFile(testing_support::imageToolPath(), lonelyTool);
    tstring_array args = inputs.createArgs(L"App");
    args.push_back(L"--windowed");

    const ProcessResult result = testing_support::runProcess(lonelyTool, args);

    EXPECT_EQ(result.exitCode, 1u);
    EXPECT_EQ(testing_support::lines(result.err),
              std::vector<std::string>{"kivo-image: The windowed launcher kivow.exe is not in \"" +
                                       utf8(inputs.temp.path()) + "\""});
    EXPECT_FALSE(exists(inputs.dest));
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
    CreateInputs inputs("[Application]\napp.runtime=" + utf8(testing_support::testBinDir()) +
                        "\\fixtures\\runtime\napp.mainjar=$APPDIR\\main.jar\n");
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
    EXPECT_TRUE(exists(inputs.dest + L"\\App.exe"));
}

TEST(ImageCreateTest, FailureRemovesTheDirectoriesItCreated) {
    CreateInputs inputs;
    writeFile(inputs.files + L"\\lib\\locked.jar", "x");
    tstring_array args = inputs.createArgs(L"App");
    args.back() = inputs.temp.path() + L"\\new\\deeper\\image";

    const OwnedFileHandle lock = lockFile(inputs.files + L"\\lib\\locked.jar");
    const ProcessResult result = runImageTool(args);

    EXPECT_EQ(result.exitCode, 1u);
    EXPECT_FALSE(exists(inputs.temp.path() + L"\\new"));
}

TEST(ImageCreateTest, TakesUnixPathsUnderWine) {
    if (!testing_support::runningUnderWine() || !exists(L"Z:\\tmp")) {
        GTEST_SKIP() << "Unix paths exist only under Wine";
    }
    CreateInputs inputs;
    const tstring unixDir = L"/tmp/kivo-image-test-" + std::to_wstring(::GetCurrentProcessId());
    const tstring windowsDir = L"Z:" + tstrings::replace(unixDir, L"/", L"\\");
    tstring_array args = inputs.createArgs(L"App");
    args.back() = unixDir + L"/image";

    const ProcessResult result = runImageTool(args);

    EXPECT_EQ(result.exitCode, 0u) << result.out << result.err;
    EXPECT_TRUE(exists(windowsDir + L"\\image\\App.exe"));
    testing_support::removeTree(windowsDir);
}

namespace {

struct FailingCreate {
    const char* title;
    // Changes the inputs (and may add arguments) so that create fails.
    std::function<void(CreateInputs&, tstring_array&)> spoil;
    DWORD exitCode;
    // The start of the one line on standard error; "<temp>" stands for the
    // inputs' temporary directory.
    std::string message;
};

void PrintTo(const FailingCreate& c, std::ostream* os) { *os << c.title; }

class ImageCreateFailureTest : public testing::TestWithParam<FailingCreate> {};

std::string withTemp(std::string text, const CreateInputs& inputs) {
    const std::string temp = utf8(inputs.temp.path());
    for (std::size_t at = text.find("<temp>"); at != std::string::npos; at = text.find("<temp>", at + temp.size())) {
        text.replace(at, 6, temp);
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

    ProcessResult result;
    {
        const OwnedFileHandle lock = lockFile(inputs.files + L"\\lib\\locked.jar");
        result = runImageTool(args);
    }

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
        FailingCreate{"LockedApplicationFile",
                      [](CreateInputs& i, tstring_array&) { writeFile(i.files + L"\\lib\\locked.jar", "x"); }, 1,
                      "Cannot copy \"<temp>\\files\\lib\\locked.jar\" to \""},
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

TEST(ImageCreateInterruptTest, CtrlCLeavesTheDestinationAsItWas) {
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
    testing_support::RunningProcess tool(testing_support::imageToolPath(), args, CREATE_NEW_CONSOLE);

    // The build has begun when its directory beside the destination exists.
    const ULONGLONG deadline = ::GetTickCount64() + 30000;
    while (listing(outDir).size() < 2 && ::GetTickCount64() < deadline) {
        ::Sleep(5);
    }
    ASSERT_EQ(listing(outDir).size(), 2u);
    const ProcessResult sent = testing_support::runProcess(
        testing_support::testBinDir() + L"\\kivo_send_console_ctrl.exe", {L"c", std::to_wstring(tool.pid())});
    if (sent.exitCode != 0) {
        GTEST_SKIP() << "this system cannot deliver the console event (sender exit code " << sent.exitCode << ")";
    }

    const std::optional<DWORD> exitCode = tool.wait();
    if (exitCode == std::optional<DWORD>(0)) {
        GTEST_SKIP() << "create finished before the console event arrived";
    }
    EXPECT_EQ(exitCode, std::optional<DWORD>(1));
    EXPECT_EQ(listing(inputs.dest), std::vector<std::string>{"keep.txt"});
    EXPECT_EQ(listing(outDir), std::vector<std::string>{"image"});
}
