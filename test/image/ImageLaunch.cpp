// What the fixture runtime received from a launched image.
#include "ImageLaunch.h"

#include <gtest/gtest.h>

#include "FixtureRecord.h"
#include "ImageTool.h"
#include "LauncherImage.h"
#include "TestSupport.h"

namespace testing_support {

std::vector<std::string> runtimeArgv(const ProcessResult& launch) {
    EXPECT_EQ(launch.exitCode, 0u) << launch.err;
    const FixtureRecord record = parseFixtureRecord(launch.out);
    EXPECT_TRUE(record.found) << launch.out;
    return record.argv;
}

}  // namespace testing_support

namespace testing_support {

// Ctrl+C reaches a process through its console: the tool gets one of its
// own, and a helper attached to it sends the event. Windows has no SIGTERM.
InterruptOutcome interruptImageTool(const tstring_array& args, const std::function<bool()>& started, Interrupt how) {
    if (how == Interrupt::terminate) {
        return {std::nullopt, "Windows programs get no SIGTERM"};
    }
    RunningProcess tool(imageToolPath(), args, CREATE_NEW_CONSOLE);
    const ULONGLONG deadline = ::GetTickCount64() + 30000;
    while (!started() && ::GetTickCount64() < deadline) {
        ::Sleep(5);
    }
    const ProcessResult sent =
        runProcess(testBinDir() + L"\\kivo_send_console_ctrl.exe", {L"c", std::to_wstring(tool.pid())});
    if (sent.exitCode != 0) {
        return {std::nullopt, "this system cannot deliver the console event (sender exit code " +
                                  std::to_string(sent.exitCode) + ")"};
    }
    const std::optional<DWORD> exitCode = tool.wait();
    return {exitCode ? std::optional<std::uint32_t>(*exitCode) : std::nullopt, ""};
}

}  // namespace testing_support
