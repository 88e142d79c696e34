// End-to-end tests of branding on Windows: the icon and the version
// resource that kivo-image writes, read back with the system's own
// functions, and the branded launcher still launches.
#include <gtest/gtest.h>
#include <windows.h>
// After <windows.h>, which it needs.
#include <imagehlp.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "FixtureRecord.h"
#include "ImageTool.h"
#include "KivoVersion.h"
#include "OwnedResource.h"
#include "TestSupport.h"

using testing_support::CreateInputs;
using testing_support::ProcessResult;
using testing_support::TempDir;
using testing_support::readFile;
using testing_support::runImageTool;
using testing_support::writeFile;

namespace {

std::string utf8(const tstring& text) { return tstrings::toUtf8(text); }

// The version resource of a file, read as Explorer reads it.
class VersionInfo {
public:
    explicit VersionInfo(const tstring& path) {
        DWORD ignored = 0;
        const DWORD size = ::GetFileVersionInfoSizeW(path.c_str(), &ignored);
        if (size > 0) {
            block.resize(size);
            if (!::GetFileVersionInfoW(path.c_str(), 0, size, block.data())) {
                block.clear();
            }
        }
    }

    bool found() const { return !block.empty(); }

    const VS_FIXEDFILEINFO* fixed() const {
        void* value = nullptr;
        UINT length = 0;
        if (!found() || !::VerQueryValueW(block.data(), L"\\", &value, &length) || length < sizeof(VS_FIXEDFILEINFO)) {
            return nullptr;
        }
        return static_cast<const VS_FIXEDFILEINFO*>(value);
    }

    tstring text(const tstring& name) const {
        void* value = nullptr;
        UINT length = 0;
        const tstring query = L"\\StringFileInfo\\040904B0\\" + name;
        if (!found() || !::VerQueryValueW(block.data(), query.c_str(), &value, &length)) {
            return L"(missing)";
        }
        return static_cast<const wchar_t*>(value);
    }

    DWORD translation() const {
        void* value = nullptr;
        UINT length = 0;
        if (!found() || !::VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", &value, &length) ||
            length < sizeof(DWORD)) {
            return 0;
        }
        return *static_cast<const DWORD*>(value);
    }

private:
    std::vector<char> block;
};

// An executable mapped for its resources only.
class ResourceFile {
public:
    explicit ResourceFile(const tstring& path)
        : owned(::LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE)), module(owned.get()) {}

    HMODULE get() const { return module; }

    std::vector<tstring> names(const wchar_t* type) const {
        std::vector<tstring> found;
        ::EnumResourceNamesW(module, type, collectName, reinterpret_cast<LONG_PTR>(&found));
        return found;
    }

    std::string bytes(const wchar_t* type, const wchar_t* name) const {
        const HRSRC resource = ::FindResourceW(module, name, type);
        const HGLOBAL loaded = resource ? ::LoadResource(module, resource) : nullptr;
        const void* data = loaded ? ::LockResource(loaded) : nullptr;
        return data ? std::string(static_cast<const char*>(data), ::SizeofResource(module, resource)) : std::string();
    }

    // The width of the icon the system picks from the first group for a
    // requested size, or 0 when none loads.
    int iconWidth(const tstring& group, int size) const {
        const HANDLE icon = ::LoadImageW(module, nameArg(group), IMAGE_ICON, size, size, 0);
        if (!icon) {
            return 0;
        }
        ICONINFO info = {};
        BITMAP bitmap = {};
        int width = 0;
        if (::GetIconInfo(static_cast<HICON>(icon), &info)) {
            if (::GetObjectW(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof(bitmap), &bitmap)) {
                width = bitmap.bmWidth;
            }
            ::DeleteObject(info.hbmColor);
            ::DeleteObject(info.hbmMask);
        }
        ::DestroyIcon(static_cast<HICON>(icon));
        return width;
    }

    // "#<n>" for a numbered resource, else its name.
    static const wchar_t* nameArg(const tstring& name) {
        return name[0] == L'#' ? MAKEINTRESOURCEW(std::stoi(name.substr(1))) : name.c_str();
    }

private:
    static BOOL CALLBACK collectName(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR param) {
        auto& found = *reinterpret_cast<std::vector<tstring>*>(param);
        found.push_back(IS_INTRESOURCE(name) ? L"#" + std::to_wstring(reinterpret_cast<ULONG_PTR>(name))
                                             : tstring(name));
        return TRUE;
    }

    OwnedModule owned;
    HMODULE module;
};

