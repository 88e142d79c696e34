// Reads what the loader would see in a Windows executable or library file,
// its machine, kind, exports and imports, without loading or running it.
#include "PeFile.h"

#include <algorithm>

#include "ByteAccess.h"
#include "PeHeaders.h"
#include "PeImageError.h"
#include "ToolError.h"
#include "ToolFiles.h"

namespace imagetool {

namespace {

struct NotPe {
    const wchar_t* reason;
};

using namespace pe_format;

const std::uint16_t fileIsDll = 0x2000;

struct Directory {
    std::uint32_t rva = 0;
    std::uint32_t size = 0;
};

struct Section {
    std::uint32_t virtualSize;
    std::uint32_t virtualAddress;
    std::uint32_t sizeOfRawData;
    std::uint32_t pointerToRawData;
};

// Bounds-checked access to the headers and tables of an image file.
class PeReader {
public:
    explicit PeReader(std::string_view bytes) : bytes(bytes, "") {}

    void readHeaders(PeFile& pe) {
        if (u16(0) != dosSignature) {
            throw NotPe{L"it does not start with \"MZ\""};
        }
        const std::size_t ntOffset = u32(dosPeOffsetField);
        if (u32(ntOffset) != peSignature) {
            throw NotPe{L"it has no PE header"};
        }
        const std::size_t fileHeader = ntOffset + 4;
        pe.machine = u16(fileHeader);
        pe.isDll = (u16(fileHeader + 18) & fileIsDll) != 0;
        const std::size_t optional = fileHeader + fileHeaderSize;
        const std::uint16_t magic = u16(optional);
        if (magic == pe32PlusMagic) {
            readDirectories(optional + 108, optional + 112);
        } else if (magic == pe32Magic) {
            readDirectories(optional + 92, optional + 96);
        } else {
            throw NotPe{L"its optional header is of an unknown kind"};
        }
        const std::size_t firstSection = optional + u16(fileHeader + 16);
        const std::uint16_t count = u16(fileHeader + 2);
        for (std::size_t i = 0; i < count; ++i) {
            const std::size_t at = firstSection + i * sectionHeaderSize;
            sections.push_back({u32(at + 8), u32(at + 12), u32(at + 16), u32(at + 20)});
        }
    }

    void readExports(PeFile& pe) const {
        const Directory& dir = directories[0];
        if (dir.rva == 0 || dir.size == 0) {
            return;
        }
        const std::size_t table = fileOffset(dir.rva);
        const std::uint32_t count = u32(table + 24);
        const std::size_t names = fileOffset(u32(table + 32));
        for (std::uint32_t i = 0; i < count; ++i) {
            pe.exports.push_back(readString(fileOffset(u32(names + std::size_t{i} * 4))));
        }
    }

    void readImports(PeFile& pe) const {
        const Directory& dir = directories[1];
        if (dir.rva == 0 || dir.size == 0) {
            return;
        }
        const std::size_t descriptorSize = 20;
        for (std::size_t at = fileOffset(dir.rva);; at += descriptorSize) {
            bytes.require(at, descriptorSize);
            const std::uint32_t name = u32(at + 12);
            if (name == 0) {
                return;
            }
            pe.imports.push_back(readString(fileOffset(name)));
        }
    }

private:
    std::uint16_t u16(std::size_t offset) const { return bytes.u16(offset); }
    std::uint32_t u32(std::size_t offset) const { return bytes.u32(offset); }

    std::string readString(std::size_t offset) const {
        std::string text;
        for (std::size_t at = offset; at < bytes.size(); ++at) {
            const char c = static_cast<char>(bytes.u8(at));
            if (c == '\0') {
                return text;
            }
            text.push_back(c);
        }
        throw NotPe{L"a name runs past the end of the file"};
    }

    void readDirectories(std::size_t countOffset, std::size_t first) {
        const std::size_t count = std::min<std::size_t>(u32(countOffset), maxDirectories);
        for (std::size_t i = 0; i < count; ++i) {
            directories[i] = {u32(first + i * 8), u32(first + i * 8 + 4)};
        }
    }

    std::size_t fileOffset(std::uint32_t rva) const {
        for (const Section& section : sections) {
            const std::uint32_t extent = std::max(section.virtualSize, section.sizeOfRawData);
            if (rva >= section.virtualAddress && rva - section.virtualAddress < extent) {
                return std::size_t{section.pointerToRawData} + (rva - section.virtualAddress);
            }
        }
        throw NotPe{L"a table lies outside every section"};
    }

    ByteReader bytes;
    Directory directories[maxDirectories] = {};
    std::vector<Section> sections;
};

}  // namespace

bool PeFile::exportsFunction(const std::string& name) const {
    return std::find(exports.begin(), exports.end(), name) != exports.end();
}

PeFile PeFile::read(const tstring& path) {
    const FileView file(path);
    return parse(file.bytes(), path);
}

PeFile PeFile::parse(std::string_view bytes, const tstring& path) {
    PeFile pe;
    try {
        PeReader reader(bytes);
        reader.readHeaders(pe);
        reader.readExports(pe);
        reader.readImports(pe);
    } catch (const NotPe& notPe) {
        fail(L"\"" + path + L"\" is not a Windows library: " + notPe.reason);
    } catch (const PeImageError&) {
        fail(L"\"" + path + L"\" is not a Windows library: it is cut short");
    }
    return pe;
}

tstring machineName(std::uint16_t machine) {
    switch (machine) {
        case pe_machine::x64:
            return L"x64";
        case pe_machine::x86:
            return L"x86";
        case pe_machine::arm64:
            return L"ARM64";
        default:
            return tstrings::format(L"machine 0x%04X", machine);
    }
}

std::string readProgramFile(const tstring& path, const tstring& shownPath) {
    const tstring shown = quoted(shownPath);
    return readWholeFile(path, shown, pe_format::maxImageFileSize,
                         shown + L" is not a Windows program: it is larger than 2 GB");
}

}  // namespace imagetool
