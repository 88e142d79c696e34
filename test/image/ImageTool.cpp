// Runs of kivo-image for the tests, and the pieces of its check report that
// the tests compare.
#include "ImageTool.h"

#include <cstring>
#include <stdexcept>

namespace testing_support {

namespace {

const std::string kIndent = "   ";

}  // namespace

tstring imageToolPath() { return testBinDir() + L"\\kivo-image.exe"; }

ProcessResult runImageTool(const tstring_array& args, ProcessOptions options) {
    options.env.emplace(L"KIVO_DEBUG", std::nullopt);
    return runProcess(imageToolPath(), args, options);
}

std::vector<std::string> reportedArgv(const std::string& out) {
    std::vector<std::string> argv;
    for (const std::string& line : lines(out)) {
        const std::string prefix = kIndent + "argv[" + std::to_string(argv.size()) + "]=";
        if (line.compare(0, prefix.size(), prefix) == 0) {
            argv.push_back(line.substr(prefix.size()));
        }
    }
    return argv;
}

std::vector<std::string> reportFindings(const std::string& out, const std::string& kind) {
    std::vector<std::string> findings;
    const std::string prefix = kIndent + kind + ": ";
    for (const std::string& line : lines(out)) {
        if (line.compare(0, prefix.size(), prefix) == 0) {
            findings.push_back(line.substr(prefix.size()));
        }
    }
    return findings;
}

std::string reportResult(const std::string& out) {
    const std::vector<std::string> all = lines(out);
    return all.empty() ? std::string() : all.back();
}

void setPeMachine(const tstring& path, WORD machine) {
    std::string bytes = readFile(path);
    IMAGE_DOS_HEADER dos;
    if (bytes.size() < sizeof(dos)) {
        throw std::runtime_error("not a PE file");
    }
    std::memcpy(&dos, bytes.data(), sizeof(dos));
    const std::size_t machineAt = static_cast<std::size_t>(dos.e_lfanew) + sizeof(DWORD);
    if (machineAt + sizeof(WORD) > bytes.size()) {
        throw std::runtime_error("not a PE file");
    }
    std::memcpy(&bytes[machineAt], &machine, sizeof(machine));
    writeFile(path, bytes);
}

}  // namespace testing_support
