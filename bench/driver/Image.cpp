// Lays out the bench application image.
#include "Image.h"

namespace bench {

namespace {

// A class path, a main class, one Java option and one default argument.
const char kConfigText[] =
    "[Application]\n"
    "app.classpath=$APPDIR\\bench.jar\n"
    "app.mainclass=bench.Main\n"
    "\n"
    "[JavaOptions]\n"
    "java-options=-Xmx32m\n"
    "\n"
    "[ArgOptions]\n"
    "arguments=--bench\n";

const wchar_t* const kPrograms[] = {L"bare", L"floor", L"bare_floor", L"probe_window"};

}  // namespace

Image::Image(const tstring& binDir) {
    makeDirs(appDir());
    makeDirs(root() + L"\\runtime\\bin");
    makeDirs(root() + L"\\bare-runtime\\bin");
    copyFile(binDir + L"\\kivo.exe", launcher());
    writeFile(appDir() + L"\\BenchApp.cfg", kConfigText);
    copyFile(binDir + L"\\kivo_bench_window_qsr.dll", runtimeLibrary());
    copyFile(binDir + L"\\kivo_bench_qsr.dll", root() + L"\\bare-runtime\\bin\\qsr.dll");
    for (const wchar_t* name : kPrograms) {
        copyFile(binDir + L"\\kivo_bench_" + name + L".exe", program(name));
    }
}

}  // namespace bench
