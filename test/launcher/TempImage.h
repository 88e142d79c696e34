// Application images laid out in temporary directories, on every platform:
// a copy of a launcher, the application directory and a copy of a runtime.
// The image tool reads such images wherever it runs; only Windows starts
// them (LauncherImage.h).
#pragma once

#include <ostream>
#include <string>

#include "TestFiles.h"

namespace testing_support {

// Which path the launcher takes: PATH names the application directory, or
// it does not and the launcher restarts itself.
enum class LaunchPath { InProcess, Restart };

void PrintTo(LaunchPath path, std::ostream* os);

// Root/<exeName> (a copy of `launcherFile`), root/app/ and, once installed,
// a copy of a runtime as root/runtime/. The paths use the platform's
// separator, as a user of the image would write them.
class TempImage {
public:
    // `fixturesDir` holds the runtimes that installRuntime names.
    TempImage(const tstring& launcherFile, const tstring& fixturesDir, const tstring& exeName, const tstring& rootName);

    const tstring& root() const { return rootDir; }
    tstring launcherPath() const;
    tstring appDir() const;
    tstring runtimeDir() const;
    // App/<exeName without its extension>.cfg
    tstring cfgPath() const;

    void writeCfg(const std::string& text) const;
    void writePackage(const std::string& text) const;
    // Copies <fixturesDir>/<fixture> (or any directory given by full path)
    // to root/runtime.
    void installRuntime(const tstring& fixture = L"runtime") const;

private:
    TempDir temp;
    tstring fixtures;
    tstring rootDir;
    tstring exeName;
};

}  // namespace testing_support
