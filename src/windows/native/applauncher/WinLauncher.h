// The Windows launch sequence that both launcher executables run, and the
// steps of it that tests and the benchmark call on their own. The steps keep
// file-local names in WinLauncher.cpp, which traces and error locations show.
#pragma once

#include <windows.h>

#include <memory>

#include "Dll.h"
#include "tstrings.h"

class AppLauncher;
class Executor;
class Jvm;
class PackageFile;

namespace WinLauncher {

// The payload for app::launch: derives the image's directories from the
// executable's path and starts the runtime in-process, or restarts the
// executable with the application directory on PATH and ends the process
// with the child's exit code.
void launchApp();

// The model of the image whose launcher is `launcherPath`: its directories,
// and the per-user configuration directories when the image has a package
// file.
AppLauncher makeAppLauncher(const tstring& launcherPath);

// Starts the runtime in this process and returns when its entry point
// returns.
void launchInProcess(const Jvm& jvm);

// Loads a library so that the libraries it depends on are found beside it:
// first through AddDllDirectory, then with its directory appended to PATH;
// the error of the second method is the one reported.
std::unique_ptr<Dll> loadDll(const tstring& dllPath);
std::unique_ptr<Dll> loadDllWithAddDllDirectory(const tstring& dllPath);
std::unique_ptr<Dll> loadDllWithAlteredPATH(const tstring& dllPath);

// Adds the directory that `envVarName` names, joined with the package name,
// to the configuration lookup; a variable that cannot be read is logged.
void addCfgFileLookupDirForEnvVariable(const PackageFile& packageFile, AppLauncher& appLauncher,
                                       const tstring& envVarName);

// Runs the child on a worker thread while this thread pumps the messages of
// a hidden window; returns the child's exit code.
DWORD runExecutorWithMsgLoop(const Executor& executor);

}  // namespace WinLauncher
