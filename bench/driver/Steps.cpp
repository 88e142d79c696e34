// The launcher's in-process steps, timed one by one.
#include "Steps.h"

#include <windows.h>

#include <memory>
#include <stdexcept>

#include "AppLauncher.h"
#include "Files.h"
#include "JvmLauncher.h"
#include "SysInfo.h"
#include "WinLauncher.h"

namespace bench {

namespace {

const char* const kStepNames[] = {
    "WinLauncher::makeAppLauncher (directories, package file)",
    "AppLauncher::isAppDirInLibPath",
    "AppLauncher::createJvmLauncher",
    "WinLauncher::launchInProcess (DLL directory, runtime, launch)",
    "release (~Jvm)",
};
const std::size_t kStepCount = sizeof kStepNames / sizeof kStepNames[0];

void launchInProcessOnce(const Image& image, std::vector<std::vector<double>>& stepMs) {
    Stopwatch clock;
    const AppLauncher appLauncher = WinLauncher::makeAppLauncher(image.launcher());
    stepMs[0].push_back(clock.lapMs());
    if (!appLauncher.isAppDirInLibPath()) {
        throw std::runtime_error("the in-process steps need the application directory on PATH");
    }
    stepMs[1].push_back(clock.lapMs());
    std::unique_ptr<Jvm> jvm = appLauncher.createJvmLauncher();
    stepMs[2].push_back(clock.lapMs());
    WinLauncher::launchInProcess(*jvm);
    stepMs[3].push_back(clock.lapMs());
    jvm.reset();
    stepMs[4].push_back(clock.lapMs());
}

}  // namespace

std::vector<Step> measureSteps(const Image& image, int repetitions) {
    std::vector<std::vector<double>> stepMs(kStepCount);
    {
        const ScopedEnvVariable path(L"PATH", SysInfo::getEnvVariable(L"PATH", tstring()) + L";" + image.appDir());
        for (int i = 0; i <= repetitions; ++i) {
            launchInProcessOnce(image, stepMs);
        }
        ::SetDllDirectoryW(nullptr);
    }
    std::vector<Step> steps;
    for (std::size_t s = 0; s < kStepCount; ++s) {
        const std::vector<double>& ms = stepMs[s];
        steps.push_back(Step{kStepNames[s], ms.front(), summarize(std::vector<double>(ms.begin() + 1, ms.end()))});
    }
    return steps;
}

}  // namespace bench
