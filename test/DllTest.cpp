// Tests of the DLL handles: loading, reference counting through copies,
// resolving functions, and the errors that name what failed.
#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <string>

#include "Dll.h"
#include "FileUtils.h"
#include "SysInfo.h"
#include "TestSupport.h"

namespace {

tstring fixturePath(const tstring& relative) {
    return testing_support::testBinDir() + L"\\fixtures\\" + relative;
}

const tstring kJvmDll = L"runtime\\bin\\server\\jvm.dll";

bool isLoaded(const tstring& path) {
    HMODULE module = nullptr;
    return ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT, path.c_str(), &module) != 0;
}

bool startsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

std::string utf8(const tstring& text) {
    return tstrings::toUtf8(text);
}

}  // namespace

TEST(DllTest, CopiesHoldOneReferenceEach) {
    const tstring path = fixturePath(kJvmDll);
    ASSERT_FALSE(isLoaded(path));
    {
        auto first = std::make_unique<Dll>(tstrings::Builder() << path);
        auto second = std::make_unique<Dll>(*first);
        const Dll third(*second);
        EXPECT_EQ(third.getPath(), path);

        first.reset();
        EXPECT_TRUE(isLoaded(path));
        second.reset();
        EXPECT_TRUE(isLoaded(path));
    }
    EXPECT_FALSE(isLoaded(path));
}

TEST(DllTest, MissingLibraryRaisesLoadLibraryError) {
    const tstring path = fixturePath(L"none\\missing.dll");
    try {
        const Dll dll(tstrings::Builder() << path);
        FAIL() << "no error";
    } catch (const KivoError<SysError>& e) {
        EXPECT_TRUE(startsWith(e.bareMessage(), "LoadLibraryW(" + utf8(path) + ") failed. System error ["))
            << e.bareMessage();
        EXPECT_TRUE(startsWith(e.what(), "WinDll.cpp(")) << e.what();
        EXPECT_NE(std::string(e.what()).find(") at `anonymous-namespace'::loadLibrary(): LoadLibraryW("),
                  std::string::npos)
            << e.what();
    }
}

TEST(DllTest, LibraryWhoseDependencyIsNotSearchedFailsToLoad) {
    for (const tstring& relative : {tstring(L"runtime\\bin\\qsr.dll"), tstring(L"runtime\\bin\\splashscreen.dll")}) {
        const tstring path = fixturePath(relative);
        try {
            const Dll dll(tstrings::Builder() << path);
            ADD_FAILURE() << "loaded " << utf8(path);
        } catch (const KivoError<SysError>& e) {
            EXPECT_TRUE(startsWith(e.bareMessage(), "LoadLibraryW(" + utf8(path) + ") failed. System error [126]"))
                << e.bareMessage();
        }
    }
}

TEST(DllTest, LibraryLoadsWhenItsDependencyDirectoryIsSearched) {
    ASSERT_TRUE(::SetDllDirectoryW(fixturePath(L"runtime\\bin\\server").c_str()));
    {
        const Dll splash(tstrings::Builder() << fixturePath(L"runtime\\bin\\splashscreen.dll"));
        int (*version)() = nullptr;
        splash.getFunction(tstrings::Builder() << "fixtureSplashVersion", version);
        EXPECT_EQ(version(), 1);
    }
    ::SetDllDirectoryW(nullptr);
}

TEST(DllTest, SystemDirectoryTagLoadsFromSystemDirectory) {
    const Dll kernel32(Dll::systemDir, tstrings::Builder() << "kernel32.dll");

    EXPECT_EQ(kernel32.getPath(), FileUtils::combinePath(SysInfo::getSystemDir(), L"kernel32.dll"));
    EXPECT_EQ(kernel32.getFunction("GetCurrentProcessId", true),
              reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "GetCurrentProcessId")));
}

TEST(DllTest, MissingFunctionGivesNullOrRaisesNamingLibraryAndFunction) {
    const tstring path = fixturePath(kJvmDll);
    const Dll dll(tstrings::Builder() << path);

    EXPECT_EQ(dll.getFunction("NoSuchFunction", false), nullptr);
    try {
        dll.getFunction("NoSuchFunction", true);
        FAIL() << "no error";
    } catch (const KivoError<SysError>& e) {
        EXPECT_TRUE(startsWith(e.bareMessage(),
                               "GetProcAddress(" + utf8(path) + ", NoSuchFunction) failed. System error [127]"))
            << e.bareMessage();
        EXPECT_NE(std::string(e.what()).find(") at Dll::getFunction(): GetProcAddress("), std::string::npos)
            << e.what();
    }
}

TEST(DllTest, FunctionKeepsItsLibraryLoaded) {
    const tstring path = fixturePath(kJvmDll);
    {
        const DllFunction<int (*)()> version(Dll(tstrings::Builder() << path),
                                             tstrings::Builder() << "fixtureJvmVersion");
        EXPECT_TRUE(isLoaded(path));
        const DllFunction<int (*)()> copy(version);
        int (*function)() = copy;
        EXPECT_EQ(function(), 1);
    }
    EXPECT_FALSE(isLoaded(path));
}

TEST(DllTest, FunctionMissingFromLibraryFailsAtConstruction) {
    const tstring path = fixturePath(L"noentry\\bin\\qsr.dll");
    try {
        const DllFunction<void*> entry(Dll(tstrings::Builder() << path), tstrings::Builder() << "QSR_Launch");
        FAIL() << "no error";
    } catch (const KivoError<SysError>& e) {
        EXPECT_TRUE(startsWith(e.bareMessage(), "GetProcAddress(" + utf8(path) + ", QSR_Launch) failed."))
            << e.bareMessage();
    }
    EXPECT_FALSE(isLoaded(path));
}

TEST(DllTest, CopyOfUnloadedModuleRaisesGetModuleHandleExError) {
    const tstring path = fixturePath(kJvmDll);
    const Dll dll(tstrings::Builder() << path);
    HMODULE module = nullptr;
    ASSERT_TRUE(::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT, path.c_str(), &module));
    ::FreeLibrary(module);
    ASSERT_FALSE(isLoaded(path));

    try {
        const Dll copy(dll);
        FAIL() << "no error";
    } catch (const KivoError<SysError>& e) {
        EXPECT_TRUE(startsWith(e.bareMessage(), "GetModuleHandleExW(" + utf8(path) + ") failed. System error ["))
            << e.bareMessage();
        EXPECT_NE(std::string(e.what()).find(") at Dll::Dll(): "), std::string::npos) << e.what();
    }
}
