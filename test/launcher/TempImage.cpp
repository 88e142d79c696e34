// Application images in temporary directories, on every platform.
#include "TempImage.h"

#include "FileUtils.h"

namespace testing_support {

using FileUtils::combinePath;

void PrintTo(LaunchPath path, std::ostream* os) { *os << (path == LaunchPath::InProcess ? "InProcess" : "Restart"); }

TempImage::TempImage(const tstring& launcherFile, const tstring& fixturesDir, const tstring& exeName,
                     const tstring& rootName)
    : temp(L"kivo-e2e"), fixtures(fixturesDir), rootDir(combinePath(temp.path(), rootName)), exeName(exeName) {
    makeDirs(appDir());
    copyFile(launcherFile, launcherPath());
}

tstring TempImage::launcherPath() const { return combinePath(rootDir, exeName); }

tstring TempImage::appDir() const { return combinePath(rootDir, L"app"); }

tstring TempImage::runtimeDir() const { return combinePath(rootDir, L"runtime"); }

tstring TempImage::cfgPath() const {
    const tstring::size_type dot = exeName.rfind(L'.');
    return combinePath(appDir(), exeName.substr(0, dot) + L".cfg");
}

void TempImage::writeCfg(const std::string& text) const { writeFile(cfgPath(), text); }

void TempImage::writePackage(const std::string& text) const { writeFile(combinePath(appDir(), L".package"), text); }

void TempImage::installRuntime(const tstring& fixture) const {
    const bool fullPath = fixture.find_first_of(L"\\/") != tstring::npos;
    copyTree(fullPath ? fixture : combinePath(fixtures, fixture), runtimeDir());
}

}  // namespace testing_support
