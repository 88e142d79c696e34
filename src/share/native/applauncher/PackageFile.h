// The package file ".package" of the application directory, whose first line
// names the installed package.
#pragma once

#include "tstrings.h"

class PackageFile {
public:
    explicit PackageFile(const tstring& packageName = tstring()) : name(packageName) {}

    // Reads ".package" in `appDir`. A missing file gives an empty name; one
    // that exists but cannot be opened throws KivoError<std::runtime_error>.
    static PackageFile loadFromAppDir(const tstring& appDir);

    // The package name; empty when there is none.
    const tstring& packageName() const { return name; }

private:
    tstring name;
};
