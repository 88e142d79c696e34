// Runs of kivo-image for the tests, and the pieces of its check report that
// the tests compare.
#include "ImageTool.h"

#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>

#include "FixtureRecord.h"

namespace testing_support {

namespace {

const std::string kIndent = "   ";

}  // namespace

tstring imageToolPath() { return testBinDir() + L"\\kivo-image.exe"; }

std::vector<std::string> runtimeArgv(const ProcessResult& launch) {
    EXPECT_EQ(launch.exitCode, 0u) << launch.err;
    const FixtureRecord record = parseFixtureRecord(launch.out);
    EXPECT_TRUE(record.found) << launch.out;
    return record.argv;
}

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

void setPeDataDirectory(const tstring& path, std::size_t index, DWORD rva, DWORD size) {
    std::string bytes = readFile(path);
    IMAGE_DOS_HEADER dos;
    if (bytes.size() < sizeof(dos)) {
        throw std::runtime_error("not a PE file");
    }
    std::memcpy(&dos, bytes.data(), sizeof(dos));
    const std::size_t directoryAt = static_cast<std::size_t>(dos.e_lfanew) + sizeof(DWORD) +
                                    sizeof(IMAGE_FILE_HEADER) + offsetof(IMAGE_OPTIONAL_HEADER64, DataDirectory) +
                                    index * sizeof(IMAGE_DATA_DIRECTORY);
    if (directoryAt + sizeof(IMAGE_DATA_DIRECTORY) > bytes.size()) {
        throw std::runtime_error("not a PE file");
    }
    const IMAGE_DATA_DIRECTORY directory = {rva, size};
    std::memcpy(&bytes[directoryAt], &directory, sizeof(directory));
    writeFile(path, bytes);
}

}  // namespace testing_support

namespace testing_support {

namespace {

template <class T>
void append(std::string& bytes, const T& value) {
    bytes.append(reinterpret_cast<const char*>(&value), sizeof(value));
}

const std::string kCreateCfg =
    "[Application]\n"
    "app.classpath=$APPDIR\\main.jar;$APPDIR\\lib\\*\n"
    "app.mainclass=demo.Main\n"
    "[JavaOptions]\n"
    "java-options=-Dhome=$ROOTDIR\n"
    "[ArgOptions]\n"
    "arguments=--configured\n";

}  // namespace

std::string makeIconFile(const std::vector<int>& sizes) {
    std::string header;
    std::string images;
    append(header, WORD{0});
    append(header, WORD{1});
    append(header, static_cast<WORD>(sizes.size()));
    const DWORD firstOffset = static_cast<DWORD>(6 + 16 * sizes.size());
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        const int size = sizes[i];
        std::string image;
        BITMAPINFOHEADER info = {};
        info.biSize = sizeof(info);
        info.biWidth = size;
        info.biHeight = 2 * size;
        info.biPlanes = 1;
        info.biBitCount = 32;
        append(image, info);
        const DWORD colour = 0xFF000000u | static_cast<DWORD>(0x101010u * (i + 1));
        for (int p = 0; p < size * size; ++p) {
            append(image, colour);
        }
        image.append(static_cast<std::size_t>((size + 31) / 32 * 4 * size), '\0');
        append(header, static_cast<BYTE>(size >= 256 ? 0 : size));
        append(header, static_cast<BYTE>(size >= 256 ? 0 : size));
        append(header, BYTE{0});
        append(header, BYTE{0});
        append(header, WORD{1});
        append(header, WORD{32});
        append(header, static_cast<DWORD>(image.size()));
        append(header, static_cast<DWORD>(firstOffset + images.size()));
        images += image;
    }
    return header + images;
}

CreateInputs::CreateInputs(const std::string& cfg) : temp(L"kivo-image") {
    config = temp.path() + L"\\input.cfg";
    files = temp.path() + L"\\files";
    dest = temp.path() + L"\\out\\image";
    runtime = testBinDir() + L"\\fixtures\\runtime";
    writeFile(config, cfg.empty() ? kCreateCfg : cfg);
    makeDirs(files + L"\\lib");
    writeFile(files + L"\\main.jar", "main");
    writeFile(files + L"\\lib\\extra.jar", "extra");
}

tstring_array CreateInputs::createArgs(const tstring& name) const {
    return {L"create", L"--name", name, L"--config", config, L"--input", files, L"--runtime", runtime, L"--dest", dest};
}

}  // namespace testing_support
