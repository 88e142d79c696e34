// The in-process cost of turning a configuration into launch data.
#include "CfgCost.h"

#include <cstdlib>
#include <memory>
#include <optional>
#include <stdexcept>

#include "AllocationCounter.h"
#include "AppLauncher.h"
#include "BenchFiles.h"
#include "CfgFile.h"
#include "FileUtils.h"
#include "JvmLauncher.h"
#include "SysInfo.h"

namespace bench {

namespace {

struct SizeImage {
    tstring root;
    tstring appDir;
    tstring runtimeDir;
};

SizeImage layOutImage(const tstring& workDir, int lines, const tstring& runtimeLibrary, const std::string& text) {
    SizeImage image;
    image.root = workDir + L"\\cfg-" + std::to_wstring(lines);
    image.appDir = image.root + L"\\app";
    image.runtimeDir = image.root + L"\\runtime";
    makeDirs(image.appDir);
    makeDirs(image.runtimeDir + L"\\bin");
    copyFile(runtimeLibrary, image.runtimeDir + L"\\bin\\qsr.dll");
    const tstring launcherName = FileUtils::withoutExtension(FileUtils::fileName(SysInfo::getExecutablePath()));
    writeFile(image.appDir + L"\\" + launcherName + L".cfg", text);
    return image;
}

AppLauncher makeAppLauncher(const SizeImage& image) {
    AppLauncher appLauncher;
    appLauncher.setRootDir(image.root)
        .addJvmLibCandidate(L"bin\\qsr.dll")
        .setAppDir(image.appDir)
        .setLibPathEnvVariable(L"PATH")
        .setDefaultRuntimeDir(image.runtimeDir);
    return appLauncher;
}

int repetitionsFor(int lines) {
    if (lines <= 100) {
        return 300;
    }
    if (lines <= 10000) {
        return 60;
    }
    return 9;
}

// One pass through the launcher's own calls; returns the buffer size.
int runWhole(const AppLauncher& appLauncher, std::size_t& runtimeArgs) {
    const std::unique_ptr<Jvm> jvm = appLauncher.createJvmLauncher();
    runtimeArgs = jvm->getRuntimeArgs().size();
    std::int32_t size = 0;
    const JvmlLauncherDataPtr data(makeJvmlLauncherData(jvmLauncherGetAPI(), jvm->makeLaunchData().release(), &size));
    if (!data) {
        throw std::runtime_error("makeJvmlLauncherData gave no buffer");
    }
    return size;
}

// Times and heap blocks of each stage of one run.
class StageClock {
public:
    explicit StageClock(std::vector<std::vector<double>>& stageMs, std::vector<std::uint64_t>& stageAllocations)
        : stageMs(stageMs), stageAllocations(stageAllocations), allocationsBefore(allocationCount()) {}

