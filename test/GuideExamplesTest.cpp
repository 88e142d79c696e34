// Launches every configuration example of the user's guide and checks that
// the runtime receives exactly the argument vector the guide shows.
#include <gtest/gtest.h>

#include "FileUtils.h"
#include "FixtureRecord.h"
#include "LauncherImage.h"
#include "TestSupport.h"

namespace ts = testing_support;

namespace {

// The guide shows every vector for an image installed in this directory.
const std::string kGuideRoot = "C:\\Apps\\MyApp";

struct GuideExample {
    const char* name;
    const wchar_t* dir;
    tstring_array args;
    const wchar_t* expected;
};

void PrintTo(const GuideExample& example, std::ostream* os) { *os << example.name; }

tstring examplesDir() { return FileUtils::combinePath(ts::testBinDir(), L"guide-examples"); }

std::vector<std::string> expectedArgs(const tstring& file, const std::string& root) {
    std::vector<std::string> args;
    for (std::string line : ts::lines(ts::readFile(file))) {
        for (std::size_t pos; (pos = line.find(kGuideRoot)) != std::string::npos;) {
            line.replace(pos, kGuideRoot.size(), root);
        }
        args.push_back(line);
    }
    return args;
}

class GuideExampleTest : public ::testing::TestWithParam<GuideExample> {};

TEST_P(GuideExampleTest, RuntimeReceivesTheVectorTheGuideShows) {
    const GuideExample& example = GetParam();
    const tstring dir = FileUtils::combinePath(examplesDir(), example.dir);
    ts::LauncherImage image(L"MyApp.exe");
    image.writeCfg(ts::readFile(FileUtils::combinePath(dir, L"MyApp.cfg")));
    ts::writeFile(FileUtils::combinePath(image.appDir(), L"splash.png"), "png");
    image.installRuntime();

    for (ts::LaunchPath path : {ts::LaunchPath::InProcess, ts::LaunchPath::Restart}) {
        const ts::ProcessResult result = image.run(example.args, path);
        ASSERT_EQ(0u, result.exitCode) << result.err;
        EXPECT_EQ("", result.err);
        const ts::FixtureRecord record = ts::parseFixtureRecord(result.out);
        ASSERT_TRUE(record.found) << result.out;
        EXPECT_EQ(expectedArgs(FileUtils::combinePath(dir, example.expected), tstrings::toUtf8(image.root())),
                  record.argv);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Guide, GuideExampleTest,
    ::testing::Values(GuideExample{"Classic", L"classic", {}, L"args.txt"},
                      GuideExample{"ClassicWithArguments", L"classic", {L"one", L"two words"},
                                   L"args-one-two-words.txt"},
                      GuideExample{"Modular", L"modular", {}, L"args.txt"}),
    [](const ::testing::TestParamInfo<GuideExample>& info) { return std::string(info.param.name); });

}  // namespace
