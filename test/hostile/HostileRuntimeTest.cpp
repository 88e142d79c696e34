// Broken runtimes: missing directories and libraries, libraries that are no
// DLL or one of the wrong architecture, a missing dependency or entry
// point, and entry points that crash, fail or end the process themselves.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "HostileLaunch.h"

using namespace testing_support;

namespace {

const char* const kCfg = "[Application]\napp.mainclass=Main\n";

tstring libraryPath(const LauncherImage& image) { return image.runtimeDir() + L"\\bin\\qsr.dll"; }

void put16(std::string& image, std::size_t offset, unsigned value) {
    image[offset] = static_cast<char>(value & 0xFF);
    image[offset + 1] = static_cast<char>((value >> 8) & 0xFF);
}

void put32(std::string& image, std::size_t offset, unsigned long value) {
    put16(image, offset, value & 0xFFFF);
    put16(image, offset + 2, (value >> 16) & 0xFFFF);
}

// A well-formed 32-bit x86 DLL with one section of "ret" instructions and no
// entry point: a 64-bit process cannot load it (ERROR_BAD_EXE_FORMAT).
std::string i386Dll() {
    std::string dll(0x400, '\0');
    put16(dll, 0x00, 0x5A4D);        // "MZ"
    put32(dll, 0x3C, 0x40);          // e_lfanew
    put32(dll, 0x40, 0x00004550);    // "PE\0\0"
    const std::size_t coff = 0x44;
    put16(dll, coff + 0, 0x014C);    // Machine: i386
    put16(dll, coff + 2, 1);         // NumberOfSections
    put16(dll, coff + 16, 0xE0);     // SizeOfOptionalHeader
    put16(dll, coff + 18, 0x2102);   // EXECUTABLE_IMAGE | 32BIT_MACHINE | DLL
    const std::size_t optional = coff + 20;
    put16(dll, optional + 0, 0x010B);     // PE32
    put32(dll, optional + 4, 0x200);      // SizeOfCode
    put32(dll, optional + 20, 0x1000);    // BaseOfCode
    put32(dll, optional + 24, 0x1000);    // BaseOfData
    put32(dll, optional + 28, 0x10000000);  // ImageBase
    put32(dll, optional + 32, 0x1000);    // SectionAlignment
    put32(dll, optional + 36, 0x200);     // FileAlignment
    put16(dll, optional + 40, 4);         // MajorOperatingSystemVersion
    put16(dll, optional + 48, 4);         // MajorSubsystemVersion
    put32(dll, optional + 56, 0x2000);    // SizeOfImage
    put32(dll, optional + 60, 0x200);     // SizeOfHeaders
    put16(dll, optional + 68, 2);         // Subsystem: GUI
    put32(dll, optional + 72, 0x100000);  // SizeOfStackReserve
    put32(dll, optional + 76, 0x1000);    // SizeOfStackCommit
    put32(dll, optional + 80, 0x100000);  // SizeOfHeapReserve
    put32(dll, optional + 84, 0x1000);    // SizeOfHeapCommit
    put32(dll, optional + 92, 16);        // NumberOfRvaAndSizes
    const std::size_t section = optional + 0xE0;
    std::memcpy(&dll[section], ".text", 5);
    put32(dll, section + 8, 0x200);        // VirtualSize
    put32(dll, section + 12, 0x1000);      // VirtualAddress
    put32(dll, section + 16, 0x200);       // SizeOfRawData
    put32(dll, section + 20, 0x200);       // PointerToRawData
    put32(dll, section + 36, 0x60000020);  // code, execute, read
    std::memset(&dll[0x200], 0xC3, 0x200);
    return dll;
}

struct Outcome {
    DWORD exitCode;
    // The whole line, or its start when the system's description follows.
    std::string errorLine;
    bool errorLineIsPrefix;
    bool runtimeStarts;
};

Outcome runtimeNotFound(const LauncherImage& image) {
    return {1, "Failed to find JVM in \"" + utf8(image.runtimeDir()) + "\" directory.", false, false};
}

Outcome loadFails(const tstring& library, std::optional<DWORD> code) {
    const std::string system = code ? systemErrorPrefix(*code) : std::string("System error [");
    return {1, "LoadLibraryW(" + utf8(library) + ") failed. " + system, true, false};
}

struct RuntimeCase {
    const char* name;
    // Builds the runtime of the image and returns what the launch gives.
    Outcome (*prepare)(const LauncherImage& image, ProcessOptions& options);
};

void PrintTo(const RuntimeCase& testCase, std::ostream* out) { *out << testCase.name; }

const RuntimeCase cases[] = {
    {"NoRuntimeDirectory", [](const LauncherImage& image, ProcessOptions&) { return runtimeNotFound(image); }},
    {"RuntimeWithoutBin",
     [](const LauncherImage& image, ProcessOptions&) {
         makeDirs(image.runtimeDir() + L"\\lib");
         writeFile(image.runtimeDir() + L"\\release", "JAVA_VERSION=\"0\"\n");
         return runtimeNotFound(image);
     }},
    {"BinWithoutLibrary",
     [](const LauncherImage& image, ProcessOptions&) {
         makeDirs(image.runtimeDir() + L"\\bin\\server");
         return runtimeNotFound(image);
     }},
    {"LibraryIsTextFile",
     [](const LauncherImage& image, ProcessOptions&) {
         image.installRuntime();
         writeFile(libraryPath(image), "This is not a library.\r\n");
         return loadFails(libraryPath(image), ERROR_BAD_EXE_FORMAT);
     }},
    {"LibraryIsForI386",
     [](const LauncherImage& image, ProcessOptions&) {
         image.installRuntime();
         writeFile(libraryPath(image), i386Dll());
         return loadFails(libraryPath(image), ERROR_BAD_EXE_FORMAT);
     }},
    // The codes differ: Wine answers 193 for an empty file and 126 for a
    // directory; Windows is expected to answer other codes (such as 1006
    // for an empty file and 5 for a directory). Only the form is checked.
    {"LibraryIsEmpty",
     [](const LauncherImage& image, ProcessOptions&) {
         image.installRuntime();
         writeFile(libraryPath(image), "");
         return loadFails(libraryPath(image), std::nullopt);
     }},
    {"LibraryIsDirectory",
     [](const LauncherImage& image, ProcessOptions&) {
         image.installRuntime();
         ::DeleteFileW(libraryPath(image).c_str());
         makeDirs(libraryPath(image));
         return loadFails(libraryPath(image), std::nullopt);
     }},
    {"LibraryIsTruncated",
     [](const LauncherImage& image, ProcessOptions&) {
         image.installRuntime();
         writeFile(libraryPath(image), readFile(libraryPath(image)).substr(0, 4096));
         return loadFails(libraryPath(image), std::nullopt);
     }},
    {"LibraryDependencyMissing",
     [](const LauncherImage& image, ProcessOptions&) {
         image.installRuntime();
         ::DeleteFileW((image.runtimeDir() + L"\\bin\\qsrdep.dll").c_str());
         return loadFails(libraryPath(image), ERROR_MOD_NOT_FOUND);
     }},
    {"LibraryWithoutEntryPoint",
     [](const LauncherImage& image, ProcessOptions&) {
         image.installRuntime(L"noentry");
         return Outcome{1,
                        "GetProcAddress(" + utf8(libraryPath(image)) + ", QSR_Launch) failed. " +
                            systemErrorPrefix(ERROR_PROC_NOT_FOUND),
                        true, false};
     }},
    {"SplashLibraryIsTextFile",
     [](const LauncherImage& image, ProcessOptions&) {
         image.installRuntime();
         image.writeCfg("[Application]\napp.splash=$APPDIR\\splash.png\napp.mainclass=Main\n");
         writeFile(image.appDir() + L"\\splash.png", "PNG");
         const tstring splash = image.runtimeDir() + L"\\bin\\splashscreen.dll";
         writeFile(splash, "not a library");
         return loadFails(splash, ERROR_BAD_EXE_FORMAT);
     }},
    // Expected on Windows too: the crash ends the runtime's process with
    // the access violation's code and no error box (the error mode is
    // inherited); the restarting launcher passes that code on.
    {"EntryPointCrashes",
     [](const LauncherImage& image, ProcessOptions& options) {
         image.installRuntime();
         options.env[L"KIVO_FIXTURE_CRASH"] = L"1";
         return Outcome{static_cast<DWORD>(EXCEPTION_ACCESS_VIOLATION), "", false, true};
     }},
    // 259 is STILL_ACTIVE: a waiter that polls the exit code would wait on.
    {"EntryPointExitsWithStillActive",
     [](const LauncherImage& image, ProcessOptions& options) {
         image.installRuntime();
         options.env[L"KIVO_FIXTURE_EXIT"] = L"259";
         return Outcome{STILL_ACTIVE, "", false, true};
     }},
    {"EntryPointExitsWithHighCode",
     [](const LauncherImage& image, ProcessOptions& options) {
         image.installRuntime();
         options.env[L"KIVO_FIXTURE_EXIT"] = L"4294967295";
         return Outcome{0xFFFFFFFF, "", false, true};
     }},
    {"EntryPointReportsFailure",
     [](const LauncherImage& image, ProcessOptions& options) {
         image.installRuntime();
         options.env[L"KIVO_FIXTURE_RESULT"] = L"-1";
         return Outcome{1, "Failed to launch JVM", false, true};
     }},
};

class HostileRuntimeTest : public ::testing::TestWithParam<std::tuple<RuntimeCase, LaunchPath>> {};

TEST_P(HostileRuntimeTest, EndsWithTheExpectedCodeAndLine) {
    const auto& [testCase, path] = GetParam();
    LauncherImage image;
    image.writeCfg(kCfg);
    ProcessOptions options;
    const Outcome expected = testCase.prepare(image, options);

    const HostileRun run = runHostile(image, path, {}, options);

    EXPECT_EQ(run.result.exitCode, expected.exitCode);
    if (expected.errorLineIsPrefix) {
        EXPECT_TRUE(startsWith(run.errorLine, expected.errorLine)) << run.errorLine << "\nexpected start: "
                                                                   << expected.errorLine;
        EXPECT_TRUE(endsWith(run.errorLine, "))")) << run.errorLine;
    } else {
        EXPECT_EQ(run.errorLine, expected.errorLine);
    }
    EXPECT_EQ(run.record.found, expected.runtimeStarts) << run.result.out;
}

INSTANTIATE_TEST_SUITE_P(Runtimes, HostileRuntimeTest,
                         ::testing::Combine(::testing::ValuesIn(cases),
                                            ::testing::Values(LaunchPath::InProcess, LaunchPath::Restart)),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).name) +
                                    launchPathName(std::get<1>(info.param));
                         });

}  // namespace
