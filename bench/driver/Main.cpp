// The start-up bench driver: lays out the bench image, measures the
// launcher's launch paths against a bare process and the two floor programs,
// the configuration cost and the launcher's own steps, and prints the tables;
// or, as the restart soak, starts the restart path many times and reports
// every failure. Settings come from the environment, so that the driver's
// command line stays empty like a launcher started without arguments:
//   KIVO_BENCH_ROUNDS    rounds of the process rows (default 400)
//   KIVO_BENCH_SOAK      restart launches of the soak; unset: the bench
//   KIVO_BENCH_OUT       where samples.csv and failures.txt go (default
//                        ..\bench beside the driver's directory)
//   KIVO_BENCH_LAUNCHER  the file whose size is the stripped launcher's
//                        (default kivo.exe beside the driver)
//   KIVO_BENCH_PINNING   how the caller placed Wine's processes, for the
//                        table's heading
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <exception>
#include <stdexcept>

#include "FileUtils.h"
#include "Log.h"
#include "Report.h"
#include "SysInfo.h"

namespace {

const int kWarmUpRounds = 3;

int whole(const wchar_t* name, const wchar_t* defaultValue, long max) {
    const tstring value = SysInfo::getEnvVariable(name, defaultValue);
    wchar_t* end = nullptr;
    const long number = std::wcstol(value.c_str(), &end, 10);
    if (value.empty() || *end != L'\0' || number < 1 || number > max) {
        throw std::runtime_error(tstrings::toUtf8(name) + " must be a whole number from 1 to " + std::to_string(max) +
                                 ", not \"" + tstrings::toUtf8(value) + "\"");
    }
    return static_cast<int>(number);
}

std::vector<bench::Row> processRows(const bench::Image& image) {
    const int args = bench::kBenchArgCount;
    return {
        {"bare", image.program(L"bare"), true, 0},
        {"floor (bare runtime)", image.program(L"bare_floor"), true, args},
        {bench::kFloor, image.program(L"floor"), true, args},
        {bench::kInProcess, image.launcher(), true, args},
        {bench::kRestart, image.launcher(), false, args},
        {bench::kProbeWindow, image.program(L"probe_window"), true, 0},
    };
}

void reportRound(int round, int rounds) {
    if ((round + 1) % 50 == 0 || round + 1 == rounds) {
        std::fprintf(stderr, "  round %d of %d\n", round + 1, rounds);
    }
}

void runBench(const bench::Image& image, const tstring& binDir, const tstring& outDir) {
    const tstring launcherFile = SysInfo::getEnvVariable(L"KIVO_BENCH_LAUNCHER", binDir + L"\\kivo.exe");
    bench::BenchResults results;
    results.warmUpRounds = kWarmUpRounds;
    results.rounds = whole(L"KIVO_BENCH_ROUNDS", L"400", 100000);
    results.pinning = tstrings::toUtf8(SysInfo::getEnvVariable(L"KIVO_BENCH_PINNING", L"Wine's processes not pinned"));
    results.launcherFile = tstrings::toUtf8(launcherFile);
    results.launcherBytes = bench::fileSize(launcherFile);

    std::fprintf(stderr, "bench: the launcher's steps and the configuration cost...\n");
    results.steps = bench::measureSteps(image, 50);
    results.cfgCost = bench::measureCfgCost(image.root(), image.runtimeLibrary(), {10, 1000, 10000});

    std::fprintf(stderr, "bench: %d rounds of processes...\n", kWarmUpRounds + results.rounds);
    const bench::Runner runner(image);
    results.rows = processRows(image);
    results.runs = bench::runRounds(runner, results.rows, kWarmUpRounds + results.rounds, reportRound);

    std::fputs(bench::formatReport(results).c_str(), stdout);
    bench::writeFile(outDir + L"\\samples.csv", bench::formatCsv(results));
    bench::writeFile(outDir + L"\\failures.txt", bench::formatFailures(results.rows, results.runs, true));
}

void runSoak(const bench::Image& image, const tstring& outDir) {
    const int launches = whole(L"KIVO_BENCH_SOAK", L"5000", 1000000);
    const bench::Runner runner(image);
    const std::vector<bench::Row> rows = {{bench::kRestart, image.launcher(), false, bench::kBenchArgCount}};
    std::vector<std::vector<bench::Run>> runs(1);
    int failures = 0;
    for (int n = 1; n <= launches; ++n) {
        runs[0].push_back(runner.run(rows[0]));
        if (!runs[0].back().failure.empty()) {
            ++failures;
            std::fprintf(stderr, "soak: launch %d failed: %s\n", n, runs[0].back().failure.c_str());
        } else if (n % 500 == 0) {
            std::fprintf(stderr, "soak: %d launches, %d failed\n", n, failures);
        }
    }
    bench::writeFile(outDir + L"\\failures.txt", bench::formatFailures(rows, runs, true));
    std::printf("soak: %d restart launches, %d failed\n%s", launches, failures,
                bench::formatFailures(rows, runs, false).c_str());
}

void run() {
    // The launcher's steps called here must stay as quiet as the started
    // launchers, whose environment is this one's.
    ::SetEnvironmentVariableW(L"KIVO_DEBUG", nullptr);
    static NopLogAppender quietAppender;
    LogDispatcher::instance().installAppender(quietAppender);

    const tstring binDir = FileUtils::parentDir(SysInfo::getExecutablePath());
    const tstring outDir = SysInfo::getEnvVariable(L"KIVO_BENCH_OUT", binDir + L"\\..\\bench");
    bench::makeDirs(outDir);
    const bench::Image image(binDir);
    std::fprintf(stderr, "bench image: %s\n", tstrings::toUtf8(image.root()).c_str());
    if (SysInfo::getEnvVariable(L"KIVO_BENCH_SOAK", tstring()).empty()) {
        runBench(image, binDir, outDir);
    } else {
        runSoak(image, outDir);
    }
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
