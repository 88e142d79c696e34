// The model of one application launch: where the image's directories are,
// where the configuration file may be, and the runtime launcher it yields.
#pragma once

#include <memory>

#include "tstrings.h"

class Jvm;

class AppLauncher {
public:
    AppLauncher();

    AppLauncher& setRootDir(const tstring& v) {
        rootDir = v;
        return *this;
    }

    AppLauncher& setAppDir(const tstring& v) {
        appDir = v;
        return *this;
    }

    AppLauncher& setDefaultRuntimeDir(const tstring& v) {
        defaultRuntimeDir = v;
        return *this;
    }

    AppLauncher& setLibPathEnvVariable(const tstring& v) {
        libPathEnvVariable = v;
        return *this;
    }

    // The launcher executable whose image is modelled; by default this
    // process's own executable.
    AppLauncher& setLauncherPath(const tstring& v) {
        launcherPath = v;
        return *this;
    }

    // The arguments that override the configured application arguments; by
    // default this process's own.
    AppLauncher& setCommandArgs(const tstring_array& v) {
        commandArgs = v;
        return *this;
    }

    AppLauncher& addJvmLibCandidate(const tstring& v) {
        jvmLibCandidates.push_back(v);
        return *this;
    }

    AppLauncher& addCfgFileLookupDir(const tstring& v) {
        cfgFileLookupDirs.push_back(v);
        return *this;
    }

    // True when the library search path names the application directory.
    bool isAppDirInLibPath() const;

    tstring getCfgFilePath() const;

    // Reads the configuration file afresh and returns a filled runtime
    // launcher; when the library search path lacks the application
    // directory, the launcher also holds the extended search path.
    std::unique_ptr<Jvm> createJvmLauncher() const;

private:
    tstring_array commandArgs;
    tstring launcherPath;
    tstring defaultRuntimeDir;
    tstring appDir;
    tstring libPathEnvVariable;
    tstring rootDir;
    tstring_array jvmLibCandidates;
    tstring_array cfgFileLookupDirs;
};
