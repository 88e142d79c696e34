// Tests of PackageFile::loadFromAppDir: the name taken from the first line,
// the trace lines written on the way and the error for an unreadable file.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ErrorHandling.h"
#include "FileUtils.h"
#include "Log.h"
#include "LoadErrors.h"
#include "LogCapture.h"
#include "PackageFile.h"
#include "TestFiles.h"

using namespace testing_support;

namespace {

std::vector<tstring> messages(const LogCapture& log) {
    std::vector<tstring> result;
    for (const LogRecord& record : log.records) {
        result.push_back(record.message);
    }
    return result;
}

class PackageFileTest : public testing::Test {
protected:
    TempDir appDir{L"pkg"};
    tstring path = FileUtils::combinePath(appDir.path(), L".package");
};

struct NameCase {
    const char* name;
    std::string content;
    tstring packageName;
    bool nameTraced;
};

void PrintTo(const NameCase& c, std::ostream* os) {
    *os << c.name;
}

class PackageFileNameTest : public PackageFileTest, public testing::WithParamInterface<NameCase> {};

TEST_P(PackageFileNameTest, TakesFirstLineAsName) {
    writeFile(path, GetParam().content);
    LogCapture log;
    const PackageFile package = PackageFile::loadFromAppDir(appDir.path());
    EXPECT_EQ(package.packageName(), GetParam().packageName);
    std::vector<tstring> expected = {L"Read \"" + path + L"\" package file"};
    if (GetParam().nameTraced) {
        expected.push_back(L"Package name is [" + GetParam().packageName + L"]");
    }
    EXPECT_EQ(messages(log), expected);
}

const NameCase nameCases[] = {
    {"CrLfAndFurtherLines", "MyPackage\r\nsecond\nthird\n", L"MyPackage", true},
    {"BlanksKept", " MyPackage \n", L" MyPackage ", true},
    {"EmptyFile", "", L"", false},
    {"OnlyLineFeed", "\n", L"", true},
    {"OnlyCrLf", "\r\n", L"", true},
    {"NoFinalLineEnd", "My Package", L"My Package", true},
    {"InvalidUtf8", "My\xFFPackage\n", L"", true},
    {"NonAscii", "Caf\xC3\xA9 \xE6\x97\xA5\n", L"Caf\u00E9 \u65E5", true},
    {"ByteOrderMarkKept", "\xEF\xBB\xBFPkg\n", L"\uFEFFPkg", true},
    {"CtrlZEndsName", "Pkg\x1Arest\n", L"Pkg", true},
    {"CtrlZFirst", "\x1APkg\n", L"", false},
    {"LoneCrIsPartOfName", "a\rb\r\n", L"a\rb", true},
};

INSTANTIATE_TEST_SUITE_P(Cases, PackageFileNameTest, testing::ValuesIn(nameCases),
                         [](const testing::TestParamInfo<NameCase>& info) { return std::string(info.param.name); });

TEST_F(PackageFileTest, MissingFileGivesEmptyNameWithoutTrace) {
    LogCapture log;
    EXPECT_EQ(PackageFile::loadFromAppDir(appDir.path()).packageName(), L"");
    EXPECT_TRUE(log.records.empty());
}

TEST_F(PackageFileTest, TracesAtTraceLevelFromLoadFromAppDir) {
    writeFile(path, "MyPackage\n");
    LogCapture log;
    PackageFile::loadFromAppDir(appDir.path());
    ASSERT_EQ(log.records.size(), 2u);
    for (const LogRecord& r : log.records) {
        EXPECT_EQ(r.severityName, L"TRACE");
        EXPECT_EQ(r.fileName, L"PackageFile.cpp");
        EXPECT_EQ(r.function, L"PackageFile::loadFromAppDir");
    }
}

TEST_F(PackageFileTest, AppDirWithTrailingSeparatorGivesSamePath) {
    writeFile(path, "MyPackage\n");
    LogCapture log;
    EXPECT_EQ(PackageFile::loadFromAppDir(appDir.path() + L"\\").packageName(), L"MyPackage");
    ASSERT_FALSE(log.records.empty());
    EXPECT_EQ(log.records[0].message, L"Read \"" + path + L"\" package file");
}

TEST_F(PackageFileTest, DirectoryInPlaceOfFileGivesOpenError) {
    makeDirs(path);
    LogCapture log;
    std::string message = "no error";
    try {
        PackageFile::loadFromAppDir(appDir.path());
    } catch (const KivoError<std::runtime_error>& e) {
        message = e.bareMessage();
        EXPECT_EQ(std::string(e.what()).rfind("PackageFile.cpp(", 0), 0u) << e.what();
        EXPECT_NE(std::string(e.what()).find(") at PackageFile::loadFromAppDir(): Error opening"), std::string::npos)
            << e.what();
    }
    EXPECT_EQ(message, "Error opening \"" + tstrings::toUtf8(path) + "\" file: " + errnoText(kDirectoryOpenErrno));
    EXPECT_EQ(messages(log), (std::vector<tstring>{L"Read \"" + path + L"\" package file"}));
}

TEST(PackageFileValueTest, DefaultHasEmptyName) {
    EXPECT_EQ(PackageFile().packageName(), L"");
    EXPECT_EQ(PackageFile(L"x").packageName(), L"x");
}

}  // namespace
