// Reads what the loader would see in a Windows executable or library file,
// its machine, kind, exports and imports, without loading or running it.
#include "PeFile.h"

#include <algorithm>
#include <cstring>

#include "OwnedResource.h"
#include "ToolError.h"

namespace imagetool {

namespace {

// A read-only view of a whole file, released at the end of the scope.
class MappedFile {
public:
    explicit MappedFile(const tstring& path)
        : file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr)) {
        if (!file) {
            FAIL_LAST_ERROR(L"Cannot open \"" + path + L"\"");
        }
        LARGE_INTEGER fileSize{};
        if (!::GetFileSizeEx(file.get(), &fileSize)) {
            FAIL_LAST_ERROR(L"Cannot read \"" + path + L"\"");
        }
        size = static_cast<std::size_t>(fileSize.QuadPart);
        if (size == 0) {
            return;
        }
        mapping.reset(::CreateFileMappingW(file.get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
        if (!mapping) {
            FAIL_LAST_ERROR(L"Cannot read \"" + path + L"\"");
        }
        view.reset(::MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, 0));
        if (!view) {
            FAIL_LAST_ERROR(L"Cannot read \"" + path + L"\"");
        }
    }

    const BYTE* data() const { return static_cast<const BYTE*>(view.get()); }
    std::size_t length() const { return size; }

private:
    OwnedFileHandle file;
    OwnedHandle mapping;
    OwnedMappedView view;
    std::size_t size = 0;
};

struct NotPe {
    const wchar_t* reason;
};

// Bounds-checked access to the headers and tables of a mapped image file.
class PeReader {
public:
    PeReader(const BYTE* data, std::size_t size) : data(data), size(size) {}

    template <class T>
    T read(std::size_t offset) const {
        if (offset > size || size - offset < sizeof(T)) {
            throw NotPe{L"it is cut short"};
        }
        T value;
        std::memcpy(&value, data + offset, sizeof(T));
        return value;
    }

    std::string readString(std::size_t offset) const {
        std::string text;
        for (std::size_t at = offset; at < size; ++at) {
            if (data[at] == 0) {
                return text;
            }
            text.push_back(static_cast<char>(data[at]));
        }
        throw NotPe{L"a name runs past the end of the file"};
    }

    void readHeaders(PeFile& pe) {
        if (read<WORD>(0) != IMAGE_DOS_SIGNATURE) {
            throw NotPe{L"it does not start with \"MZ\""};
        }
        const std::size_t ntOffset = read<DWORD>(offsetof(IMAGE_DOS_HEADER, e_lfanew));
        if (read<DWORD>(ntOffset) != IMAGE_NT_SIGNATURE) {
            throw NotPe{L"it has no PE header"};
        }
        const IMAGE_FILE_HEADER header = read<IMAGE_FILE_HEADER>(ntOffset + sizeof(DWORD));
        pe.machine = header.Machine;
        pe.isDll = (header.Characteristics & IMAGE_FILE_DLL) != 0;
        const std::size_t optionalOffset = ntOffset + sizeof(DWORD) + sizeof(IMAGE_FILE_HEADER);
        const WORD magic = read<WORD>(optionalOffset);
        if (magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC) {
            const IMAGE_OPTIONAL_HEADER64 optional = read<IMAGE_OPTIONAL_HEADER64>(optionalOffset);
            copyDirectories(optional.DataDirectory, optional.NumberOfRvaAndSizes);
        } else if (magic == IMAGE_NT_OPTIONAL_HDR32_MAGIC) {
            const IMAGE_OPTIONAL_HEADER32 optional = read<IMAGE_OPTIONAL_HEADER32>(optionalOffset);
            copyDirectories(optional.DataDirectory, optional.NumberOfRvaAndSizes);
        } else {
            throw NotPe{L"its optional header is of an unknown kind"};
        }
        const std::size_t sectionOffset = optionalOffset + header.SizeOfOptionalHeader;
        for (WORD i = 0; i < header.NumberOfSections; ++i) {
            sections.push_back(read<IMAGE_SECTION_HEADER>(sectionOffset + i * sizeof(IMAGE_SECTION_HEADER)));
        }
    }

    void readExports(PeFile& pe) const {
        const IMAGE_DATA_DIRECTORY& dir = directories[IMAGE_DIRECTORY_ENTRY_EXPORT];
        if (dir.VirtualAddress == 0 || dir.Size == 0) {
            return;
        }
        const IMAGE_EXPORT_DIRECTORY exports = read<IMAGE_EXPORT_DIRECTORY>(fileOffset(dir.VirtualAddress));
        const std::size_t names = fileOffset(exports.AddressOfNames);
        for (DWORD i = 0; i < exports.NumberOfNames; ++i) {
            pe.exports.push_back(readString(fileOffset(read<DWORD>(names + i * sizeof(DWORD)))));
        }
    }

    void readImports(PeFile& pe) const {
        const IMAGE_DATA_DIRECTORY& dir = directories[IMAGE_DIRECTORY_ENTRY_IMPORT];
        if (dir.VirtualAddress == 0 || dir.Size == 0) {
            return;
        }
        for (std::size_t at = fileOffset(dir.VirtualAddress);; at += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
            const IMAGE_IMPORT_DESCRIPTOR entry = read<IMAGE_IMPORT_DESCRIPTOR>(at);
            if (entry.Name == 0) {
                return;
            }
            pe.imports.push_back(readString(fileOffset(entry.Name)));
        }
    }

private:
    void copyDirectories(const IMAGE_DATA_DIRECTORY* source, DWORD count) {
        std::copy(source, source + std::min<DWORD>(count, IMAGE_NUMBEROF_DIRECTORY_ENTRIES), directories);
    }

    std::size_t fileOffset(DWORD rva) const {
        for (const IMAGE_SECTION_HEADER& section : sections) {
            const DWORD extent = std::max(section.Misc.VirtualSize, section.SizeOfRawData);
            if (rva >= section.VirtualAddress && rva - section.VirtualAddress < extent) {
                return section.PointerToRawData + (rva - section.VirtualAddress);
            }
        }
        throw NotPe{L"a table lies outside every section"};
    }

    const BYTE* data;
    std::size_t size;
    IMAGE_DATA_DIRECTORY directories[IMAGE_NUMBEROF_DIRECTORY_ENTRIES] = {};
    std::vector<IMAGE_SECTION_HEADER> sections;
};

}  // namespace

bool PeFile::exportsFunction(const std::string& name) const {
    return std::find(exports.begin(), exports.end(), name) != exports.end();
}

PeFile PeFile::read(const tstring& path) {
    const MappedFile file(path);
    PeFile pe;
    try {
        PeReader reader(file.data(), file.length());
        reader.readHeaders(pe);
        reader.readExports(pe);
        reader.readImports(pe);
    } catch (const NotPe& notPe) {
        fail(L"\"" + path + L"\" is not a Windows library: " + notPe.reason);
    }
    return pe;
}

tstring machineName(WORD machine) {
    switch (machine) {
        case IMAGE_FILE_MACHINE_AMD64:
            return L"x64";
        case IMAGE_FILE_MACHINE_I386:
            return L"x86";
        case 0xAA64:
            return L"ARM64";
        default:
            return tstrings::format(L"machine 0x%04X", machine);
    }
}

}  // namespace imagetool
