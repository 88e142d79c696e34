// The check of an application image: everything the launcher would see, in
// the order it would see it, as a report on standard output.
#include "ImageCheck.h"

#include <memory>
#include <optional>

#include "AppLauncher.h"
#include "CfgFile.h"
#include "CfgLint.h"
#include "CheckReport.h"
#include "ErrorHandling.h"
#include "FileUtils.h"
#include "HostSystem.h"
#include "ImageEntries.h"
#include "JvmLauncher.h"
#include "Log.h"
#include "PackageFile.h"
#include "PeFile.h"
#include "PeSignature.h"
#include "RuntimeLibraries.h"
#include "ToolConsole.h"
#include "ToolError.h"
#include "ToolPaths.h"

namespace imagetool {

namespace {

// Collects the warnings the launcher's own code logs while it is installed.
class WarningCollector : public LogAppender {
public:
    WarningCollector() : saved(LogDispatcher::instance().currentAppender()) {
        LogDispatcher::instance().installAppender(*this);
    }
    ~WarningCollector() override { LogDispatcher::instance().installAppender(saved); }
    WarningCollector(const WarningCollector&) = delete;
    WarningCollector& operator=(const WarningCollector&) = delete;

    void write(const LogRecord& record) override {
        if (record.severityName == L"WARNING") {
            messages.push_back(record.message);
        }
    }

    tstring_array messages;

private:
    LogAppender& saved;
};

tstring bareMessage(const std::exception& error) {
    if (const auto* kivoError = dynamic_cast<const KivoErrorBase*>(&error)) {
        return tstrings::fromUtf8(kivoError->bareMessage());
    }
    return tstrings::fromUtf8(error.what());
}

// The image as the launcher at `launcherPath` sees it; the same directories
// that its launch sequence derives from its own path.
class ImageInspection {
public:
    ImageInspection(const tstring& launcherPath, const tstring_array& appArgs, bool quiet = false)
        : launcherPath(launcherPath), rootDir(FileUtils::parentDir(launcherPath)), report(quiet) {
        appLauncher.setLauncherPath(launcherPath).setCommandArgs(appArgs).setImageLayout(rootDir);
    }

    bool run() {
        report.heading(L"Checking the image in \"" + rootDir + L"\" as " + FileUtils::fileName(launcherPath) +
                       L" would see it");
        checkLauncher();
        if (!readPackage() || !parseCfg()) {
            return report.finish();
        }
        std::unique_ptr<Jvm> jvm = findRuntime();
        if (jvm) {
            listArguments(*jvm);
            checkLibraries(*jvm);
            checkApplicationFiles(jvm->getRuntimeArgs(), report);
            describeLaunchPath();
        }
        return report.finish();
    }

    const tstring& firstError() const { return report.firstError(); }

private:
    void checkLauncher() {
        report.step(L"Launcher");
        try {
            const PeFile pe = PeFile::read(launcherPath);
            report.info(launcherPath + L": " + machineName(pe.machine) + L" program");
            reportSignature();
            if (!pe.exportsFunction("jvmLauncherGetAPI")) {
                report.error(FileUtils::fileName(launcherPath) + L" is not a kivo launcher");
            }
        } catch (const ToolError& error) {
            report.error(error.message());
        }
    }

    // Whether the signer is trusted is for the user's machine to judge.
    void reportSignature() {
        const SignatureState signature = readSignatureState(launcherPath);
        const tstring signer = L"signed by \"" + signature.signer + L"\"";
        switch (signature.kind) {
            case SignatureKind::none:
                report.info(L"not signed");
                break;
            case SignatureKind::intact:
                report.info(signer + L", intact");
                break;
            case SignatureKind::changed:
                report.error(signer + L", but changed after signing: Windows rejects it as tampered; sign it again");
                break;
            case SignatureKind::unreadable:
                report.error(L"the signature cannot be read: " + signature.reason);
                break;
        }
    }

    bool readPackage() {
        report.step(L"Package file");
        try {
            packageFile = PackageFile::loadFromAppDir(appLauncher.getAppDir());
        } catch (const std::exception& error) {
            report.error(bareMessage(error));
            return false;
        }
        if (packageFile.packageName().empty()) {
            report.info(L"no package name: the configuration file is looked up in app\\ only");
        } else {
            report.info(L"package name \"" + packageFile.packageName() + L"\"");
        }
        return true;
    }

