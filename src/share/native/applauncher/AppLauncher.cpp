// Finds the configuration file and the runtime library of an application
// image and turns them into a filled runtime launcher.
#include "AppLauncher.h"

#include "CfgFile.h"
#include "ErrorHandling.h"
#include "FileUtils.h"
#include "JvmLauncher.h"
#include "Log.h"
#include "SysInfo.h"

namespace {

tstring findJvmLib(const CfgFile& cfgFile, const tstring& defaultRuntimeDir, const tstring_array& jvmLibCandidates) {
    const CfgProperties& appOptions = cfgFile.sectionProperties(CfgSectionId::application);
    const auto runtime = appOptions.find(CfgPropertyId::appRuntime);

    tstring runtimeDir;
    if (runtime != appOptions.end()) {
        runtimeDir = CfgFile::lastValue(*runtime);
    } else {
        runtimeDir = defaultRuntimeDir;
        TRACE_MSG("Property \"app.runtime\" not found in \"Application\" section of launcher config file."
                  << " Using Java runtime from \"" << runtimeDir << "\" directory");
    }

    for (const tstring& candidate : jvmLibCandidates) {
        const tstring jvmLibPath = FileUtils::combinePath(runtimeDir, candidate);
        if (FileUtils::exists(jvmLibPath)) {
            return jvmLibPath;
        }
    }

    RAISE(tstrings::Builder() << "Failed to find JVM in \"" << runtimeDir << "\" directory.");
}

}  // namespace

AppLauncher::AppLauncher()
    : commandArgs(SysInfo::getCommandArgs()), launcherPath(SysInfo::getExecutablePath()) {}

// A restarted launcher appends ";" and the application directory to the
// search path; that suffix names the directory even when the directory
// itself contains ";" and so can never equal one piece of the list.
bool AppLauncher::isAppDirInLibPath() const {
    const tstring libPath = tstrings::toLower(SysInfo::getEnvVariable(libPathEnvVariable, tstring()));
    const tstring dir = tstrings::toLower(appDir);

    for (const tstring& piece : tstrings::split(libPath, L";")) {
        if (piece == dir) {
            return true;
        }
    }
    return tstrings::endsWith(libPath, L";" + dir);
}

tstring AppLauncher::getCfgFilePath() const {
    const tstring cfgFileName = FileUtils::withoutExtension(FileUtils::fileName(launcherPath)) + L".cfg";

    for (const tstring& dir : cfgFileLookupDirs) {
        const tstring candidate = FileUtils::combinePath(dir, cfgFileName);
        TRACE_MSG("Check [" << candidate << "] file exit");
        if (FileUtils::exists(candidate)) {
            return candidate;
        }
    }

    return FileUtils::combinePath(appDir, cfgFileName);
}

CfgMacros AppLauncher::cfgMacros() const {
    CfgMacros macros;
    macros[L"$APPDIR"] = appDir;
    macros[L"$BINDIR"] = FileUtils::parentDir(launcherPath);
    macros[L"$ROOTDIR"] = rootDir;
    return macros;
}

std::unique_ptr<Jvm> AppLauncher::createJvmLauncher() const {
    const tstring cfgFilePath = getCfgFilePath();
    TRACE_MSG("Launcher config file path: \"" << cfgFilePath << "\"");

    CfgFile cfgFile = CfgFile::load(cfgFilePath).applyMacros(cfgMacros());
    if (!commandArgs.empty()) {
        cfgFile.overrideProperty(CfgSectionId::argOptions, CfgPropertyId::arguments, commandArgs);
    }

    std::unique_ptr<Jvm> jvm = std::make_unique<Jvm>();

    if (!isAppDirInLibPath()) {
        const tstring libPath = SysInfo::getEnvVariable(libPathEnvVariable, tstring());
        jvm->addEnvironmentVariable(libPathEnvVariable, libPath + L";" + appDir);
    }

    jvm->setLibraryPath(findJvmLib(cfgFile, defaultRuntimeDir, jvmLibCandidates));
    jvm->setAppPath(launcherPath);
    jvm->appendArgument(launcherPath);
    jvm->initFromConfigFile(cfgFile);

    return jvm;
}

AppLauncher& AppLauncher::setImageLayout(const tstring& imageRoot) {
    return setRootDir(imageRoot)
        .addJvmLibCandidate(runtimeLibrary)
        .setAppDir(FileUtils::combinePath(imageRoot, L"app"))
        .setLibPathEnvVariable(L"PATH")
        .setDefaultRuntimeDir(FileUtils::combinePath(imageRoot, L"runtime"));
}