// "#<id>" for each image that a group resource names.
std::vector<tstring> namedIcons(const std::string& group) {
    std::vector<tstring> names;
    for (std::size_t at = 6; at + 14 <= group.size(); at += 14) {
        WORD id = 0;
        std::memcpy(&id, group.data() + at + 12, sizeof(id));
        names.push_back(L"#" + std::to_wstring(id));
    }
    return names;
}

// The checksum in the header and the one the system computes for the file.
struct Checksums {
    DWORD inHeader = 1;
    DWORD computed = 0;
};

Checksums checksumsOf(const tstring& path) {
    Checksums sums;
    if (::MapFileAndCheckSumW(path.c_str(), &sums.inHeader, &sums.computed) != CHECKSUM_SUCCESS) {
        return {1, 0};
    }
    return sums;
}

const std::vector<int> kSizes = {16, 32, 48};

tstring_array brandingArgs(const tstring& icon) {
    return {L"--icon",    icon,       L"--version",     L"1.2.3.65535", L"--product-name", L"Продукт 日本",
            L"--company", L"ACME Ltd", L"--description", L"Demo tool",   L"--copyright",    L"© 2026 ACME"};
}

}  // namespace

TEST(ImageBrandTest, CreatedLauncherShowsTheUsersVersion) {
    CreateInputs inputs;
    writeFile(inputs.temp.path() + L"\\app.ico", testing_support::makeIconFile(kSizes));
    tstring_array args = inputs.createArgs(L"Démo");
    const tstring_array branding = brandingArgs(inputs.temp.path() + L"\\app.ico");
    args.insert(args.end(), branding.begin(), branding.end());

    const ProcessResult result = runImageTool(args);

    ASSERT_EQ(result.exitCode, 0u) << result.out << result.err;
    const VersionInfo version(inputs.dest + L"\\Démo.exe");
    ASSERT_TRUE(version.fixed());
    EXPECT_EQ(version.fixed()->dwSignature, VS_FFI_SIGNATURE);
    EXPECT_EQ(version.fixed()->dwFileVersionMS, 0x00010002u);
    EXPECT_EQ(version.fixed()->dwFileVersionLS, 0x0003FFFFu);
    EXPECT_EQ(version.fixed()->dwProductVersionMS, 0x00010002u);
    EXPECT_EQ(version.fixed()->dwProductVersionLS, 0x0003FFFFu);
    EXPECT_EQ(version.fixed()->dwFileType, static_cast<DWORD>(VFT_APP));
    EXPECT_EQ(version.text(L"FileVersion"), L"1.2.3.65535");
    EXPECT_EQ(version.text(L"ProductVersion"), L"1.2.3.65535");
    EXPECT_EQ(version.text(L"ProductName"), L"Продукт 日本");
    EXPECT_EQ(version.text(L"CompanyName"), L"ACME Ltd");
    EXPECT_EQ(version.text(L"FileDescription"), L"Demo tool");
    EXPECT_EQ(version.text(L"LegalCopyright"), L"© 2026 ACME");
    EXPECT_EQ(version.text(L"OriginalFilename"), L"Démo.exe");
    EXPECT_EQ(version.text(L"InternalName"), L"Démo");
    EXPECT_EQ(version.translation(), 0x04B00409u);
}

TEST(ImageBrandTest, CreatedLauncherCarriesEveryIconSize) {
    CreateInputs inputs;
    const std::string iconFile = testing_support::makeIconFile(kSizes);
    writeFile(inputs.temp.path() + L"\\app.ico", iconFile);
    tstring_array args = inputs.createArgs(L"App");
    args.insert(args.end(), {L"--icon", inputs.temp.path() + L"\\app.ico"});

    ASSERT_EQ(runImageTool(args).exitCode, 0u);

    const ResourceFile exe(inputs.dest + L"\\App.exe");
    const std::vector<tstring> groups = exe.names(RT_GROUP_ICON);
    ASSERT_EQ(groups.size(), 1u);
    EXPECT_EQ(groups[0], L"LAUNCHER_ICON");
    EXPECT_EQ(exe.names(RT_ICON).size(), kSizes.size());
    for (int size : kSizes) {
        EXPECT_EQ(exe.iconWidth(groups[0], size), size);
    }
    const std::string group = exe.bytes(RT_GROUP_ICON, ResourceFile::nameArg(groups[0]));
    ASSERT_EQ(group.size(), 6 + 14 * kSizes.size());
    EXPECT_EQ(group.substr(0, 6), iconFile.substr(0, 6));
    std::vector<tstring> icons = exe.names(RT_ICON);
    std::vector<tstring> named = namedIcons(group);
    std::sort(icons.begin(), icons.end());
    std::sort(named.begin(), named.end());
    EXPECT_EQ(icons, named);
}

