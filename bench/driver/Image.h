// The application image that the bench starts, laid out in a temporary
// directory: the launcher as BenchApp.exe with app\BenchApp.cfg, the bench
// runtime that imports the window system as runtime\bin\qsr.dll, the bare
// bench runtime as bare-runtime\bin\qsr.dll, and the comparison programs.
#pragma once

#include "Files.h"
#include "tstrings.h"

namespace bench {

// The number of runtime arguments the launcher builds from the bench
// configuration; the floor programs pass as many.
const int kBenchArgCount = 7;

class Image {
public:
    // `binDir` holds the built launcher, the bench runtimes and programs.
    explicit Image(const tstring& binDir);

    const tstring& root() const { return dir.path(); }
    tstring appDir() const { return root() + L"\\app"; }
    tstring launcher() const { return root() + L"\\BenchApp.exe"; }
    tstring runtimeLibrary() const { return root() + L"\\runtime\\bin\\qsr.dll"; }
    // A program copied from bin\kivo_bench_<name>.exe.
    tstring program(const tstring& name) const { return root() + L"\\" + name + L".exe"; }

private:
    TempDir dir;
};

}  // namespace bench
