// The start-up bench driver: lays out the bench image, measures the
// launcher's launch paths against a bare process and the two floor programs,
// the configuration cost and the launcher's own steps, prints the tables and
// writes them as JSON. Settings come from the environment, so that the
// driver's own command line stays empty like a launcher started without
// arguments:
//   KIVO_BENCH_ROUNDS    runs per process row (default 30)
//   KIVO_BENCH_JSON      where the JSON goes (default ..\bench\results.json
//                        beside the driver's directory)
//   KIVO_BENCH_LAUNCHER  the file whose size is reported as the stripped
//                        launcher's (default kivo.exe beside the driver)
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <exception>
#include <stdexcept>
#include <string>

#include "AllocationCounter.h"
#include "BenchFiles.h"
#include "BenchImage.h"
#include "CfgCost.h"
#include "LaunchBreakdown.h"
#include "Log.h"
#include "ProcessBench.h"
#include "Report.h"
#include "SysInfo.h"

namespace {

const int kWarmUpRounds = 3;
const int kLaunchStepRepetitions = 50;
const int kRestartStepRepetitions = 10;

int roundsSetting() {
    const tstring value = SysInfo::getEnvVariable(L"KIVO_BENCH_ROUNDS", L"30");
    wchar_t* end = nullptr;
    const long rounds = std::wcstol(value.c_str(), &end, 10);
    if (value.empty() || *end != L'\0' || rounds < 1 || rounds > 10000) {
        throw std::runtime_error("KIVO_BENCH_ROUNDS must be a whole number from 1 to 10000, not \"" +
                                 tstrings::toUtf8(value) + "\"");
    }
    return static_cast<int>(rounds);
}

struct ImagePrograms {
    tstring bare;
    tstring floor;
    tstring bareFloor;
    tstring probeUser32;
    tstring probeShell32;
    tstring probeStreams;
    tstring probeResources;
    tstring probeWindow;
    tstring probeAll;
};

ImagePrograms addPrograms(const bench::BenchImage& image) {
    ImagePrograms programs;
    programs.bare = image.addProgram(L"kivo_bench_bare.exe", L"Bare.exe");
    programs.floor = image.addProgram(L"kivo_bench_floor.exe", L"Floor.exe");
    programs.bareFloor = image.addProgram(L"kivo_bench_bare_floor.exe", L"BareFloor.exe");
    programs.probeUser32 = image.addProgram(L"kivo_bench_probe_user32.exe", L"ProbeUser32.exe");
    programs.probeShell32 = image.addProgram(L"kivo_bench_probe_shell32.exe", L"ProbeShell32.exe");
    programs.probeStreams = image.addProgram(L"kivo_bench_probe_iostream.exe", L"ProbeStreams.exe");
    programs.probeResources = image.addProgram(L"kivo_bench_probe_resources.exe", L"ProbeResources.exe");
    programs.probeWindow = image.addProgram(L"kivo_bench_probe_window.exe", L"ProbeWindow.exe");
    programs.probeAll = image.addProgram(L"kivo_bench_probe_all.exe", L"ProbeAll.exe");
    return programs;
}

std::vector<bench::ProcessRow> launchRows(const bench::BenchImage& image, const ImagePrograms& programs) {
    return {
        {"bare", programs.bare, true},
        {bench::kBareFloorRow, programs.bareFloor, true},
        {bench::kFloorRow, programs.floor, true},
        {"in-process", image.launcher(), true},
        {"restart", image.launcher(), false},
    };
}

std::vector<bench::ProcessRow> probeRows(const ImagePrograms& programs) {
    return {
        {"bare", programs.bare, true},
        {"bare + user32 import", programs.probeUser32, true},
        {"bare + shell32 import", programs.probeShell32, true},
        {"bare + C++ streams", programs.probeStreams, true},
        {"bare + launcher resources", programs.probeResources, true},
        {"bare + user32 + resources", programs.probeAll, true},
        {"bare + message-only window", programs.probeWindow, true},
    };
}

void checkArgCounts(const std::vector<bench::ProcessRowResult>& rows) {
    for (const bench::ProcessRowResult& r : rows) {
        if (r.row.name != "bare" && r.reportedArgCount != bench::kBenchArgCount) {
            throw std::runtime_error(r.row.name + ": the runtime received " + std::to_string(r.reportedArgCount) +
                                     " arguments, expected " + std::to_string(bench::kBenchArgCount));
        }
    }
}

void run() {
    // The replayed launch must stay as quiet as the measured one.
    ::_wputenv(L"KIVO_DEBUG=");
    // Without the launch wrapper the logger would write to standard output.
    static NopLogAppender quietAppender;
    LogDispatcher::instance().installAppender(quietAppender);

    const tstring binDir = bench::executableDir();
    const tstring jsonPath = SysInfo::getEnvVariable(L"KIVO_BENCH_JSON", binDir + L"\\..\\bench\\results.json");
    const tstring launcherFile = SysInfo::getEnvVariable(L"KIVO_BENCH_LAUNCHER", binDir + L"\\kivo.exe");

    bench::BenchResults results;
    results.rounds = roundsSetting();
    results.launcherFile = tstrings::toUtf8(launcherFile);
    results.launcherBytes = bench::fileSize(launcherFile);

    const bench::BenchImage image(binDir);
    std::fprintf(stderr, "bench image: %s\n", tstrings::toUtf8(image.root()).c_str());

    const ImagePrograms programs = addPrograms(image);

    std::fprintf(stderr, "replaying the launch sequence...\n");
    results.launchSteps = bench::measureLaunchSteps(image, kLaunchStepRepetitions);
    results.restartSteps = bench::measureRestartSteps(programs.bare, kRestartStepRepetitions);

    std::fprintf(stderr, "measuring the configuration cost...\n");
    results.cfgCost = bench::measureCfgCost(image.root(), image.runtimeLibrary(), {10, 1000, 10000});
    for (int blocks : {500, 50000, 500000}) {
        results.nsPerAllocation.emplace_back(blocks, bench::nanosecondsPerAllocation(blocks));
    }
    const std::size_t largestBuffer = static_cast<std::size_t>(results.cfgCost.back().bufferBytes);
    results.largeBlockMs = {largestBuffer, bench::millisecondsPerLargeBlock(largestBuffer)};

    std::fprintf(stderr, "starting processes (%d rounds)...\n", results.rounds);
    results.rows = bench::runProcessRows(launchRows(image, programs), image, kWarmUpRounds, results.rounds);
    checkArgCounts(results.rows);
    results.probes = bench::runProcessRows(probeRows(programs), image, kWarmUpRounds, results.rounds);

    const std::vector<bench::TargetCheck> targets = bench::checkTargets(results);
    std::fputs(bench::formatTables(results, targets).c_str(), stdout);
    bench::writeFile(jsonPath, bench::formatJson(results, targets));
    std::printf("\nJSON: %s\n", tstrings::toUtf8(jsonPath).c_str());
}

}  // namespace

int wmain() {
    try {
        run();
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench failed: %s\n", e.what());
        return 1;
    }
}
