// End-to-end tests of "kivo-image create" that need Windows: the image it
// lays out launches with the arguments its check showed, Unix paths under
// Wine, and a file that another program holds.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ImageLaunch.h"
#include "ImageTool.h"
#include "LauncherImage.h"
#include "TestSupport.h"

using testing_support::CreateInputs;
using testing_support::LaunchPath;
using testing_support::ProcessOptions;
using testing_support::ProcessResult;
using testing_support::runImageTool;
using testing_support::writeFile;

namespace {

// Holds a file open without sharing while the result lives.
OwnedFileHandle lockFile(const tstring& path) {
    return OwnedFileHandle(::CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
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


TEST(ImageCreateTest, TakesUnixPathsUnderWine) {
    if (!testing_support::runningUnderWine() || !testing_support::pathExists(L"Z:\\tmp")) {
        GTEST_SKIP() << "Unix paths exist only under Wine";
    }
    CreateInputs inputs;
    const tstring unixDir = L"/tmp/kivo-image-test-" + std::to_wstring(::GetCurrentProcessId());
    const tstring windowsDir = L"Z:" + tstrings::replace(unixDir, L"/", L"\\");
    tstring_array args = inputs.createArgs(L"App");
    args.back() = unixDir + L"/image";

    const ProcessResult result = runImageTool(args);

    EXPECT_EQ(result.exitCode, 0u) << result.out << result.err;
    EXPECT_TRUE(testing_support::pathExists(windowsDir + L"\\image\\App.exe"));
    testing_support::removeTree(windowsDir);
}


TEST(ImageCreateTest, LockedApplicationFileLeavesTheDestinationAsItWas) {
    CreateInputs inputs;
    testing_support::makeDirs(inputs.dest);
    writeFile(inputs.dest + L"\\keep.txt", "keep");
    writeFile(inputs.files + L"\\lib\\locked.jar", "x");
    tstring_array args = inputs.createArgs(L"App");
    args.push_back(L"--replace");

    ProcessResult result;
    {
        const OwnedFileHandle lock = lockFile(inputs.files + L"\\lib\\locked.jar");
        result = runImageTool(args);
    }

    EXPECT_EQ(result.exitCode, 1u);
    const std::vector<std::string> err = testing_support::lines(result.err);
    ASSERT_EQ(err.size(), 1u) << result.err;
    const std::string expected =
        "kivo-image: Cannot copy \"" + tstrings::toUtf8(inputs.files) + "\\lib\\locked.jar\" to \"";
    EXPECT_EQ(err[0].substr(0, expected.size()), expected);
    EXPECT_EQ(testing_support::listNames(inputs.dest), std::vector<std::string>{"keep.txt"});
    EXPECT_EQ(testing_support::listNames(inputs.temp.path() + L"\\out"), std::vector<std::string>{"image"});
}
