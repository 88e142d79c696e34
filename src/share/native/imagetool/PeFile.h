// Reads what the loader would see in a Windows executable or library file,
// its machine, kind, exports and imports, without loading or running it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "tstrings.h"

namespace imagetool {

namespace pe_machine {
const std::uint16_t x86 = 0x014C;
const std::uint16_t x64 = 0x8664;
const std::uint16_t arm64 = 0xAA64;
}  // namespace pe_machine

struct PeFile {
    std::uint16_t machine = 0;
    bool isDll = false;
    // The names of the exported functions (exports by ordinal only are not
    // listed).
    std::vector<std::string> exports;
    // The libraries named in the import table, in table order.
    std::vector<std::string> imports;

    bool is64Bit() const { return machine == pe_machine::x64; }
    bool exportsFunction(const std::string& name) const;

    // Fails (exit code 1) with "<path> is not a Windows library: <reason>"
    // for a file that is not one, or when the file cannot be read.
    static PeFile read(const tstring& path);

    // The same from the file's bytes; a failure names `path`.
    static PeFile parse(std::string_view bytes, const tstring& path);
};

// The whole program file at `path`, read for parsing; failures name
// `shownPath`, the file the user knows.
std::string readProgramFile(const tstring& path, const tstring& shownPath);

// "x64", "x86", "ARM64" or the machine code in hexadecimal.
tstring machineName(std::uint16_t machine);

}  // namespace imagetool
