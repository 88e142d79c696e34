// Tests of what the launcher executable carries besides its code: the
// console subsystem, the application manifest and the icon.
#include <windows.h>

#include <gtest/gtest.h>

#include <cctype>
#include <cstddef>
#include <cstring>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "TestSupport.h"

namespace {

tstring launcherPath() { return testing_support::testBinDir() + L"\\kivo.exe"; }

// The launcher mapped for its resources only.
class ResourceModule {
public:
    ResourceModule() : module(::LoadLibraryExW(launcherPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE)) {}
    ~ResourceModule() {
        if (module) {
            ::FreeLibrary(module);
        }
    }
    ResourceModule(const ResourceModule&) = delete;
    ResourceModule& operator=(const ResourceModule&) = delete;

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
    HMODULE module;
};

BOOL CALLBACK countName(HMODULE, LPCWSTR, LPWSTR, LONG_PTR count) {
    ++*reinterpret_cast<int*>(count);
    return TRUE;
}

// The names of the DLLs that a PE32+ file imports, directly or delay-loaded,
// in lower case, read from the file's bytes.
class ImportTable {
public:
    explicit ImportTable(const std::string& image) : image(image) {
        IMAGE_DOS_HEADER dos = at<IMAGE_DOS_HEADER>(0);
        const IMAGE_NT_HEADERS64 nt = at<IMAGE_NT_HEADERS64>(dos.e_lfanew);
        const std::size_t firstSection =
            dos.e_lfanew + offsetof(IMAGE_NT_HEADERS64, OptionalHeader) + nt.FileHeader.SizeOfOptionalHeader;
        for (WORD i = 0; i < nt.FileHeader.NumberOfSections; ++i) {
            sections.push_back(at<IMAGE_SECTION_HEADER>(firstSection + i * sizeof(IMAGE_SECTION_HEADER)));
        }
        const IMAGE_DATA_DIRECTORY* directories = nt.OptionalHeader.DataDirectory;
        readNames<IMAGE_IMPORT_DESCRIPTOR>(directories[IMAGE_DIRECTORY_ENTRY_IMPORT],
                                           [](const IMAGE_IMPORT_DESCRIPTOR& d) { return d.Name; });
        readNames<IMAGE_DELAYLOAD_DESCRIPTOR>(directories[IMAGE_DIRECTORY_ENTRY_DELAY_IMPORT],
                                              [](const IMAGE_DELAYLOAD_DESCRIPTOR& d) { return d.DllNameRVA; });
    }

    const std::set<std::string>& dllNames() const { return names; }

private:
    template <class T>
    T at(std::size_t offset) const {
        if (offset + sizeof(T) > image.size()) {
            throw std::runtime_error("the file ends within a header at " + std::to_string(offset));
        }
        T value;
        std::memcpy(&value, image.data() + offset, sizeof(T));
        return value;
    }

    std::size_t fileOffset(DWORD rva) const {
        for (const IMAGE_SECTION_HEADER& section : sections) {
            if (rva >= section.VirtualAddress && rva < section.VirtualAddress + section.SizeOfRawData) {
                return rva - section.VirtualAddress + section.PointerToRawData;
            }
        }
        throw std::runtime_error("no section holds RVA " + std::to_string(rva));
    }

    // Descriptors up to the first one whose name is 0.
    template <class Descriptor, class NameOf>
    void readNames(const IMAGE_DATA_DIRECTORY& directory, NameOf nameOf) {
        if (directory.VirtualAddress == 0) {
            return;
        }
        for (std::size_t offset = fileOffset(directory.VirtualAddress);; offset += sizeof(Descriptor)) {
            const DWORD nameRva = nameOf(at<Descriptor>(offset));
            if (nameRva == 0) {
                return;
            }
            std::string name(image.c_str() + fileOffset(nameRva));
            for (char& c : name) {
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            }
            names.insert(name);
        }
    }

    const std::string& image;
    std::vector<IMAGE_SECTION_HEADER> sections;
    std::set<std::string> names;
};

}  // namespace

TEST(LauncherResourcesTest, IsConsoleProgram) {
    const std::string image = testing_support::readFile(launcherPath());
    ASSERT_GT(image.size(), sizeof(IMAGE_DOS_HEADER));
    IMAGE_DOS_HEADER dos;
    std::memcpy(&dos, image.data(), sizeof(dos));
    ASSERT_LT(static_cast<std::size_t>(dos.e_lfanew) + sizeof(IMAGE_NT_HEADERS64), image.size());
    IMAGE_NT_HEADERS64 nt;
    std::memcpy(&nt, image.data() + dos.e_lfanew, sizeof(nt));

    EXPECT_EQ(nt.FileHeader.Machine, IMAGE_FILE_MACHINE_AMD64);
    EXPECT_EQ(nt.OptionalHeader.Subsystem, IMAGE_SUBSYSTEM_WINDOWS_CUI);
}

TEST(LauncherResourcesTest, ManifestAsksForDocumentedSettings) {
    const ResourceModule module;
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

TEST(LauncherResourcesTest, CarriesIcon) {
    const ResourceModule module;
    ASSERT_NE(module.get(), nullptr) << ::GetLastError();
    int groups = 0;
    int icons = 0;

    ::EnumResourceNamesW(module.get(), RT_GROUP_ICON, countName, reinterpret_cast<LONG_PTR>(&groups));
    ::EnumResourceNamesW(module.get(), RT_ICON, countName, reinterpret_cast<LONG_PTR>(&icons));

    EXPECT_EQ(groups, 1);
    EXPECT_GE(icons, 2);
}

// Each launcher built from this tree: none may need the shell's library,
// which brings the window system with it at start.
class LauncherImportsTest : public ::testing::TestWithParam<const wchar_t*> {};

TEST_P(LauncherImportsTest, DoesNotImportShell32) {
    const std::string image = testing_support::readFile(testing_support::testBinDir() + L"\\" + GetParam());

    const std::set<std::string> dlls = ImportTable(image).dllNames();

    std::string listed;
    for (const std::string& dll : dlls) {
        listed += dll + " ";
    }
    EXPECT_EQ(dlls.count("kernel32.dll"), 1u) << listed;
    EXPECT_EQ(dlls.count("shell32.dll"), 0u) << listed;
}

INSTANTIATE_TEST_SUITE_P(Launchers, LauncherImportsTest, ::testing::Values(L"kivo.exe"), [](const auto& info) {
    const std::string name = tstrings::toUtf8(info.param);
    return name.substr(0, name.find('.'));
});
