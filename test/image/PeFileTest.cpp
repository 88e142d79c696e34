// Tests of the reader of library files: machine, kind, exports and imports
// as the fixture runtime's libraries hold them, and files that are not
// libraries.
#include <gtest/gtest.h>

#include <algorithm>

#include "ImageTool.h"
#include "PeFile.h"
#include "TestSupport.h"
#include "ToolError.h"

using imagetool::PeFile;
using imagetool::ToolError;
using testing_support::TempDir;
using testing_support::testBinDir;

namespace {

tstring fixtureBin() { return testBinDir() + L"\\fixtures\\runtime\\bin"; }

bool contains(const std::vector<std::string>& names, const std::string& name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

std::string failureOf(const tstring& path) {
    try {
        PeFile::read(path);
    } catch (const ToolError& error) {
        return tstrings::toUtf8(error.message());
    }
    return "(no failure)";
}

}  // namespace

TEST(PeFileTest, ReadsTheEntryLibrary) {
    const PeFile pe = PeFile::read(fixtureBin() + L"\\qsr.dll");
    EXPECT_TRUE(pe.is64Bit());
    EXPECT_TRUE(pe.isDll);
    EXPECT_TRUE(pe.exportsFunction("QSR_Launch"));
    EXPECT_TRUE(contains(pe.imports, "qsrdep.dll"));
}

TEST(PeFileTest, ReadsTheLauncherAsAProgramWithOneExport) {
    const PeFile pe = PeFile::read(testBinDir() + L"\\kivo.exe");
    EXPECT_TRUE(pe.is64Bit());
    EXPECT_FALSE(pe.isDll);
    EXPECT_EQ(pe.exports, std::vector<std::string>{"jvmLauncherGetAPI"});
}

TEST(PeFileTest, ReadsTheMachineField) {
    TempDir temp;
    const tstring path = temp.path() + L"\\x86.dll";
    testing_support::copyFile(fixtureBin() + L"\\qsrdep.dll", path);
    testing_support::setPeMachine(path, IMAGE_FILE_MACHINE_I386);
    EXPECT_EQ(PeFile::read(path).machine, IMAGE_FILE_MACHINE_I386);
    EXPECT_EQ(imagetool::machineName(IMAGE_FILE_MACHINE_I386), L"x86");
}

TEST(PeFileTest, RefusesFilesThatAreNotLibraries) {
    TempDir temp;
    const tstring text = temp.path() + L"\\text.dll";
    testing_support::writeFile(text, "not a library");
    EXPECT_EQ(failureOf(text), "\"" + tstrings::toUtf8(text) + "\" is not a Windows library: it does not start with \"MZ\"");

    const tstring empty = temp.path() + L"\\empty.dll";
    testing_support::writeFile(empty, "");
    EXPECT_EQ(failureOf(empty), "\"" + tstrings::toUtf8(empty) + "\" is not a Windows library: it is cut short");

    const tstring cut = temp.path() + L"\\cut.dll";
    testing_support::writeFile(cut, testing_support::readFile(fixtureBin() + L"\\qsr.dll").substr(0, 200));
    EXPECT_EQ(failureOf(cut).rfind("\"" + tstrings::toUtf8(cut) + "\" is not a Windows library: ", 0), 0u);
}

TEST(PeFileTest, NamesAMissingFile) {
    EXPECT_EQ(failureOf(L"Z:\\no\\such\\file.dll").rfind("Cannot open \"Z:\\no\\such\\file.dll\": ", 0), 0u);
}
