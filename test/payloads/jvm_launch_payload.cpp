// Test child: builds a Jvm from its command line and launches it inside the
// launch wrapper, the way the launcher's in-process path does.
//
// Options, applied in the order given:
//   --lib P       sets the library path
//   --arg A       appends one runtime argument
//   --cfg F       appends what the configuration file F gives
//   --env N=V     adds an environment variable
// Before the launch the library's directory becomes the DLL directory, so
// that the library's own dependencies are found. The exit code is the launch
// wrapper's.
#include <windows.h>

#include <new>

#include "CfgFile.h"
#include "ErrorHandling.h"
#include "FileUtils.h"
#include "JvmLauncher.h"
#include "SysInfo.h"
#include "app.h"

namespace {

void applyOption(Jvm& jvm, const tstring& option, const tstring& value) {
    if (option == L"--lib") {
        jvm.setLibraryPath(value);
    } else if (option == L"--arg") {
        jvm.appendArgument(value);
    } else if (option == L"--cfg") {
        jvm.initFromConfigFile(CfgFile::load(value));
    } else if (option == L"--env") {
        const tstring::size_type equals = value.find(L'=');
        if (equals == tstring::npos) {
            RAISE(tstrings::Builder() << "--env needs NAME=VALUE, got " << value);
        }
        jvm.addEnvironmentVariable(value.substr(0, equals), value.substr(equals + 1));
    } else {
        RAISE(tstrings::Builder() << "Unknown option " << option);
    }
}

void launchFromCommandLine() {
    const tstring_array args = SysInfo::getCommandArgs();
    if (args.size() % 2 != 0) {
        RAISE("Options come in pairs: --lib, --arg, --cfg or --env and a value");
    }
    Jvm jvm;
    for (tstring_array::size_type i = 0; i < args.size(); i += 2) {
        applyOption(jvm, args[i], args[i + 1]);
    }
    ::SetDllDirectoryW(FileUtils::parentDir(jvm.getLibraryPath()).c_str());
    jvm.launch();
}

}  // namespace

int main() {
    return app::launch(std::nothrow, launchFromCommandLine);
}
