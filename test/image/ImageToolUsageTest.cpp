// Tests of kivo-image's command line: help, and one line with exit code 2
// for every command line that does not say what to do.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ImageTool.h"
#include "KivoVersion.h"
#include "TestFiles.h"
#include "TestProcess.h"

using testing_support::ProcessResult;
using testing_support::runImageTool;

namespace {

struct UsageCase {
    const char* title;
    tstring_array args;
    std::string message;
};

void PrintTo(const UsageCase& c, std::ostream* os) { *os << c.title; }

class ImageToolUsageTest : public testing::TestWithParam<UsageCase> {};

const tstring_array kCreate = {L"create", L"--name", L"App", L"--config", L"a.cfg", L"--input",
                               L"files",  L"--runtime", L"rt", L"--dest", L"out"};

tstring_array with(tstring_array args, const tstring_array& more) {
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

tstring_array createNamed(const tstring& name) {
    tstring_array args = kCreate;
    args[2] = name;
    return args;
}

}  // namespace

TEST_P(ImageToolUsageTest, IsOneLineWithExitCode2) {
    const ProcessResult result = runImageTool(GetParam().args);
    EXPECT_EQ(result.exitCode, 2u);
    EXPECT_EQ(testing_support::lines(result.err), std::vector<std::string>{"kivo-image: " + GetParam().message});
    EXPECT_EQ(result.out, "");
}

INSTANTIATE_TEST_SUITE_P(
    CommandLines, ImageToolUsageTest,
    testing::Values(
        UsageCase{"NoCommand", {}, "No command given; see \"kivo-image --help\""},
        UsageCase{"UnknownCommand", {L"make"}, "Unknown command \"make\"; see \"kivo-image --help\""},
        UsageCase{"CheckWithoutImage", {L"check"}, "check needs one image directory or launcher; see \"kivo-image help check\""},
        UsageCase{"CheckWithTwoImages", {L"check", L"a", L"b"},
                  "check needs one image directory or launcher; see \"kivo-image help check\""},
        UsageCase{"UnknownOption", with(kCreate, {L"--colour", L"red"}),
                  "Unknown option \"--colour\" for create; see \"kivo-image help create\""},
        UsageCase{"OptionTwice", with(kCreate, {L"--name=Other"}), "The option --name is given twice"},
        UsageCase{"OptionWithoutValue", {L"brand", L"App.exe", L"--icon"}, "The option --icon needs a value"},
        UsageCase{"CreateWithoutDest", {L"create", L"--name", L"App", L"--config", L"a.cfg", L"--input", L"f",
                                         L"--runtime", L"rt"},
                  "create needs --dest; see \"kivo-image help create\""},
        UsageCase{"ReservedName", createNamed(L"CON"),
                  "The name \"CON\" cannot be a Windows file name: it is a name that Windows reserves for a device"},
        UsageCase{"ReservedNameWithExtension", createNamed(L"com1.app"),
                  "The name \"com1.app\" cannot be a Windows file name: it is a name that Windows reserves for a device"},
        UsageCase{"TrailingDot", createNamed(L"App."),
                  "The name \"App.\" cannot be a Windows file name: it ends in a dot or a blank, which Windows drops "
                  "from file names"},
        UsageCase{"ForbiddenCharacter", createNamed(L"A?pp"),
                  "The name \"A?pp\" cannot be a Windows file name: it holds the character '?', which Windows forbids "
                  "in file names"},
        UsageCase{"ThreePartVersion", with(kCreate, {L"--version", L"1.2.3"}),
                  "The version \"1.2.3\" is not four numbers each at most 65535, such as 1.2.3.4"},
        UsageCase{"VersionPartTooLarge", {L"brand", L"App.exe", L"--version=1.2.3.65536"},
                  "The version \"1.2.3.65536\" is not four numbers each at most 65535, such as 1.2.3.4"},
        UsageCase{"TextsWithoutVersion", {L"brand", L"App.exe", L"--company", L"Example Ltd"},
                  "The version texts need --version"},
        UsageCase{"BrandWithNothingToDo", {L"brand", L"App.exe"},
                  "brand needs --icon or --version; see \"kivo-image help brand\""},
        UsageCase{"HelpOnUnknownTopic", {L"help", L"deploy"},
                  "No help on \"deploy\"; the commands are create, brand, check, sign and package"},
        UsageCase{"SignWithoutFiles", {L"sign", L"--pkcs12", L"key.p12"},
                  "sign needs the files to sign; see \"kivo-image help sign\""},
        UsageCase{"SignWithoutKey", {L"sign", L"App.exe"}, "sign needs --pkcs12; see \"kivo-image help sign\""},
        UsageCase{"TwoPasswordSources", {L"sign", L"App.exe", L"--pkcs12", L"k.p12", L"--password-file", L"p",
                                          L"--password-env", L"P"},
                  "Give the password with --password-file or with --password-env, not both"},
        UsageCase{"PasswordWithoutKey", with(kCreate, {L"--password-env", L"P"}), "The signing options need --pkcs12"},
        UsageCase{"PasswordOnTheCommandLine", {L"sign", L"App.exe", L"--pkcs12", L"k.p12", L"--password", L"x"},
                  "Unknown option \"--password\" for sign; see \"kivo-image help sign\""},
        UsageCase{"TimestampNotAUrl", {L"sign", L"App.exe", L"--pkcs12", L"k.p12", L"--timestamp", L"tsa.example"},
                  "The timestamp server \"tsa.example\" is not an http:// or https:// address"},
        UsageCase{"PackageWithoutMsi", {L"package", L"image"}, "package needs --msi; see \"kivo-image help package\""},
        UsageCase{"PackageWithoutImage", {L"package", L"--msi", L"a.msi"},
                  "package needs one image directory; see \"kivo-image help package\""}),
    [](const testing::TestParamInfo<UsageCase>& info) { return std::string(info.param.title); });

TEST(ImageToolHelpTest, OverviewNamesEveryCommand) {
    for (const wchar_t* flag : {L"--help", L"-h", L"/?", L"help"}) {
        const ProcessResult result = runImageTool({flag});
        EXPECT_EQ(result.exitCode, 0u);
        EXPECT_EQ(result.err, "");
        for (const char* usage : {"kivo-image create ", "kivo-image brand ", "kivo-image check ", "kivo-image sign ",
                                  "kivo-image package "}) {
            EXPECT_NE(result.out.find(usage), std::string::npos) << usage;
        }
    }
}

TEST(ImageToolHelpTest, VersionIsTheProjects) {
    const ProcessResult result = runImageTool({L"--version"});

    EXPECT_EQ(result.exitCode, 0u);
    EXPECT_EQ(testing_support::lines(result.out), std::vector<std::string>{"kivo-image " KIVO_VERSION_TEXT});
    EXPECT_EQ(result.err, "");
}

TEST(ImageToolHelpTest, EachCommandExplainsItself) {
    const std::vector<std::pair<tstring_array, std::string>> cases = {
        {{L"create", L"--help"}, "kivo-image create: lays out a new application image and checks it."},
        {{L"help", L"brand"}, "kivo-image brand <launcher.exe>: replaces the icon and writes the version resource."},
        {{L"check", L"-h"}, "kivo-image check <image dir | launcher.exe> [-- <arguments>...]: reports what the launcher"}};
    for (const auto& [args, firstLine] : cases) {
        const ProcessResult result = runImageTool(args);
        EXPECT_EQ(result.exitCode, 0u);
        EXPECT_EQ(testing_support::lines(result.out).at(0), firstLine);
    }
}
