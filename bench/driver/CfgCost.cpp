// The in-process cost of turning a configuration into launch data.
#include "CfgCost.h"

#include <atomic>
#include <cstdlib>
#include <memory>
#include <new>

#include "AppLauncher.h"
#include "CfgFile.h"
#include "Files.h"
#include "JvmLauncher.h"
#include "SysInfo.h"
#include "WinLauncher.h"

namespace {

std::atomic<std::uint64_t> allocations{0};

std::uint64_t allocationsNow() { return allocations.load(std::memory_order_relaxed); }

}  // namespace

// Every call of the global operator new is counted; the launcher's libraries
// are linked statically, so theirs count too.
void* operator new(std::size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* const block = std::malloc(size ? size : 1)) {
        return block;
    }
    throw std::bad_alloc();
}

void operator delete(void* block) noexcept { std::free(block); }

void operator delete(void* block, std::size_t) noexcept { std::free(block); }

namespace bench {

namespace {

const char* const kStageNames[] = {
    "locate (AppLauncher::getCfgFilePath)",     "parse (CfgFile::load)",         "expand (CfgFile::applyMacros)",
    "createJvmLauncher (the three, then fill)", "convert (Jvm::makeLaunchData)", "pack (makeLaunchBuffer)",
};
const std::size_t kStageCount = sizeof kStageNames / sizeof kStageNames[0];

// Times the steps given to it and counts their allocations.
struct StageSamples {
    std::vector<double> ms;
    std::uint64_t newCalls = 0;

    template <class Step>
    auto operator()(const Step& step) {
        const std::uint64_t before = allocationsNow();
        const Stopwatch clock;
        auto result = step();
        ms.push_back(clock.elapsedMs());
        newCalls = allocationsNow() - before;
        return result;
    }
};

// Five fixed lines; the rest half class-path entries, half options, each
// naming a directory macro.
std::string configText(int lines) {
    const int classPathLines = (lines - 5) / 2;
    std::string text = "[Application]\napp.mainclass=bench.Main\n";
    for (int i = 0; i < classPathLines; ++i) {
        text += "app.classpath=$APPDIR\\lib\\library-" + std::to_string(i) + ".jar\n";
    }
    text += "[JavaOptions]\n";
    for (int i = classPathLines; i < lines - 5; ++i) {
        text += "java-options=-Dbench.option." + std::to_string(i) + "=$ROOTDIR\\data\\" + std::to_string(i) + "\n";
    }
    return text + "[ArgOptions]\narguments=--bench\n";
}

// Returns the path of the image's launcher, which need not exist.
tstring layOutImage(const tstring& workDir, int lines, const tstring& runtimeLibrary, const std::string& text) {
    const tstring root = workDir + L"\\cfg-" + std::to_wstring(lines);
    makeDirs(root + L"\\app");
    makeDirs(root + L"\\runtime\\bin");
    copyFile(runtimeLibrary, root + L"\\runtime\\bin\\qsr.dll");
    writeFile(root + L"\\app\\BenchApp.cfg", text);
    return root + L"\\BenchApp.exe";
}

std::size_t makeLaunchData(const AppLauncher& appLauncher) {
    const std::unique_ptr<Jvm> jvm = appLauncher.createJvmLauncher();
    const JvmlLauncherDataPtr data = makeLaunchBuffer(*jvmLauncherGetAPI(), jvm->makeLaunchData().release());
    return jvm->getRuntimeArgs().size();
}

void runStages(const AppLauncher& appLauncher, std::vector<StageSamples>& stages) {
    const tstring path = stages[0]([&] { return appLauncher.getCfgFilePath(); });
    const CfgFile loaded = stages[1]([&] { return CfgFile::load(path); });
    const CfgFile expanded = stages[2]([&] { return loaded.applyMacros(appLauncher.cfgMacros()); });
    const std::unique_ptr<Jvm> jvm = stages[3]([&] { return appLauncher.createJvmLauncher(); });
    JvmlLauncherHandlePtr handle = stages[4]([&] { return jvm->makeLaunchData(); });
    stages[5]([&] { return makeLaunchBuffer(*jvmLauncherGetAPI(), handle.release()); });
}

CfgCostResult measureSize(const tstring& workDir, const tstring& runtimeLibrary, int lines) {
    CfgCostResult result;
    result.lines = lines;
    const std::string text = configText(lines);
    result.fileBytes = text.size();
    result.repetitions = lines <= 100 ? 300 : 60;
    const tstring launcher = layOutImage(workDir, lines, runtimeLibrary, text);
    const AppLauncher appLauncher = WinLauncher::makeAppLauncher(launcher);
    const ScopedEnvVariable path(L"PATH", SysInfo::getEnvVariable(L"PATH", tstring()) + L";" + appLauncher.getAppDir());

    // One untimed pass first: the file is then in the system's cache for
    // every timed pass alike.
    result.runtimeArgs = makeLaunchData(appLauncher);
    StageSamples total;
    std::vector<StageSamples> stages(kStageCount);
    for (int i = 0; i < result.repetitions; ++i) {
        total([&] { return makeLaunchData(appLauncher); });
        runStages(appLauncher, stages);
    }
    result.total = CfgStage{"total", summarize(total.ms), total.newCalls};
    for (std::size_t s = 0; s < kStageCount; ++s) {
        result.stages.push_back(CfgStage{kStageNames[s], summarize(stages[s].ms), stages[s].newCalls});
    }
    return result;
}

}  // namespace

std::vector<CfgCostResult> measureCfgCost(const tstring& workDir, const tstring& runtimeLibrary,
                                          const std::vector<int>& lineCounts) {
    std::vector<CfgCostResult> results;
    for (int lines : lineCounts) {
        results.push_back(measureSize(workDir, runtimeLibrary, lines));
    }
    return results;
}

}  // namespace bench