    bool parseCfg() {
        report.step(L"Configuration file");
        const tstring cfgName = FileUtils::withoutExtension(FileUtils::fileName(launcherPath)) + L".cfg";
        for (const PerUserConfigDir& dir : lookupDirs()) {
            const tstring candidate = dir.dir + L"\\" + cfgName;
            if (!dir.onThisMachine) {
                report.info(L"per-user lookup \"" + candidate +
                            L"\": only the user's machine has it; the launcher reads it first if it is there");
                continue;
            }
            appLauncher.addCfgFileLookupDir(dir.dir);
            report.info(L"per-user lookup \"" + candidate + L"\": " +
                        (FileUtils::exists(candidate) ? L"found" : L"not there"));
        }
        const tstring cfgPath = appLauncher.getCfgFilePath();
        report.info(L"the launcher reads \"" + cfgPath + L"\"");
        try {
            const CfgFile cfg = CfgFile::load(cfgPath);
            report.info(L"it parses: " + describeSections(cfg));
        } catch (const std::exception& error) {
            report.error(bareMessage(error));
            return false;
        }
        for (const CfgWarning& warning : lintCfgFile(cfgPath)) {
            report.warning(tstrings::Builder() << L"line " << warning.line << L": " << warning.text);
        }
        return true;
    }

    std::vector<PerUserConfigDir> lookupDirs() const {
        if (packageFile.packageName().empty()) {
            return {};
        }
        return perUserConfigDirs(packageFile.packageName());
    }

    static tstring describeSections(const CfgFile& cfg) {
        if (cfg.allSections().empty()) {
            return L"no known section holds a property";
        }
        tstrings::Builder text;
        bool first = true;
        for (const auto& [section, properties] : cfg.allSections()) {
            text << (first ? L"" : L", ") << L"[" << section.name() << L"] " << properties.size()
                 << (properties.size() == 1 ? L" property" : L" properties");
            first = false;
        }
        return text.str();
    }

    std::unique_ptr<Jvm> findRuntime() {
        report.step(L"Runtime");
        std::unique_ptr<Jvm> jvm;
        try {
            jvm = appLauncher.createJvmLauncher();
        } catch (const std::exception& error) {
            report.error(bareMessage(error));
            return nullptr;
        }
        launchWarnings = collector.messages;
        runtimeDir = FileUtils::parentDir(FileUtils::parentDir(jvm->getLibraryPath()));
        report.info(L"runtime directory \"" + runtimeDir + L"\" with bin\\qsr.dll");
        if (isRelativePath(runtimeDir)) {
            report.warning(L"the runtime directory \"" + runtimeDir +
                           L"\" is relative: the launcher looks for it from the current directory at launch");
        }
        return jvm;
    }

    void listArguments(const Jvm& jvm) {
        report.step(L"Arguments the runtime receives");
        const tstring_array& args = jvm.getRuntimeArgs();
        for (std::size_t i = 0; i < args.size(); ++i) {
            report.info(tstrings::Builder() << L"argv[" << i << L"]=" << args[i]);
        }
        for (const tstring& warning : launchWarnings) {
            report.warning(warning);
        }
    }

    void checkLibraries(const Jvm& jvm) {
        report.step(L"Runtime libraries");
        checkRuntimeLibraries(runtimeDir, jvm.hasSplashArgument(), report);
    }

    void describeLaunchPath() {
        report.step(L"Launch path");
        if (appLauncher.isAppDirInLibPath()) {
            report.info(L"PATH names the application directory: the runtime starts in the launcher's process");
        } else {
            report.info(L"PATH does not name the application directory: the launcher restarts itself with it added");
        }
    }

    tstring launcherPath;
    tstring rootDir;
    tstring runtimeDir;
    PackageFile packageFile;
    AppLauncher appLauncher;
    CheckReport report;
    WarningCollector collector;
    tstring_array launchWarnings;
};

}  // namespace

tstring findLauncher(const tstring& imagePath) {
    const tstring path = userPath(imagePath);
    if (isFile(path)) {
        return path;
    }
    if (!isDirectory(path)) {
        fail(L"\"" + path + L"\" does not exist");
    }
    const tstring_array programs = filesEndingWith(path, L".exe");
    if (programs.empty()) {
        fail(L"\"" + path + L"\" holds no launcher (no .exe file)");
    }
    if (programs.size() > 1) {
        failUsage(L"\"" + path + L"\" holds " + std::to_wstring(programs.size()) +
                  L" programs; name the launcher, for example \"" + FileUtils::combinePath(path, programs[0]) +
                  L"\"");
    }
    return FileUtils::combinePath(path, programs[0]);
}

std::optional<tstring> launchProblem(const tstring& launcherPath) {
    ImageInspection inspection(launcherPath, {}, true);
    if (inspection.run()) {
        return std::nullopt;
    }
    return inspection.firstError();
}

int checkImage(const CheckOptions& options) {
    ImageInspection inspection(findLauncher(options.image), options.appArgs);
    return inspection.run() ? exitOk : exitFailed;
}

}  // namespace imagetool