    // Ends stage `stage` and starts the next one.
    void lap(std::size_t stage) {
        stageMs[stage].push_back(clock.lapMs());
        const std::uint64_t now = allocationCount();
        stageAllocations[stage] = now - allocationsBefore;
        allocationsBefore = now;
    }

private:
    std::vector<std::vector<double>>& stageMs;
    std::vector<std::uint64_t>& stageAllocations;
    std::uint64_t allocationsBefore;
    Stopwatch clock;
};

// The same work stage by stage.
void runStages(const AppLauncher& appLauncher, const SizeImage& image, StageClock& clock) {
    const tstring cfgPath = appLauncher.getCfgFilePath();
    clock.lap(0);

    std::optional<CfgFile> loaded = CfgFile::load(cfgPath);
    clock.lap(1);

    CfgMacros macros;
    macros[L"$APPDIR"] = image.appDir;
    macros[L"$BINDIR"] = FileUtils::parentDir(SysInfo::getExecutablePath());
    macros[L"$ROOTDIR"] = image.root;
    std::optional<CfgFile> expanded = loaded->applyMacros(macros);
    clock.lap(2);

    std::unique_ptr<Jvm> jvm(new Jvm());
    jvm->setLibraryPath(image.runtimeDir + L"\\bin\\qsr.dll");
    jvm->appendArgument(SysInfo::getExecutablePath());
    jvm->initFromConfigFile(*expanded);
    clock.lap(3);

    JvmlLauncherHandlePtr handle = jvm->makeLaunchData();
    clock.lap(4);

    const JvmlLauncherDataPtr data(makeJvmlLauncherData(jvmLauncherGetAPI(), handle.release(), nullptr));
    clock.lap(5);

    jvm.reset();
    clock.lap(6);

    expanded.reset();
    loaded.reset();
    clock.lap(7);
}

const char* const kStageNames[] = {
    "locate (getCfgFilePath)",
    "parse (CfgFile::load)",
    "expand (applyMacros)",
    "assemble (Jvm::initFromConfigFile)",
    "convert (Jvm::makeLaunchData)",
    "pack (makeJvmlLauncherData)",
    "release (~Jvm)",
    "release (~CfgFile, both copies)",
};
const std::size_t kStageCount = sizeof kStageNames / sizeof kStageNames[0];

}  // namespace

std::string makeConfigText(int lines) {
    if (lines < 10) {
        throw std::invalid_argument("a bench configuration has at least 10 lines");
    }
    // Five fixed lines; the rest is half class-path entries, half options.
    const int bulk = lines - 5;
    const int classPathLines = bulk / 2;
    const int optionLines = bulk - classPathLines;
    std::string text = "[Application]\napp.mainclass=bench.Main\n";
    for (int i = 0; i < classPathLines; ++i) {
        text += "app.classpath=$APPDIR\\lib\\library-" + std::to_string(i) + ".jar\n";
    }
    text += "[JavaOptions]\n";
    for (int i = 0; i < optionLines; ++i) {
        text += "java-options=-Dbench.option." + std::to_string(i) + "=$ROOTDIR\\data\\" + std::to_string(i) + "\n";
    }
    text += "[ArgOptions]\narguments=--bench\n";
    return text;
}

std::vector<CfgCostResult> measureCfgCost(const tstring& workDir, const tstring& runtimeLibrary,
                                          const std::vector<int>& lineCounts) {
    std::vector<CfgCostResult> results;
    for (int lines : lineCounts) {
        const std::string text = makeConfigText(lines);
        const SizeImage image = layOutImage(workDir, lines, runtimeLibrary, text);
        const ScopedEnvVariable path(L"PATH", SysInfo::getEnvVariable(L"PATH", tstring()) + L";" + image.appDir);
        const AppLauncher appLauncher = makeAppLauncher(image);

        CfgCostResult result;
        result.lines = lines;
        result.fileBytes = text.size();
        result.repetitions = repetitionsFor(lines);
        std::vector<double> totalMs;
        std::vector<std::vector<double>> stageMs(kStageCount);
        std::vector<std::uint64_t> stageAllocations(kStageCount);
        // One untimed pass first: the file is then in the system's cache for
        // every timed pass alike.
        result.bufferBytes = runWhole(appLauncher, result.runtimeArgs);
        for (int i = 0; i < result.repetitions; ++i) {
            const std::uint64_t allocationsBefore = allocationCount();
            const Stopwatch clock;
            runWhole(appLauncher, result.runtimeArgs);
            totalMs.push_back(clock.elapsedMs());
            result.totalAllocations = allocationCount() - allocationsBefore;
            StageClock stageClock(stageMs, stageAllocations);
            runStages(appLauncher, image, stageClock);
        }
        result.totalMs = summarize(totalMs);
        for (std::size_t s = 0; s < kStageCount; ++s) {
            result.stages.push_back(CfgStage{kStageNames[s], summarize(stageMs[s]), stageAllocations[s]});
        }
        results.push_back(result);
    }
    return results;
}

}  // namespace bench
