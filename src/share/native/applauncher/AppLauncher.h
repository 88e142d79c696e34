// The model of one application launch: where the image's directories are,
// where the configuration file may be, and the runtime launcher it yields.
#pragma once

#include <memory>

#include "CfgFile.h"
#include "tstrings.h"

class Jvm;

class AppLauncher {
public:
    // The runtime's launcher-interface library, relative to the runtime
    // directory of an image.
    static constexpr const wchar_t* runtimeLibrary = L"bin\\qsr.dll";

    AppLauncher();

    AppLauncher& setRootDir(const tstring& v) { return set(rootDir, v); }
    AppLauncher& setAppDir(const tstring& v) { return set(appDir, v); }
    AppLauncher& setDefaultRuntimeDir(const tstring& v) { return set(defaultRuntimeDir, v); }
    AppLauncher& setLibPathEnvVariable(const tstring& v) { return set(libPathEnvVariable, v); }
    // The launcher executable whose image is modelled; by default this
    // process's own executable.
    AppLauncher& setLauncherPath(const tstring& v) { return set(launcherPath, v); }
    // The arguments that override the configured application arguments; by
    // default this process's own.
    AppLauncher& setCommandArgs(const tstring_array& v) { return set(commandArgs, v); }
    AppLauncher& addJvmLibCandidate(const tstring& v) { return add(jvmLibCandidates, v); }
    AppLauncher& addCfgFileLookupDir(const tstring& v) { return add(cfgFileLookupDirs, v); }

    // The layout of an application image whose launcher sits in `imageRoot`:
    // the application directory app\ beside it, the runtime in runtime\ found
    // by its bin\qsr.dll, and PATH as the library search path.
    AppLauncher& setImageLayout(const tstring& imageRoot);

    const tstring& getAppDir() const { return appDir; }

    // True when the library search path names the application directory.
    bool isAppDirInLibPath() const;

    tstring getCfgFilePath() const;

    // The directory macros that the configuration's values may use.
    CfgMacros cfgMacros() const;

    // Reads the configuration file afresh and returns a filled runtime
    // launcher; when the library search path lacks the application
    // directory, the launcher also holds the extended search path.
    std::unique_ptr<Jvm> createJvmLauncher() const;

private:
    template <class T>
    AppLauncher& set(T& field, const T& value) {
        field = value;
        return *this;
    }
    AppLauncher& add(tstring_array& list, const tstring& value) {
        list.push_back(value);
        return *this;
    }

    tstring_array commandArgs;
    tstring launcherPath;
    tstring defaultRuntimeDir;
    tstring appDir;
    tstring libPathEnvVariable;
    tstring rootDir;
    tstring_array jvmLibCandidates;
    tstring_array cfgFileLookupDirs;
};
