// End-to-end runs of the windowed launcher in a session that shows windows:
// a failed launch shows exactly one error box with the launcher's name and
// the one line, and ends with exit code 1 once OK is pressed; a launch that
// works shows no window at all.
#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "LauncherImage.h"
#include "TestSupport.h"

using testing_support::LaunchPath;
using testing_support::Launcher;
using testing_support::LauncherImage;
using testing_support::RunningProcess;
using testing_support::ScopedEnvVariable;

namespace {

// A dialog is looked for this long before it counts as missing.
constexpr DWORD kDialogTimeoutMs = 20000;
// After the first dialog, a second one would have appeared by then.
constexpr DWORD kSecondDialogMs = 1500;

tstring windowText(HWND window) {
    wchar_t text[1024] = {};
    ::GetWindowTextW(window, text, static_cast<int>(std::size(text)));
    return text;
}

tstring className(HWND window) {
    wchar_t name[256] = {};
    ::GetClassNameW(window, name, static_cast<int>(std::size(name)));
    return name;
}

tstring processImage(DWORD pid) {
    const OwnedHandle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
    if (!process) {
        return tstring();
    }
    wchar_t path[MAX_PATH * 4] = {};
    DWORD size = static_cast<DWORD>(std::size(path));
    const BOOL found = ::QueryFullProcessImageNameW(process.get(), 0, path, &size);
    return found ? tstring(path, size) : tstring();
}

// The visible top-level windows of the processes that run `launcherPath`:
// the launcher and, on the restart path, its child.
std::vector<HWND> launcherWindows(const tstring& launcherPath) {
    struct Search {
        tstring launcher;
        std::vector<HWND> found;
    } search{tstrings::toLower(launcherPath), {}};
    ::EnumWindows(
        [](HWND window, LPARAM param) -> BOOL {
            Search& s = *reinterpret_cast<Search*>(param);
            DWORD pid = 0;
            ::GetWindowThreadProcessId(window, &pid);
            if (::IsWindowVisible(window) && tstrings::toLower(processImage(pid)) == s.launcher) {
                s.found.push_back(window);
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::vector<HWND> children(HWND window) {
    std::vector<HWND> found;
    ::EnumChildWindows(
        window,
        [](HWND child, LPARAM param) -> BOOL {
            reinterpret_cast<std::vector<HWND>*>(param)->push_back(child);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

std::optional<HWND> waitForDialog(const tstring& launcherPath, DWORD timeoutMs) {
    const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
    do {
        const std::vector<HWND> windows = launcherWindows(launcherPath);
        if (!windows.empty()) {
            return windows.front();
        }
        ::Sleep(50);
    } while (::GetTickCount64() < deadline);
    return std::nullopt;
}

// The message of a message box: its Static child with text (the other
// Static holds the icon).
tstring dialogMessage(HWND dialog) {
    for (HWND child : children(dialog)) {
        if (tstrings::toLower(className(child)) == L"static" && !windowText(child).empty()) {
            return windowText(child);
        }
    }
    return tstring();
}

void pressOk(HWND dialog) {
    for (HWND child : children(dialog)) {
        if (tstrings::toLower(className(child)) == L"button" && windowText(child) == L"OK") {
            ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(child), BN_CLICKED),
                           reinterpret_cast<LPARAM>(child));
            return;
        }
    }
    ADD_FAILURE() << "the dialog has no OK button";
}

struct BrokenImageCase {
    const char* name;
    LaunchPath path;
    // Breaks the image and gives the line that the launcher must show.
    tstring (*breakImage)(const LauncherImage& image);
};

void PrintTo(const BrokenImageCase& c, std::ostream* os) { *os << c.name; }

tstring removeRuntime(const LauncherImage& image) {
    testing_support::removeTree(image.runtimeDir());
    return L"Failed to find JVM in \"" + image.runtimeDir() + L"\" directory.";
}

tstring breakCfg(const LauncherImage& image) {
    image.writeCfg("[Application\n");
    return L"Error parsing [" + image.cfgPath() + L"] file at 1: Missing ']' character";
}

// The parent starts fine; the restarted child fails in its runtime.
tstring failEntryPoint(const LauncherImage&) {
    ::SetEnvironmentVariableW(L"KIVO_FIXTURE_RESULT", L"-1");
    return L"Failed to launch JVM";
}

class ErrorDialogTest : public testing::TestWithParam<BrokenImageCase> {
protected:
    void SetUp() override {
        if (!testing_support::sessionShowsDialogs()) {
            GTEST_SKIP() << "this session cannot show windows; scripts/test runs these tests on a virtual display";
        }
        image.installRuntime();
        image.writeCfg("[Application]\napp.mainclass=demo.Main\n");
    }

    // A non-ASCII directory shows that the line reaches the box as Unicode.
    LauncherImage image{L"Caf\u00e9 App.exe", L"image \u00e9\u65e5", Launcher::Windowed};
    ScopedEnvVariable debug{L"KIVO_DEBUG", std::nullopt};
    ScopedEnvVariable result{L"KIVO_FIXTURE_RESULT", std::nullopt};
};

}  // namespace

TEST_P(ErrorDialogTest, ShowsOneDialogWithTheLineAndExitsWithOneAfterOk) {
    const tstring line = GetParam().breakImage(image);
    const ScopedEnvVariable path(L"PATH", image.pathFor(GetParam().path));
    RunningProcess launcher(image.launcherPath(), {});

    const std::optional<HWND> dialog = waitForDialog(image.launcherPath(), kDialogTimeoutMs);
    ASSERT_TRUE(dialog) << "no dialog appeared";
    ::Sleep(kSecondDialogMs);

    EXPECT_EQ(launcherWindows(image.launcherPath()).size(), 1u);
    EXPECT_EQ(tstrings::toUtf8(windowText(*dialog)), "Caf\u00e9 App");
    EXPECT_EQ(tstrings::toUtf8(dialogMessage(*dialog)), tstrings::toUtf8(line));
    EXPECT_FALSE(launcher.wait(0)) << "the launcher ended while its dialog was open";
    pressOk(*dialog);
    EXPECT_EQ(launcher.wait(), std::optional<DWORD>(1));
    EXPECT_TRUE(launcherWindows(image.launcherPath()).empty());
}

INSTANTIATE_TEST_SUITE_P(
    Images, ErrorDialogTest,
    testing::Values(BrokenImageCase{"MissingRuntimeInProcess", LaunchPath::InProcess, removeRuntime},
                    BrokenImageCase{"MissingRuntimeRestart", LaunchPath::Restart, removeRuntime},
                    BrokenImageCase{"BrokenCfgInProcess", LaunchPath::InProcess, breakCfg},
                    BrokenImageCase{"FailingChildRestart", LaunchPath::Restart, failEntryPoint}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ErrorDialogImageTest, WorkingLaunchShowsNoWindow) {
    if (!testing_support::sessionShowsDialogs()) {
        GTEST_SKIP() << "this session cannot show windows; scripts/test runs these tests on a virtual display";
    }
    for (LaunchPath launchPath : {LaunchPath::InProcess, LaunchPath::Restart}) {
        LauncherImage image(Launcher::Windowed);
        image.installRuntime();
        image.writeCfg("[Application]\napp.mainclass=demo.Main\n");
        const ScopedEnvVariable path(L"PATH", image.pathFor(launchPath));
        const ScopedEnvVariable sleep(L"KIVO_FIXTURE_SLEEP_MS", tstring(L"1500"));
        RunningProcess launcher(image.launcherPath(), {});

        EXPECT_FALSE(waitForDialog(image.launcherPath(), 1000)) << testing::PrintToString(launchPath);
        EXPECT_EQ(launcher.wait(), std::optional<DWORD>(0)) << testing::PrintToString(launchPath);
    }
}
