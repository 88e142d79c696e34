// Application images laid out in temporary directories for end-to-end runs
// of the launcher, and the environment and process helpers those runs need.
#pragma once

#include <windows.h>

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "TempImage.h"
#include "OwnedResource.h"
#include "TestSupport.h"

namespace testing_support {

// Starts kivo_desktop_keeper once per test program, before any launcher of
// the test creates a window (see desktop_keeper.c). Best effort. Called by
// LauncherImage.
void keepDesktopInUse();

// Which launcher executable an image carries: kivo.exe or kivow.exe.
enum class Launcher { Console, Windowed };

void PrintTo(Launcher launcher, std::ostream* os);

// The file name of the launcher in the build's bin directory.
tstring launcherFileName(Launcher launcher);

// Whether a message box that this session opens appears, rather than fail
// at once as it does where there is no interactive desktop. Decided once,
// by opening one and closing it again.
bool sessionShowsDialogs();

// An image of the build's own launcher (see TempImage) with the fixture
// runtimes in bin\fixtures, started the ways the launcher can be started.
class LauncherImage : public TempImage {
public:
    explicit LauncherImage(const tstring& exeName = L"Demo.exe", const tstring& rootName = L"image",
                           Launcher launcher = Launcher::Console);
    explicit LauncherImage(Launcher launcher) : LauncherImage(L"Demo.exe", L"image", launcher) {}

    // PATH for a run: this process's PATH, with the application directory
    // appended for the in-process path.
    tstring pathFor(LaunchPath path) const;

    // Runs the launcher with PATH chosen for `path`; KIVO_DEBUG is removed
    // unless `options` sets it.
    ProcessResult run(const tstring_array& args, LaunchPath path, ProcessOptions options = {}) const;
};

// The lines of a run's standard error.
std::vector<std::string> errLines(const ProcessResult& result);

// A launcher started without waiting for it, its standard output read
// through a pipe while it runs. A launcher still running at the end of the
// object is terminated.
class RunningProcess {
public:
    // `creationFlags` are added to CREATE_UNICODE_ENVIRONMENT; the child's
    // environment is this process's.
    RunningProcess(const tstring& program, const tstring_array& args, DWORD creationFlags = 0);
    ~RunningProcess();
    RunningProcess(const RunningProcess&) = delete;
    RunningProcess& operator=(const RunningProcess&) = delete;

    DWORD pid() const { return processId; }
    HANDLE handle() const { return process.get(); }

    // Reads standard output until it holds `text`, the pipe closes or
    // `timeoutMs` pass; returns everything read so far.
    const std::string& readUntil(const std::string& text, DWORD timeoutMs = 30000);

    // Waits for the end, at most `timeoutMs`; returns the exit code, or
    // nothing when the process is still running.
    std::optional<DWORD> wait(DWORD timeoutMs = 30000);

private:
    OwnedHandle process;
    OwnedHandle outRead;
    DWORD processId = 0;
    std::string out;
};

}  // namespace testing_support
