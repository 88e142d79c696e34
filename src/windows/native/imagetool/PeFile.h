// Reads what the loader would see in a Windows executable or library file,
// its machine, kind, exports and imports, without loading or running it.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "tstrings.h"

namespace imagetool {

struct PeFile {
    WORD machine = 0;
    bool isDll = false;
    // The names of the exported functions (exports by ordinal only are not
    // listed).
    std::vector<std::string> exports;
    // The libraries named in the import table, in table order.
    std::vector<std::string> imports;

    bool is64Bit() const { return machine == IMAGE_FILE_MACHINE_AMD64; }
    bool exportsFunction(const std::string& name) const;

    // Fails (exit code 1) with "<path> is not a Windows library: <reason>"
    // for a file that is not one, or when the file cannot be read.
    static PeFile read(const tstring& path);
};

// "x64", "x86", "ARM64" or the machine code in hexadecimal.
tstring machineName(WORD machine);

}  // namespace imagetool
