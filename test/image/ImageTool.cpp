// Runs of kivo-image for the tests, the pieces of its check report that the
// tests compare, and the PE and icon files it reads, written with the image
// tool's own byte helpers.
#include "ImageTool.h"

#include "ByteAccess.h"
#include "FileUtils.h"
#include "PeHeaders.h"

namespace testing_support {

using FileUtils::combinePath;

namespace {

const std::string kIndent = "   ";

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

ProcessResult runUnderWine(const tstring_array& args, ProcessOptions options) {
    options.env.emplace(L"KIVO_DEBUG", std::nullopt);
    return runProcess(tstrings::fromUtf8(KIVO_WINE_RUN), args, options);
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
    imagetool::putU16(bytes, imagetool::PeHeaders::read(bytes).fileHeaderOffset, machine);
    writeFile(path, bytes);
}

void setPeDataDirectory(const tstring& path, std::size_t index, std::uint32_t rva, std::uint32_t size) {
    std::string bytes = readFile(path);
    const std::size_t directoryAt = imagetool::PeHeaders::read(bytes).dataDirectoryOffset + index * 8;
    imagetool::putU32(bytes, directoryAt, rva);
    imagetool::putU32(bytes, directoryAt + 4, size);
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
    imagetool::appendU32(header, 40);
    imagetool::appendU32(header, static_cast<std::uint32_t>(size));
    imagetool::appendU32(header, static_cast<std::uint32_t>(2 * size));
    imagetool::appendU16(header, 1);
    imagetool::appendU16(header, 32);
    // Compression, image size, resolutions and colour counts: all zero.
    header.append(24, '\0');
    return header;
}

}  // namespace

std::string makeIconFile(const std::vector<int>& sizes) {
    std::string header;
    std::string images;
    imagetool::appendU16(header, 0);
    imagetool::appendU16(header, 1);
    imagetool::appendU16(header, static_cast<std::uint16_t>(sizes.size()));
    const std::uint32_t firstOffset = static_cast<std::uint32_t>(6 + 16 * sizes.size());
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        const int size = sizes[i];
        std::string image = bitmapHeader(size);
        const std::uint32_t colour = 0xFF000000u | static_cast<std::uint32_t>(0x101010u * (i + 1));
        for (int p = 0; p < size * size; ++p) {
            imagetool::appendU32(image, colour);
        }
        image.append(static_cast<std::size_t>((size + 31) / 32 * 4 * size), '\0');
        const std::uint8_t dimension = static_cast<std::uint8_t>(size >= 256 ? 0 : size);
        header += {static_cast<char>(dimension), static_cast<char>(dimension), '\0', '\0'};
        imagetool::appendU16(header, 1);
        imagetool::appendU16(header, 32);
        imagetool::appendU32(header, static_cast<std::uint32_t>(image.size()));
        imagetool::appendU32(header, static_cast<std::uint32_t>(firstOffset + images.size()));
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
