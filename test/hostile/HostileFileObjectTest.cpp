// The configuration file and the package file as file-system objects the
// launcher cannot read: a directory, a file another process holds open
// without sharing, a file nobody may read.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "HostileLaunch.h"

using namespace testing_support;

namespace {

enum class Target { Cfg, Package };
enum class Obstacle { Directory, ExclusivelyOpen, NoAccess, OpenForWritingSharedForReading };

struct FileObjectCase {
    const char* name;
    Target target;
    Obstacle obstacle;
};

void PrintTo(const FileObjectCase& testCase, std::ostream* out) { *out << testCase.name; }

const FileObjectCase cases[] = {
    {"CfgIsDirectory", Target::Cfg, Obstacle::Directory},
    {"CfgExclusivelyOpen", Target::Cfg, Obstacle::ExclusivelyOpen},
    {"CfgWithoutAccess", Target::Cfg, Obstacle::NoAccess},
    {"CfgOpenForWriting", Target::Cfg, Obstacle::OpenForWritingSharedForReading},
    {"PackageIsDirectory", Target::Package, Obstacle::Directory},
    {"PackageExclusivelyOpen", Target::Package, Obstacle::ExclusivelyOpen},
    {"PackageWithoutAccess", Target::Package, Obstacle::NoAccess},
    {"PackageOpenForWriting", Target::Package, Obstacle::OpenForWritingSharedForReading},
};

const char* const kCfg = "[Application]\napp.mainclass=Main\n";

// A writer that lets others read, as an editor saving the file would.
OwnedFileHandle openForWriting(const tstring& path) {
    return OwnedFileHandle(::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                         OPEN_EXISTING, 0, nullptr));
}

class HostileFileObjectTest : public ::testing::TestWithParam<std::tuple<FileObjectCase, LaunchPath>> {};

// Expected on Windows: a directory, an exclusively open file and a file
// without read access all fail to open (the C runtime reports EACCES), and
// the launcher prints "Error opening \"<path>\" file: " with that text.
// Wine enforces the sharing modes of open files as Windows does, but not
// access lists: there the file without access opens and the launch goes on.
// Either way the launcher must agree with what opening the file gives here.
TEST_P(HostileFileObjectTest, ReportsTheOpenErrorOrLaunches) {
    const auto& [testCase, path] = GetParam();
    LauncherImage image;
    image.installRuntime();
    const tstring target = testCase.target == Target::Cfg ? image.cfgPath() : image.appDir() + L"\\.package";
    if (testCase.target == Target::Package) {
        // A name no lookup directory holds, so the file of the image is used.
        image.writeCfg(kCfg);
    }
    if (testCase.obstacle == Obstacle::Directory) {
        makeDirs(target);
    } else {
        writeFile(target, testCase.target == Target::Cfg ? kCfg : "KivoHostileNoSuchPackage\n");
    }

    OwnedFileHandle lock;
    std::unique_ptr<ScopedNoAccess> noAccess;
    OwnedFileHandle writer;
    if (testCase.obstacle == Obstacle::ExclusivelyOpen) {
        lock = openExclusively(target);
    } else if (testCase.obstacle == Obstacle::NoAccess) {
        noAccess = std::make_unique<ScopedNoAccess>(target);
    } else if (testCase.obstacle == Obstacle::OpenForWritingSharedForReading) {
        writer = openForWriting(target);
        ASSERT_TRUE(writer);
    }
    const std::optional<std::string> openError = expectedOpenError(target);
    if (testCase.obstacle == Obstacle::Directory || testCase.obstacle == Obstacle::ExclusivelyOpen) {
        ASSERT_TRUE(openError) << "the system lets this process read it";
    }
    if (testCase.obstacle == Obstacle::OpenForWritingSharedForReading) {
        ASSERT_FALSE(openError) << *openError;
    }

    const HostileRun run = runHostile(image, path);

    if (openError) {
        EXPECT_EQ(run.result.exitCode, 1u);
        EXPECT_EQ(run.errorLine, *openError);
        EXPECT_FALSE(run.record.found);
    } else {
        EXPECT_EQ(run.result.exitCode, 0u);
        EXPECT_EQ(run.result.err, "");
        ASSERT_TRUE(run.record.found);
        EXPECT_EQ(run.record.argv.back(), "Main");
    }
}

std::string caseName(const ::testing::TestParamInfo<std::tuple<FileObjectCase, LaunchPath>>& info) {
    return std::string(std::get<0>(info.param).name) +
           launchPathName(std::get<1>(info.param));
}

INSTANTIATE_TEST_SUITE_P(Objects, HostileFileObjectTest,
                         ::testing::Combine(::testing::ValuesIn(cases),
                                            ::testing::Values(LaunchPath::InProcess, LaunchPath::Restart)),
                         caseName);

}  // namespace
