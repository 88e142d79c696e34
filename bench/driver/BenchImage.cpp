// Lays out the bench application image.
#include "BenchImage.h"

namespace bench {

const char* benchConfigText() {
    return "[Application]\n"
           "app.classpath=$APPDIR\\bench.jar\n"
           "app.mainclass=bench.Main\n"
           "\n"
           "[JavaOptions]\n"
           "java-options=-Xmx32m\n"
           "\n"
           "[ArgOptions]\n"
           "arguments=--bench\n";
}

BenchImage::BenchImage(const tstring& binDir) : dir(L"kivo-bench"), binDir(binDir) {
    makeDirs(appDir());
    makeDirs(root() + L"\\runtime\\bin");
    makeDirs(root() + L"\\bare-runtime\\bin");
    copyFile(binDir + L"\\kivo.exe", launcher());
    copyFile(binDir + L"\\kivo_bench_window_qsr.dll", runtimeLibrary());
    copyFile(binDir + L"\\kivo_bench_qsr.dll", bareRuntimeLibrary());
    writeConfigFor(L"BenchApp");
}

tstring BenchImage::appDir() const { return root() + L"\\app"; }

tstring BenchImage::launcher() const { return root() + L"\\BenchApp.exe"; }

tstring BenchImage::runtimeLibrary() const { return root() + L"\\runtime\\bin\\qsr.dll"; }

tstring BenchImage::bareRuntimeLibrary() const { return root() + L"\\bare-runtime\\bin\\qsr.dll"; }

tstring BenchImage::reportPath() const { return root() + L"\\report.txt"; }

tstring BenchImage::addProgram(const tstring& builtName, const tstring& imageName) const {
    const tstring path = root() + L"\\" + imageName;
    copyFile(binDir + L"\\" + builtName, path);
    return path;
}

void BenchImage::writeConfigFor(const tstring& launcherName) const {
    writeFile(appDir() + L"\\" + launcherName + L".cfg", benchConfigText());
}

}  // namespace bench
