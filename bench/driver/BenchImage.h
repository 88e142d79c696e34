// The application image that the bench starts: the launcher as BenchApp.exe,
// the comparison programs beside it, app\BenchApp.cfg, the bench runtime that
// imports the window system as runtime\bin\qsr.dll and the bare bench runtime
// as bare-runtime\bin\qsr.dll, laid out in a temporary directory.
#pragma once

#include "BenchFiles.h"
#include "tstrings.h"

namespace bench {

// The number of runtime arguments the launcher builds from the bench
// configuration; the floor program passes as many.
const int kBenchArgCount = 7;

// The bench configuration: a class path, a main class, one Java option and
// one default argument.
const char* benchConfigText();

class BenchImage {
public:
    // `binDir` holds the built launcher, the bench runtime and the bench
    // programs.
    explicit BenchImage(const tstring& binDir);

    const tstring& root() const { return dir.path(); }
    tstring appDir() const;
    tstring launcher() const;
    tstring runtimeLibrary() const;
    tstring bareRuntimeLibrary() const;
    // The file that the bench programs and the bench runtime report to.
    tstring reportPath() const;

    // Copies bin\<builtName> into the image root as <imageName> and returns
    // its path there.
    tstring addProgram(const tstring& builtName, const tstring& imageName) const;

    // Writes the bench configuration as app\<launcherName>.cfg, so that a
    // launcher of that name (the bench driver itself) finds it too.
    void writeConfigFor(const tstring& launcherName) const;

private:
    TempDir dir;
    tstring binDir;
};

}  // namespace bench
