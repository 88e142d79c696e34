// Runs of kivo-image for the tests, the pieces of its check report that the
// tests compare, and the files it reads. The tool is kivo-image.exe on
// Windows and kivo-image natively; both read the Windows build's launchers
// and fixture runtimes, which only Windows runs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "TempImage.h"
#include "TestFiles.h"
#include "TestProcess.h"

namespace testing_support {

// Kivo-image.exe beside the test program on Windows; natively the tool
// that this build made.
tstring imageToolPath();

// `name`, such as kivo.exe, in the image tool's directory, where the tool
// finds the launchers it lays out.
tstring launcherPath(const tstring& name);

// The Windows build's program directory: the test program's own on
// Windows; natively the cross build's, named when the tree is configured.
tstring windowsBinDir();

// The fixture runtimes, in windowsBinDir().
tstring fixturesDir();

// Runs kivo-image with `args`; KIVO_DEBUG is removed unless `options` sets it.
ProcessResult runImageTool(const tstring_array& args, ProcessOptions options = {});

// Runs the Windows build's kivo-image.exe: under Wine when the tests run
// natively, the same as runImageTool on Windows.
ProcessResult runWindowsImageTool(const tstring_array& args);

// Runs a Windows program (a path or a program of Wine's own, such as
// msiexec) under Wine, natively only.
ProcessResult runUnderWine(const tstring_array& args, ProcessOptions options = {});

// How a user stops a running kivo-image: Ctrl+C (SIGINT on Linux), or
// SIGTERM, which Linux sends when a build is cancelled.
enum class Interrupt { ctrlC, terminate };

struct InterruptOutcome {
    // The tool's exit code; nothing when it did not end in time.
    std::optional<std::uint32_t> exitCode;
    // Why the interrupt could not be sent on this system, or empty.
    std::string notDelivered;
};

// Starts kivo-image with `args`, waits until `started` holds (at most 30 s),
// interrupts it and waits for its end.
InterruptOutcome interruptImageTool(const tstring_array& args, const std::function<bool()>& started, Interrupt how);

// The "argv[i]=" lines of a check report, UTF-8, in order.
std::vector<std::string> reportedArgv(const std::string& out);

// The texts of the report's "error: " or "warning: " lines (`kind` is
// "error" or "warning"), without the prefix.
std::vector<std::string> reportFindings(const std::string& out, const std::string& kind);

// The report's last line, "Result: ...".
std::string reportResult(const std::string& out);

// Overwrites the machine field of the PE file at `path`.
void setPeMachine(const tstring& path, std::uint16_t machine);

// Overwrites data directory `index` of the PE32+ file at `path`.
void setPeDataDirectory(const tstring& path, std::size_t index, std::uint32_t rva, std::uint32_t size);

// An image of the console launcher beside the image tool, with the fixture
// runtimes to install: what the tool checks.
class ToolImage : public TempImage {
public:
    explicit ToolImage(const tstring& exeName = L"Demo.exe", const tstring& rootName = L"image");
};

}  // namespace testing_support

namespace testing_support {

// An icon file with one 32-bit image per size, each filled with its own
// colour.
std::string makeIconFile(const std::vector<int>& sizes);

// The application's input for "kivo-image create": a configuration that
// names main.jar in app\, and a directory of application files.
struct CreateInputs {
    explicit CreateInputs(const std::string& cfg = "");

    TempDir temp;
    tstring config;
    tstring files;
    tstring dest;
    tstring runtime;

    // The arguments of create with these inputs and `name`.
    tstring_array createArgs(const tstring& name) const;
};

}  // namespace testing_support
