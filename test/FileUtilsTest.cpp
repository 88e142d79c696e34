// Tests of the path operations. Both separators separate on every system;
// combinePath writes FileUtils::pathSeparator.
#include <gtest/gtest.h>

#include <filesystem>

#include "FileUtils.h"
#include "TestFiles.h"

namespace {

struct PathCase {
    tstring input;
    tstring expected;
};

void PrintTo(const PathCase& c, std::ostream* os) { *os << ::testing::PrintToString(c.input); }

#define PATH_FUNCTION_TEST(Suite, function)                                              \
    class Suite : public ::testing::TestWithParam<PathCase> {};                          \
    TEST_P(Suite, GivesExpectedPath) {                                                   \
        EXPECT_EQ(GetParam().expected, FileUtils::function(GetParam().input))            \
            << "input: " << tstrings::toUtf8(GetParam().input);                          \
    }

PATH_FUNCTION_TEST(FileUtilsParentDirTest, parentDir)
PATH_FUNCTION_TEST(FileUtilsFileNameTest, fileName)
PATH_FUNCTION_TEST(FileUtilsWithoutExtensionTest, withoutExtension)
PATH_FUNCTION_TEST(FileUtilsStripTrailingSeparatorsTest, stripTrailingSeparators)

INSTANTIATE_TEST_SUITE_P(Table, FileUtilsParentDirTest,
                         ::testing::Values(PathCase{L"C:\\app\\bin\\launcher.exe", L"C:\\app\\bin"},
                                           PathCase{L"C:/app/bin/launcher.exe", L"C:/app/bin"},
                                           PathCase{L"C:\\app\\", L"C:\\app"}, PathCase{L"C:\\app\\.", L"C:"},
                                           PathCase{L"C:\\app\\\\launcher.exe", L"C:\\app"},
                                           PathCase{L"C:\\app/\\/x", L"C:\\app"},
                                           PathCase{L"launcher.exe", L""}, PathCase{L"\\launcher.exe", L""},
                                           PathCase{L"\\\\launcher.exe", L""}, PathCase{L"", L""},
                                           PathCase{L"\\.", L""}, PathCase{L"a.", L""}));

INSTANTIATE_TEST_SUITE_P(Table, FileUtilsFileNameTest,
                         ::testing::Values(PathCase{L"C:\\app\\launcher.exe", L"launcher.exe"},
                                           PathCase{L"C:/app/launcher.exe", L"launcher.exe"},
                                           PathCase{L"C:\\app/launcher.exe", L"launcher.exe"},
                                           PathCase{L"launcher.exe", L"launcher.exe"},
                                           PathCase{L"C:\\app\\", L""}, PathCase{L"", L""}));

INSTANTIATE_TEST_SUITE_P(Table, FileUtilsWithoutExtensionTest,
                         ::testing::Values(PathCase{L"C:\\app\\launcher.exe", L"C:\\app\\launcher"},
                                           PathCase{L"launcher", L"launcher"},
                                           PathCase{L"C:\\app.dir\\launcher", L"C:\\app.dir\\launcher"},
                                           PathCase{L"C:/app.dir/launcher", L"C:/app.dir/launcher"},
                                           PathCase{L"archive.tar.gz", L"archive.tar"},
                                           PathCase{L"C:\\app\\.cfg", L"C:\\app\\"}, PathCase{L"", L""}));

INSTANTIATE_TEST_SUITE_P(Table, FileUtilsStripTrailingSeparatorsTest,
                         ::testing::Values(PathCase{L"C:\\app\\", L"C:\\app"}, PathCase{L"C:\\app/\\/", L"C:\\app"},
                                           PathCase{L"C:\\app", L"C:\\app"}, PathCase{L"\\/\\", L""},
                                           PathCase{L"", L""}));

TEST(FileUtilsTest, ParentDirTwiceGivesGrandparent) {
    EXPECT_EQ(L"C:\\app", FileUtils::parentDir(FileUtils::parentDir(L"C:\\app\\bin\\launcher.exe")));
}

struct CombineCase {
    tstring base;
    tstring part;
    tstring expected;
};

void PrintTo(const CombineCase& c, std::ostream* os) {
    *os << ::testing::PrintToString(c.base) << ", " << ::testing::PrintToString(c.part);
}

// `head`, the separator that combinePath writes, and `tail`.
tstring joined(const tstring& head, const tstring& tail) { return head + FileUtils::pathSeparator + tail; }

class FileUtilsCombinePathTest : public ::testing::TestWithParam<CombineCase> {};

TEST_P(FileUtilsCombinePathTest, JoinsWithOneSeparator) {
    const CombineCase& c = GetParam();
    EXPECT_EQ(c.expected, FileUtils::combinePath(c.base, c.part));
}

INSTANTIATE_TEST_SUITE_P(Table, FileUtilsCombinePathTest,
                         ::testing::Values(CombineCase{L"", L"x", L"x"}, CombineCase{L"C:\\app", L"", L"C:\\app"},
                                           CombineCase{L"", L"", L""},
                                           CombineCase{L"C:\\app///", L"/x", joined(L"C:\\app", L"x")},
                                           CombineCase{L"C:\\app\\", L"\\lib", joined(L"C:\\app", L"lib")},
                                           CombineCase{L"C:\\app", L"lib", joined(L"C:\\app", L"lib")},
                                           CombineCase{L"C:\\app", L"\\\\lib", joined(L"C:\\app", L"\\lib")},
                                           CombineCase{L"C:/app/", L"lib/x.jar", joined(L"C:/app", L"lib/x.jar")},
                                           CombineCase{L"/app", L"lib", joined(L"/app", L"lib")},
                                           CombineCase{L"\\", L"x", joined(L"", L"x")},
                                           CombineCase{L"/", L"x", joined(L"", L"x")}));

TEST(FileUtilsTest, ExistsForDirectoriesAndFilesOnly) {
    testing_support::TempDir dir;
    testing_support::writeFile(dir.path() + L"\\file.txt", "x");
    EXPECT_TRUE(FileUtils::exists(dir.path()));
    EXPECT_TRUE(FileUtils::exists(dir.path() + L"\\file.txt"));
    EXPECT_TRUE(FileUtils::exists(FileUtils::combinePath(dir.path(), L"file.txt")));
    EXPECT_FALSE(FileUtils::exists(dir.path() + L"\\missing.txt"));
    EXPECT_FALSE(FileUtils::exists(dir.path() + L"\\missing\\file.txt"));
    EXPECT_FALSE(FileUtils::exists(L""));
}

tstring currentDir() { return tstrings::fromUtf8(std::filesystem::current_path().u8string()); }

TEST(FileUtilsTest, ToAbsolutePathOfEmptyPathIsCurrentDirectory) {
    EXPECT_EQ(currentDir(), FileUtils::toAbsolutePath(L""));
}

TEST(FileUtilsTest, ToAbsolutePathResolvesDotDotAgainstCurrentDirectory) {
    EXPECT_EQ(FileUtils::combinePath(currentDir(), L"b"), FileUtils::toAbsolutePath(L"a\\..\\b"));
    EXPECT_EQ(FileUtils::combinePath(currentDir(), L"b"), FileUtils::toAbsolutePath(L"a/../b"));
}

TEST(FileUtilsTest, ToAbsolutePathResolvesDotDotInAbsolutePath) {
    const tstring base = currentDir();
    EXPECT_EQ(FileUtils::combinePath(FileUtils::combinePath(base, L"x"), L"z"),
              FileUtils::toAbsolutePath(base + L"\\x\\y\\..\\.\\z"));
}

TEST(FileUtilsTest, ToAbsolutePathWorksBeyondMaxPath) {
    const tstring deep = FileUtils::combinePath(tstring(200, L'a'), tstring(200, L'b'));
    EXPECT_EQ(FileUtils::combinePath(currentDir(), FileUtils::combinePath(deep, L"c")),
              FileUtils::toAbsolutePath(deep + L"\\x\\..\\.\\c"));
    EXPECT_EQ(FileUtils::combinePath(currentDir(), deep), FileUtils::toAbsolutePath(deep));
}

}  // namespace