TEST(ImageBrandTest, BrandingAgainLeavesNoImageThatNoGroupNames) {
    TempDir temp;
    const tstring exe = temp.path() + L"\\Tool.exe";
    testing_support::copyFile(testing_support::testBinDir() + L"\\kivo.exe", exe);
    writeFile(temp.path() + L"\\big.ico", testing_support::makeIconFile({16, 24, 32, 48, 64}));
    writeFile(temp.path() + L"\\small.ico", testing_support::makeIconFile({32}));

    ASSERT_EQ(runImageTool({L"brand", exe, L"--icon", temp.path() + L"\\big.ico"}).exitCode, 0u);
    ASSERT_EQ(runImageTool({L"brand", exe, L"--icon", temp.path() + L"\\small.ico"}).exitCode, 0u);

    const ResourceFile branded(exe);
    ASSERT_EQ(branded.names(RT_GROUP_ICON), std::vector<tstring>{L"LAUNCHER_ICON"});
    EXPECT_EQ(branded.names(RT_ICON),
              namedIcons(branded.bytes(RT_GROUP_ICON, ResourceFile::nameArg(L"LAUNCHER_ICON"))));
    EXPECT_EQ(branded.iconWidth(L"LAUNCHER_ICON", 32), 32);
}

TEST(ImageBrandTest, KeepsTheManifestAndStillLaunches) {
    CreateInputs inputs;
    writeFile(inputs.temp.path() + L"\\app.ico", testing_support::makeIconFile({32}));
    tstring_array args = inputs.createArgs(L"App");
    const tstring_array branding = brandingArgs(inputs.temp.path() + L"\\app.ico");
    args.insert(args.end(), branding.begin(), branding.end());
    ASSERT_EQ(runImageTool(args).exitCode, 0u);

    const std::string manifest = ResourceFile(inputs.dest + L"\\App.exe").bytes(RT_MANIFEST, MAKEINTRESOURCEW(1));
    const std::string original =
        ResourceFile(testing_support::testBinDir() + L"\\kivo.exe").bytes(RT_MANIFEST, MAKEINTRESOURCEW(1));
    const ProcessResult run = testing_support::runProcess(inputs.dest + L"\\App.exe", {});

    EXPECT_FALSE(original.empty());
    EXPECT_EQ(manifest, original);
    const Checksums sums = checksumsOf(inputs.dest + L"\\App.exe");
    EXPECT_EQ(sums.inHeader, sums.computed);
    EXPECT_EQ(run.exitCode, 0u) << run.err;
    EXPECT_TRUE(testing_support::parseFixtureRecord(run.out).found) << run.out;
}

TEST(ImageBrandTest, ShippedProgramsCarryTheProjectsVersion) {
    for (const wchar_t* program : {L"kivo.exe", L"kivow.exe", L"kivo-image.exe"}) {
        const VersionInfo version(testing_support::testBinDir() + L"\\" + program);

        EXPECT_EQ(version.text(L"ProductVersion"), KIVO_VERSION_WIDE) << utf8(program);
        EXPECT_EQ(version.text(L"FileVersion"), KIVO_VERSION_WIDE L".0") << utf8(program);
        EXPECT_EQ(version.text(L"ProductName"), L"kivo") << utf8(program);
        ASSERT_NE(version.fixed(), nullptr) << utf8(program);
        EXPECT_EQ(version.fixed()->dwProductVersionMS, (KIVO_VERSION_MAJOR << 16u) | KIVO_VERSION_MINOR);
    }
}

TEST(ImageBrandTest, BrandsAnExistingLauncherAgain) {
    TempDir temp;
    const tstring exe = temp.path() + L"\\Tool.exe";
    testing_support::copyFile(testing_support::testBinDir() + L"\\kivo.exe", exe);

    const ProcessResult first = runImageTool({L"brand", exe, L"--version", L"1.0.0.0", L"--product-name", L"One"});
    const ProcessResult second = runImageTool({L"brand", exe, L"--version=2.0.0.7"});

    EXPECT_EQ(first.exitCode, 0u) << first.err;
    EXPECT_EQ(testing_support::lines(second.out),
              std::vector<std::string>{"Branded \"" + utf8(exe) + "\": version 2.0.0.7"});
    const VersionInfo version(exe);
    EXPECT_EQ(version.text(L"FileVersion"), L"2.0.0.7");
    EXPECT_EQ(version.text(L"ProductName"), L"Tool");
    EXPECT_EQ(version.text(L"OriginalFilename"), L"Tool.exe");
    EXPECT_EQ(ResourceFile(exe).names(RT_VERSION).size(), 1u);
    const Checksums sums = checksumsOf(exe);
    EXPECT_EQ(sums.inHeader, sums.computed);
}
