// Whole-process measurements from a Windows parent.
#include "ProcessBench.h"

#include <windows.h>
#include <psapi.h>

#include <cwchar>
#include <map>
#include <sstream>
#include <stdexcept>

#include "Executor.h"

namespace bench {

namespace {

struct LessIgnoringCase {
    bool operator()(const tstring& a, const tstring& b) const {
        return tstrings::toLower(a) < tstrings::toLower(b);
    }
};

typedef std::map<tstring, tstring, LessIgnoringCase> Environment;

Environment currentEnvironment() {
    Environment env;
    wchar_t* block = ::GetEnvironmentStringsW();
    if (!block) {
        const DWORD err = ::GetLastError();
        raiseSystemError("GetEnvironmentStringsW", L"", err);
    }
    for (const wchar_t* entry = block; *entry; entry += std::wcslen(entry) + 1) {
        const tstring text = entry;
        // Entries such as "=C:=C:\dir" keep their leading "=" in the name.
        const std::size_t eq = text.find(L'=', 1);
        if (eq != tstring::npos) {
            env[text.substr(0, eq)] = text.substr(eq + 1);
        }
    }
    ::FreeEnvironmentStringsW(block);
    return env;
}

// A block for CreateProcessW: sorted "name=value" strings, each ended by a
// NUL, and one more NUL.
tstring environmentBlock(const Environment& env) {
    tstring block;
    for (const auto& [name, value] : env) {
        block += name + L"=" + value;
        block.push_back(L'\0');
    }
    block.push_back(L'\0');
    return block;
}

struct Report {
    double peakWorkingSet = 0;
    int argCount = 0;
    DWORD processId = 0;
};

// The single "<peak> <args> <pid>" line a run must leave.
Report readReport(const tstring& path, const std::string& rowName) {
    std::istringstream lines(readFile(path));
    std::vector<Report> reports;
    unsigned long long peak = 0;
    int args = 0;
    unsigned long pid = 0;
    while (lines >> peak >> args >> pid) {
        reports.push_back(Report{static_cast<double>(peak), args, static_cast<DWORD>(pid)});
    }
    if (reports.size() != 1) {
        throw std::runtime_error(rowName + ": expected one report per run, got " + std::to_string(reports.size()));
    }
    return reports.front();
}

struct Sample {
    double wallMs = 0;
    double exitedPeak = 0;
    Report report;
    DWORD processId = 0;
};

class ProcessRunner {
public:
    explicit ProcessRunner(const BenchImage& image);

    Sample run(const ProcessRow& row) const;

private:
    tstring reportPath;
    tstring workDir;
    tstring envWithAppDir;
    tstring envWithoutAppDir;
    OwnedHandle nul;
};

ProcessRunner::ProcessRunner(const BenchImage& image) : reportPath(image.reportPath()), workDir(image.root()) {
    Environment env = currentEnvironment();
    env.erase(L"KIVO_DEBUG");
    env[L"KIVO_BENCH_REPORT"] = reportPath;
    const tstring path = env.count(L"PATH") ? env[L"PATH"] : tstring();
    env[L"PATH"] = path;
    envWithoutAppDir = environmentBlock(env);
    env[L"PATH"] = path + L";" + image.appDir();
    envWithAppDir = environmentBlock(env);

    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE file = ::CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                &inheritable, OPEN_EXISTING, 0, nullptr);
    const DWORD err = ::GetLastError();
    if (file == INVALID_HANDLE_VALUE) {
        raiseSystemError("CreateFileW", L"NUL", err);
    }
    nul.reset(file);
}

Sample ProcessRunner::run(const ProcessRow& row) const {
    deleteFileIfPresent(reportPath);

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nul.get();
    startup.hStdOutput = nul.get();
    startup.hStdError = nul.get();
    tstring commandLine = L"\"" + row.program + L"\"";
    tstring env = row.appDirOnPath ? envWithAppDir : envWithoutAppDir;
    PROCESS_INFORMATION info{};

    Sample sample;
    const Stopwatch clock;
    const BOOL created =
        ::CreateProcessW(row.program.c_str(), commandLine.data(), nullptr, nullptr, TRUE, CREATE_UNICODE_ENVIRONMENT,
                         env.data(), workDir.c_str(), &startup, &info);
    const DWORD err = ::GetLastError();
    if (!created) {
        raiseSystemError("CreateProcessW", row.program, err);
    }
    const OwnedHandle process(info.hProcess);
    const OwnedHandle thread(info.hThread);
    if (::WaitForSingleObject(process.get(), INFINITE) != WAIT_OBJECT_0) {
        const DWORD waitErr = ::GetLastError();
        raiseSystemError("WaitForSingleObject", row.program, waitErr);
    }
    sample.wallMs = clock.elapsedMs();

    DWORD exitCode = 0;
    if (!::GetExitCodeProcess(process.get(), &exitCode)) {
        const DWORD exitErr = ::GetLastError();
        raiseSystemError("GetExitCodeProcess", row.program, exitErr);
    }
    if (exitCode != 0) {
        throw std::runtime_error(row.name + ": the program exited with code " + std::to_string(exitCode));
    }
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    if (::GetProcessMemoryInfo(process.get(), &counters, sizeof counters)) {
        sample.exitedPeak = static_cast<double>(counters.PeakWorkingSetSize);
    }
    sample.processId = info.dwProcessId;
    sample.report = readReport(reportPath, row.name);
    return sample;
}

}  // namespace

std::vector<ProcessRowResult> runProcessRows(const std::vector<ProcessRow>& rows, const BenchImage& image,
                                             int warmUpRounds, int rounds) {
    const ProcessRunner runner(image);
    std::vector<std::vector<Sample>> samples(rows.size());
    for (int round = 0; round < warmUpRounds + rounds; ++round) {
        for (std::size_t i = 0; i < rows.size(); ++i) {
            Sample sample = runner.run(rows[i]);
            if (round >= warmUpRounds) {
                samples[i].push_back(sample);
            }
        }
    }

    std::vector<ProcessRowResult> results;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        std::vector<double> wall, peak, exitedPeak;
        ProcessRowResult result;
        result.row = rows[i];
        for (const Sample& sample : samples[i]) {
            wall.push_back(sample.wallMs);
            peak.push_back(sample.report.peakWorkingSet);
            if (sample.exitedPeak > 0) {
                exitedPeak.push_back(sample.exitedPeak);
            }
            result.reportedArgCount = sample.report.argCount;
            result.reportedByChild = sample.report.processId != sample.processId;
        }
        result.wallMs = summarize(wall);
        result.peakWorkingSet = summarize(peak);
        result.exitedPeakWorkingSet = summarize(exitedPeak);
        results.push_back(result);
    }
    return results;
}

}  // namespace bench
