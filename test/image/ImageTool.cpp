// Runs of kivo-image for the tests, the pieces of its check report that the
// tests compare, and the PE and icon files it reads, written byte by byte.
#include "ImageTool.h"

#include <stdexcept>

#include "FileUtils.h"

namespace testing_support {

using FileUtils::combinePath;

namespace {

const std::string kIndent = "   ";

// The PE layout as the tests touch it: the DOS header's e_lfanew, the
// "PE\0\0" signature it points to, the file header after it and the data
// directories of the PE32+ optional header that follows.
constexpr std::size_t kDosHeaderSize = 64;
constexpr std::size_t kPeOffsetField = 0x3C;
constexpr std::size_t kPeSignatureSize = 4;
constexpr std::size_t kFileHeaderSize = 20;
constexpr std::size_t kDataDirectoriesInOptionalHeader = 112;
constexpr std::size_t kDataDirectorySize = 8;

template <class T>
void putLittleEndian(std::string& bytes, std::size_t at, T value) {
    for (std::size_t i = 0; i < sizeof(T); ++i) {
        bytes[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    }
}

template <class T>
void appendLittleEndian(std::string& bytes, T value) {
    bytes.resize(bytes.size() + sizeof(T));
    putLittleEndian(bytes, bytes.size() - sizeof(T), value);
}

// Where e_lfanew says the PE signature is; a file shorter than a DOS header
// is not a PE file.
std::size_t peSignatureOffset(const std::string& bytes) {
    if (bytes.size() < kDosHeaderSize) {
        throw std::runtime_error("not a PE file");
    }
    std::uint32_t field = 0;
    for (std::size_t i = 0; i < sizeof(field); ++i) {
        field |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[kPeOffsetField + i])) << (8 * i);
    }
    return static_cast<std::size_t>(static_cast<std::int32_t>(field));
}

}  // namespace

#ifdef _WIN32

tstring imageToolPath() { return testBinDir() + L"\\kivo-image.exe"; }

tstring windowsBinDir() { return testBinDir(); }

ProcessResult runWindowsImageTool(const tstring_array& args) { return runImageTool(args); }

#else

// Both are given as UTF-8 by the build.
tstring imageToolPath() { return tstrings::fromUtf8(KIVO_IMAGE_TOOL); }

tstring windowsBinDir() { return tstrings::fromUtf8(KIVO_WINDOWS_BIN_DIR); }

// Through the project's Wine wrapper, which picks the quiet prefix.
ProcessResult runWindowsImageTool(const tstring_array& args) {
    tstring_array wineArgs = {combinePath(windowsBinDir(), L"kivo-image.exe")};
    wineArgs.insert(wineArgs.end(), args.begin(), args.end());
    ProcessOptions options;
    options.env.emplace(L"KIVO_DEBUG", std::nullopt);
    return runProcess(tstrings::fromUtf8(KIVO_WINE_RUN), wineArgs, options);
}

#endif

tstring launcherPath(const tstring& name) { return combinePath(FileUtils::parentDir(imageToolPath()), name); }

tstring fixturesDir() { return combinePath(windowsBinDir(), L"fixtures"); }

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

void setPeMachine(const tstring& path, std::uint16_t machine) {
    std::string bytes = readFile(path);
    const std::size_t machineAt = peSignatureOffset(bytes) + kPeSignatureSize;
    if (machineAt + sizeof(machine) > bytes.size()) {
        throw std::runtime_error("not a PE file");
    }
    putLittleEndian(bytes, machineAt, machine);
    writeFile(path, bytes);
}

void setPeDataDirectory(const tstring& path, std::size_t index, std::uint32_t rva, std::uint32_t size) {
    std::string bytes = readFile(path);
    const std::size_t directoryAt = peSignatureOffset(bytes) + kPeSignatureSize + kFileHeaderSize +
                                    kDataDirectoriesInOptionalHeader + index * kDataDirectorySize;
    if (directoryAt + kDataDirectorySize > bytes.size()) {
        throw std::runtime_error("not a PE file");
    }
    putLittleEndian(bytes, directoryAt, rva);
    putLittleEndian(bytes, directoryAt + sizeof(rva), size);
    writeFile(path, bytes);
}

ToolImage::ToolImage(const tstring& exeName, const tstring& rootName)
    : TempImage(testing_support::launcherPath(L"kivo.exe"), fixturesDir(), exeName, rootName) {}

}  // namespace testing_support

namespace testing_support {

namespace {

const std::string kCreateCfg =
    "[Application]\n"
    "app.classpath=$APPDIR\\main.jar;$APPDIR\\lib\\*\n"
    "app.mainclass=demo.Main\n"
    "[JavaOptions]\n"
    "java-options=-Dhome=$ROOTDIR\n"
    "[ArgOptions]\n"
    "arguments=--configured\n";

// The BITMAPINFOHEADER of a 32-bit image, its height counting the mask.
std::string bitmapHeader(int size) {
    std::string header;
    appendLittleEndian(header, std::uint32_t{40});
    appendLittleEndian(header, static_cast<std::int32_t>(size));
    appendLittleEndian(header, static_cast<std::int32_t>(2 * size));
    appendLittleEndian(header, std::uint16_t{1});
    appendLittleEndian(header, std::uint16_t{32});
    // Compression, image size, resolutions and colour counts: all zero.
    header.append(24, '\0');
    return header;
}

}  // namespace

std::string makeIconFile(const std::vector<int>& sizes) {
    std::string header;
    std::string images;
    appendLittleEndian(header, std::uint16_t{0});
    appendLittleEndian(header, std::uint16_t{1});
    appendLittleEndian(header, static_cast<std::uint16_t>(sizes.size()));
    const std::uint32_t firstOffset = static_cast<std::uint32_t>(6 + 16 * sizes.size());
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        const int size = sizes[i];
        std::string image = bitmapHeader(size);
        const std::uint32_t colour = 0xFF000000u | static_cast<std::uint32_t>(0x101010u * (i + 1));
        for (int p = 0; p < size * size; ++p) {
            appendLittleEndian(image, colour);
        }
        image.append(static_cast<std::size_t>((size + 31) / 32 * 4 * size), '\0');
        const std::uint8_t dimension = static_cast<std::uint8_t>(size >= 256 ? 0 : size);
        appendLittleEndian(header, dimension);
        appendLittleEndian(header, dimension);
        appendLittleEndian(header, std::uint8_t{0});
        appendLittleEndian(header, std::uint8_t{0});
        appendLittleEndian(header, std::uint16_t{1});
        appendLittleEndian(header, std::uint16_t{32});
        appendLittleEndian(header, static_cast<std::uint32_t>(image.size()));
        appendLittleEndian(header, static_cast<std::uint32_t>(firstOffset + images.size()));
        images += image;
    }
    return header + images;
}

CreateInputs::CreateInputs(const std::string& cfg) : temp(L"kivo-image") {
    config = combinePath(temp.path(), L"input.cfg");
    files = combinePath(temp.path(), L"files");
    dest = combinePath(combinePath(temp.path(), L"out"), L"image");
    runtime = combinePath(fixturesDir(), L"runtime");
    writeFile(config, cfg.empty() ? kCreateCfg : cfg);
    makeDirs(combinePath(files, L"lib"));
    writeFile(combinePath(files, L"main.jar"), "main");
    writeFile(combinePath(combinePath(files, L"lib"), L"extra.jar"), "extra");
}

tstring_array CreateInputs::createArgs(const tstring& name) const {
    return {L"create", L"--name", name, L"--config", config, L"--input", files, L"--runtime", runtime, L"--dest", dest};
}

}  // namespace testing_support
