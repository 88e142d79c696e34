// Tests of the path operations on paths with a drive, which only Windows
// reads as absolute.
#include <gtest/gtest.h>

#include "FileUtils.h"

namespace {

TEST(FileUtilsTest, ToAbsolutePathResolvesDotDotInDrivePath) {
    EXPECT_EQ(L"C:\\x\\z", FileUtils::toAbsolutePath(L"C:\\x\\y\\..\\.\\z"));
    EXPECT_EQ(L"C:\\x\\z", FileUtils::toAbsolutePath(L"C:/x/y/.././z"));
}

TEST(FileUtilsTest, ToAbsolutePathOfDrivePathWorksBeyondMaxPath) {
    const tstring deep = L"C:\\" + tstring(200, L'a') + L"\\" + tstring(200, L'b');
    EXPECT_EQ(deep + L"\\c", FileUtils::toAbsolutePath(deep + L"\\x\\..\\.\\c"));
    EXPECT_EQ(deep, FileUtils::toAbsolutePath(deep));
}

}  // namespace
