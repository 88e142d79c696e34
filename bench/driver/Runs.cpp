// Whole-process runs from a Windows parent.
#include "Runs.h"

#include <cstdio>
#include <sstream>

#include "FileUtils.h"
#include "Stats.h"
#include "SysInfo.h"
#include "WinErrorHandling.h"

namespace bench {

namespace {

OwnedFileHandle openInheritable(const tstring& path, DWORD access, DWORD disposition) {
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    OwnedFileHandle file(::CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                       &inheritable, disposition, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        RAISE_LAST_ERROR(tstrings::Builder() << "CreateFileW(" << path << ") failed", ::CreateFileW);
    }
    return file;
}

std::string exitCodeText(DWORD code) {
    char text[32];
    std::snprintf(text, sizeof text, code > 0xFFFF ? "exit code 0x%lX" : "exit code %lu",
                  static_cast<unsigned long>(code));
    return text;
}

std::string firstLine(const std::string& text) {
    const std::size_t start = text.find_first_not_of("\r\n");
    if (start == std::string::npos) {
        return "nothing on standard error";
    }
    return text.substr(start, text.find_first_of("\r\n", start) - start);
}

}  // namespace

Runner::Runner(const Image& image)
    : reportPath(image.root() + L"\\report.txt"),
      errorPath(image.root() + L"\\stderr.txt"),
      basePath(SysInfo::getEnvVariable(L"PATH", tstring())),
      pathWithAppDir(basePath + L";" + image.appDir()),
      workDir(image.root()),
      report(L"KIVO_BENCH_REPORT", reportPath),
      nul(openInheritable(L"NUL", GENERIC_READ | GENERIC_WRITE, OPEN_EXISTING)) {}

Run Runner::run(const Row& row) const {
    deleteFileIfPresent(reportPath);
    const OwnedFileHandle errors = openInheritable(errorPath, GENERIC_WRITE, CREATE_ALWAYS);
    SysInfo::setEnvVariable(L"PATH", row.appDirOnPath ? pathWithAppDir : basePath);

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nul.get();
    startup.hStdOutput = nul.get();
    startup.hStdError = errors.get();
    tstring commandLine = L"\"" + row.program + L"\"";
    PROCESS_INFORMATION info{};
    const long long start = counterNow();
    const BOOL created = ::CreateProcessW(row.program.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                          workDir.c_str(), &startup, &info);
    const DWORD createError = ::GetLastError();
    SysInfo::setEnvVariable(L"PATH", basePath);
    if (!created) {
        Run failed;
        failed.failure = "CreateProcessW failed: " + tstrings::toUtf8(describeSystemError(createError, nullptr));
        return failed;
    }
    const OwnedHandle process(info.hProcess);
    const OwnedHandle thread(info.hThread);
    return finish(row, process.get(), info.dwProcessId, start);
}

Run Runner::finish(const Row& row, HANDLE process, DWORD processId, long long start) const {
    Run run;
    run.started = true;
    if (::WaitForSingleObject(process, INFINITE) != WAIT_OBJECT_0) {
        RAISE_LAST_ERROR(tstrings::Builder() << "WaitForSingleObject() failed", ::WaitForSingleObject);
    }
    run.wallMs = counterToMs(counterNow() - start);
    DWORD exitCode = 0;
    if (!::GetExitCodeProcess(process, &exitCode)) {
        RAISE_LAST_ERROR(tstrings::Builder() << "GetExitCodeProcess() failed", ::GetExitCodeProcess);
    }
    if (exitCode != 0) {
        run.errorOutput = readFile(errorPath);
        run.failure = exitCodeText(exitCode) + ": " + firstLine(run.errorOutput);
        return run;
    }
    readReport(row, processId, start, run);
    if (!run.failure.empty()) {
        run.errorOutput = readFile(errorPath);
    }
    return run;
}

// The one "<peak> <args> <pid> <parent's peak> <counter>" line a run leaves.
void Runner::readReport(const Row& row, DWORD processId, long long start, Run& run) const {
    std::istringstream lines(FileUtils::exists(reportPath) ? readFile(reportPath) : std::string());
    int reports = 0;
    unsigned long long peak = 0, parentPeak = 0, counter = 0;
    unsigned long pid = 0;
    int args = 0;
    while (lines >> peak >> args >> pid >> parentPeak >> counter) {
        ++reports;
        run.peakBytes = static_cast<double>(peak);
        run.parentPeakBytes = static_cast<double>(parentPeak);
        run.toReportMs = counterToMs(static_cast<long long>(counter) - start);
        run.reportedByChild = pid != processId;
    }
    if (reports != 1) {
        run.failure = std::to_string(reports) + " reports, expected one";
    } else if (row.runtimeArgs != 0 && args != row.runtimeArgs) {
        run.failure =
            "the runtime received " + std::to_string(args) + " arguments, expected " + std::to_string(row.runtimeArgs);
    }
}

std::vector<std::vector<Run>> runRounds(const Runner& runner, const std::vector<Row>& rows, int rounds,
                                        void (*onRound)(int round, int rounds)) {
    std::vector<std::vector<Run>> runs(rows.size());
    for (int round = 0; round < rounds; ++round) {
        for (std::size_t i = 0; i < rows.size(); ++i) {
            const std::size_t row = round % 2 ? rows.size() - 1 - i : i;
            runs[row].push_back(runner.run(rows[row]));
        }
        onRound(round, rounds);
    }
    return runs;
}

}  // namespace bench
