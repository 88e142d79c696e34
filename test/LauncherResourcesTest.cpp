// Tests of what both launcher executables carry besides their code: the
// subsystem, the application manifest, the icon and the libraries they
// import.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "OwnedResource.h"
#include "TestSupport.h"

namespace {

struct LauncherCase {
    const wchar_t* fileName;
    WORD subsystem;
};

void PrintTo(const LauncherCase& c, std::ostream* os) { *os << tstrings::toUtf8(c.fileName); }

tstring launcherPath(const LauncherCase& launcher) { return testing_support::testBinDir() + L"\\" + launcher.fileName; }

// The launcher mapped for its resources only.
class ResourceModule {
public:
    explicit ResourceModule(const LauncherCase& launcher)
        : owned(::LoadLibraryExW(launcherPath(launcher).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE)),
          module(owned.get()) {}

    HMODULE get() const { return module; }

    std::string bytes(const wchar_t* name, const wchar_t* type) const {
        HRSRC resource = ::FindResourceW(module, name, type);
        if (!resource) {
            return {};
        }
        HGLOBAL loaded = ::LoadResource(module, resource);
        const void* data = loaded ? ::LockResource(loaded) : nullptr;
        return data ? std::string(static_cast<const char*>(data), ::SizeofResource(module, resource)) : std::string();
    }

private:
    OwnedModule owned;
    HMODULE module;
};

BOOL CALLBACK countName(HMODULE, LPCWSTR, LPWSTR, LONG_PTR count) {
    ++*reinterpret_cast<int*>(count);
    return TRUE;
}

// The names of the DLLs that a program imports, directly or delay-loaded,
// in lower case, read with the file mapped as an image.
std::set<std::string> importedDlls(const tstring& path) {
    const OwnedModule module(::LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_IMAGE_RESOURCE));
    if (!module) {
        ADD_FAILURE() << "LoadLibraryExW failed with error " << ::GetLastError();
        return {};
    }
    // The handle of a module mapped this way carries flags in its low bits.
    const BYTE* const base =
        reinterpret_cast<const BYTE*>(reinterpret_cast<ULONG_PTR>(module.get()) & ~ULONG_PTR(3));
    const LONG ntOffset = reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew;
    const IMAGE_DATA_DIRECTORY* directories =
        reinterpret_cast<const IMAGE_NT_HEADERS64*>(base + ntOffset)->OptionalHeader.DataDirectory;
    std::vector<DWORD> nameRvas;
    const DWORD imports = directories[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress;
    for (auto* d = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports); imports && d->Name; ++d) {
        nameRvas.push_back(d->Name);
    }
    const DWORD delayed = directories[IMAGE_DIRECTORY_ENTRY_DELAY_IMPORT].VirtualAddress;
    for (auto* d = reinterpret_cast<const IMAGE_DELAYLOAD_DESCRIPTOR*>(base + delayed); delayed && d->DllNameRVA; ++d) {
        nameRvas.push_back(d->DllNameRVA);
    }
    std::set<std::string> names;
    for (const DWORD rva : nameRvas) {
        std::string name = reinterpret_cast<const char*>(base + rva);
        std::transform(name.begin(), name.end(), name.begin(), [](char c) { return static_cast<char>(std::tolower(c)); });
        names.insert(name);
    }
    return names;
}

class LauncherResourcesTest : public testing::TestWithParam<LauncherCase> {};

}  // namespace

TEST_P(LauncherResourcesTest, HasItsSubsystem) {
    const std::string image = testing_support::readFile(launcherPath(GetParam()));
    ASSERT_GT(image.size(), sizeof(IMAGE_DOS_HEADER));
    IMAGE_DOS_HEADER dos;
    std::memcpy(&dos, image.data(), sizeof(dos));
    ASSERT_LT(static_cast<std::size_t>(dos.e_lfanew) + sizeof(IMAGE_NT_HEADERS64), image.size());
    IMAGE_NT_HEADERS64 nt;
    std::memcpy(&nt, image.data() + dos.e_lfanew, sizeof(nt));

    EXPECT_EQ(nt.FileHeader.Machine, IMAGE_FILE_MACHINE_AMD64);
    EXPECT_EQ(nt.OptionalHeader.Subsystem, GetParam().subsystem);
}

TEST_P(LauncherResourcesTest, ManifestAsksForDocumentedSettings) {
    const ResourceModule module(GetParam());
    ASSERT_NE(module.get(), nullptr) << ::GetLastError();

    const std::string manifest = module.bytes(CREATEPROCESS_MANIFEST_RESOURCE_ID, RT_MANIFEST);

    for (const char* part : {
             "<requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"/>",
             "name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"",
             ">true/PM</dpiAware>",
             ">PerMonitorV2, PerMonitor, system</dpiAwareness>",
             "<longPathAware xmlns=\"http://schemas.microsoft.com/SMI/2016/WindowsSettings\">true</longPathAware>",
             "<activeCodePage xmlns=\"http://schemas.microsoft.com/SMI/2019/WindowsSettings\">UTF-8</activeCodePage>",
             "<supportedOS Id=\"{e2011457-1546-43c5-a5fe-008deee3d3f0}\"/>",
             "<supportedOS Id=\"{35138b9a-5d96-4fbd-8e2d-a2440225f93a}\"/>",
             "<supportedOS Id=\"{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}\"/>",
             "<supportedOS Id=\"{1f676c76-80e1-4239-95bb-83d0f6d0da78}\"/>",
             "<supportedOS Id=\"{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}\"/>",
         }) {
        EXPECT_NE(manifest.find(part), std::string::npos) << part;
    }
}

TEST_P(LauncherResourcesTest, CarriesIcon) {
    const ResourceModule module(GetParam());
    ASSERT_NE(module.get(), nullptr) << ::GetLastError();
    int groups = 0;
    int icons = 0;

    ::EnumResourceNamesW(module.get(), RT_GROUP_ICON, countName, reinterpret_cast<LONG_PTR>(&groups));
    ::EnumResourceNamesW(module.get(), RT_ICON, countName, reinterpret_cast<LONG_PTR>(&icons));

    EXPECT_EQ(groups, 1);
    EXPECT_GE(icons, 2);
}

TEST_P(LauncherResourcesTest, DoesNotImportShell32) {
    // The shell's library would bring the window system with it at start.
    const std::set<std::string> dlls = importedDlls(launcherPath(GetParam()));

    EXPECT_EQ(dlls.count("kernel32.dll"), 1u) << ::testing::PrintToString(dlls);
    EXPECT_EQ(dlls.count("shell32.dll"), 0u) << ::testing::PrintToString(dlls);
}

INSTANTIATE_TEST_SUITE_P(Launchers, LauncherResourcesTest,
                         testing::Values(LauncherCase{L"kivo.exe", IMAGE_SUBSYSTEM_WINDOWS_CUI},
                                         LauncherCase{L"kivow.exe", IMAGE_SUBSYSTEM_WINDOWS_GUI}),
                         [](const auto& info) {
                             return info.param.subsystem == IMAGE_SUBSYSTEM_WINDOWS_CUI ? std::string("Console")
                                                                                       : std::string("Windowed");
                         });
