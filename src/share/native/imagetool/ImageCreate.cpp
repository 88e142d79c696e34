// Creates an application image: the launcher copy named after the
// application, its files and configuration, and the runtime, built beside
// the destination and moved into place only when all of it succeeded.
#include "ImageCreate.h"

#include <algorithm>
#include <optional>

#include "AppLauncher.h"
#include "CfgFile.h"
#include "ErrorHandling.h"
#include "FileUtils.h"
#include "ImageBrand.h"
#include "ImageCheck.h"
#include "ImageSign.h"
#include "ToolConsole.h"
#include "ToolError.h"
#include "ToolPaths.h"
#include "TreeCopy.h"

namespace imagetool {

namespace {

// The inputs of create as absolute paths, checked before anything is
// written.
struct CreatePlan {
    tstring name;
    tstring config;
    tstring input;
    tstring runtime;  // empty when the runtime is not copied
    // Where the runtime goes, relative to the image root: "runtime", or the
    // place inside the image that app.runtime names.
    tstring runtimeInImage;
    tstring dest;
    tstring package;
    tstring launcher;
    BrandOptions brand;
    std::optional<Signer> signer;
};

// The configuration's app.runtime with the macros expanded as the launcher
// of an image at `dest` would expand them; nothing when it is not set.
std::optional<tstring> configuredRuntime(const tstring& configPath, const tstring& dest) {
    try {
        const CfgMacros macros = {{L"$APPDIR", FileUtils::combinePath(dest, L"app")},
                                  {L"$BINDIR", dest},
                                  {L"$ROOTDIR", dest}};
        const CfgFile cfg = CfgFile::load(configPath).applyMacros(macros);
        const CfgProperties& application = cfg.sectionProperties(CfgSectionId::application);
        const auto runtime = application.find(CfgPropertyId::appRuntime);
        if (runtime == application.end()) {
            return std::nullopt;
        }
        return CfgFile::lastValue(*runtime);
    } catch (const KivoErrorBase& error) {
        fail(L"The configuration cannot be used: " + tstrings::fromUtf8(error.bareMessage()));
    }
}

// Where inside the image the runtime goes, or empty when app.runtime names
// a runtime outside the image, which is not copied.
tstring runtimePlaceInImage(const tstring& configPath, const tstring& dest) {
    const std::optional<tstring> configured = configuredRuntime(configPath, dest);
    if (!configured) {
        return L"runtime";
    }
    const tstring runtime = FileUtils::stripTrailingSeparators(userPath(*configured));
    if (!isWithin(runtime, dest)) {
        return tstring();
    }
    const tstring place = runtime.substr(std::min(runtime.size(), dest.size() + 1));
    if (place.empty() || tstrings::equals(place, L"app", tstrings::IGNORE_CASE)) {
        fail(L"app.runtime names \"" + runtime + L"\"; the runtime needs a directory of its own in the image");
    }
    return place;
}

// The runtime to copy, or empty when the configuration names one outside
// the image.
tstring runtimeToCopy(const CreateOptions& options, const tstring& placeInImage) {
    if (placeInImage.empty()) {
        return tstring();
    }
    if (options.runtime.empty()) {
        failUsage(placeInImage == L"runtime"
                      ? L"create needs --runtime, since the configuration does not set app.runtime"
                      : L"create needs --runtime, since app.runtime puts the runtime inside the image");
    }
    const tstring runtime = userPath(options.runtime);
    if (!isFile(FileUtils::combinePath(runtime, AppLauncher::runtimeLibrary))) {
        fail(L"\"" + runtime + L"\" is not a runtime: it has no bin\\qsr.dll");
    }
    return runtime;
}

// The console or the windowed launcher beside kivo-image.
tstring launcherToCopy(bool windowed) {
    const tstring name = windowed ? L"kivow.exe" : L"kivo.exe";
    const tstring path = FileUtils::combinePath(toolDir(), name);
    if (!isFile(path)) {
        fail(L"The " + tstring(windowed ? L"windowed" : L"console") + L" launcher " + name + L" is not in \"" +
             toolDir() + L"\"");
    }
    return path;
}

void checkDestination(const CreatePlan& plan, bool replace) {
    if (isFile(plan.dest)) {
        fail(L"\"" + plan.dest + L"\" is a file");
    }
    if (isDirectory(plan.dest) && !isEmptyDirectory(plan.dest) && !replace) {
        fail(L"\"" + plan.dest + L"\" exists and is not empty; add --replace to replace it");
    }
    for (const tstring& source : {plan.input, plan.runtime}) {
        if (!source.empty() && (isWithin(plan.dest, source) || isWithin(source, plan.dest))) {
            fail(L"\"" + plan.dest + L"\" and \"" + source + L"\" overlap; create the image elsewhere");
        }
    }
}

CreatePlan makePlan(const CreateOptions& options) {
    CreatePlan plan;
    plan.name = options.name;
    plan.config = userPath(options.config);
    plan.input = userPath(options.input);
    plan.dest = userPath(options.dest);
    plan.package = options.package;
    plan.brand = options.brand;
    if (!plan.brand.icon.empty()) {
        plan.brand.icon = userPath(plan.brand.icon);
        checkIconFile(plan.brand.icon);
    }
    if (!isFile(plan.config)) {
        fail(L"The configuration file \"" + plan.config + L"\" does not exist");
    }
    if (!isDirectory(plan.input)) {
        fail(L"The application files directory \"" + plan.input + L"\" does not exist");
    }
    plan.runtimeInImage = runtimePlaceInImage(plan.config, plan.dest);
    plan.runtime = runtimeToCopy(options, plan.runtimeInImage);
    plan.launcher = launcherToCopy(options.windowed);
    checkDestination(plan, options.replace);
    if (options.signing.any()) {
        plan.signer.emplace(options.signing);
    }
    return plan;
}

// The outermost directory above `path` that does not exist, or empty when
// its parent exists.
tstring firstMissingAncestor(const tstring& path) {
    tstring missing;
    tstring dir = FileUtils::parentDir(path);
    while (!dir.empty() && dir != missing && !isDirectory(dir)) {
        missing = dir;
        dir = FileUtils::parentDir(dir);
    }
    return missing;
}

// A place inside the image as the launcher names it, with backslashes.
tstring imageRelative(const tstring& place) { return tstrings::replace(place, L"/", L"\\"); }

tstring describe(const wchar_t* what, const CopyTotals& totals) {
    return tstrings::Builder() << what << L" (" << totals.files << (totals.files == 1 ? L" file, " : L" files, ")
                               << formatBytes(totals.bytes) << L")";
}

// Puts a built image at its destination: 1. moves what is there aside,
// 2. moves the new image to its place. Until commit() removes the old one,
// the end of the scope undoes both steps, so that a failed check or an
// interrupt leaves the destination as it was.
class ImagePlacement {
public:
    ImagePlacement(const tstring& built, const tstring& dest)
        : built(built), dest(dest), old(scratchBeside(dest, L"old")), replacing(isDirectory(dest)) {
        failIfInterrupted();
        if (replacing) {
            moveEntry(dest, old, L"Cannot move \"" + dest + L"\" aside to replace it");
        }
        try {
            moveEntry(built, dest, L"Cannot move the new image to \"" + dest + L"\"");
        } catch (const ToolError&) {
            restoreOld();
            throw;
        }
        placed = true;
    }

    ~ImagePlacement() {
        if (placed) {
            moveEntryBack(dest, built);
            restoreOld();
        }
    }

    ImagePlacement(const ImagePlacement&) = delete;
    ImagePlacement& operator=(const ImagePlacement&) = delete;

    void commit() {
        placed = false;
        if (replacing) {
            removeTree(old);
        }
    }

private:
    void restoreOld() {
        if (replacing) {
            moveEntryBack(old, dest);
        }
    }

    tstring built;
    tstring dest;
    tstring old;
    bool replacing;
    bool placed = false;
};

struct BuiltImage {
    CopyTotals app;
    CopyTotals runtime;
};

// Lays out the whole image in `dir`: the launcher, app\ with the
// configuration and the package file, and runtime\.
BuiltImage buildImage(const CreatePlan& plan, const tstring& dir) {
    TreeCopier launcherCopy(L"Copying the launcher");
    const tstring exePath = FileUtils::combinePath(dir, plan.name + L".exe");
    launcherCopy.copyFile(plan.launcher, exePath);
    launcherCopy.finish();
    if (plan.brand.any()) {
        brandLauncher(exePath, plan.launcher, plan.name + L".exe", plan.brand);
    }
    if (plan.signer) {
        plan.signer->signInPlace(exePath);
    }

    const tstring appDir = FileUtils::combinePath(dir, L"app");
    TreeCopier appCopy(L"Copying application files");
    appCopy.copyTree(plan.input, appDir);
    appCopy.replaceFile(plan.config, FileUtils::combinePath(appDir, plan.name + L".cfg"));
    appCopy.finish();
    if (!plan.package.empty()) {
        const tstring packagePath = FileUtils::combinePath(appDir, L".package");
        removeTree(packagePath);
        writeWholeFile(packagePath, tstrings::toUtf8(plan.package) + "\r\n", FileCreation::newFile, packagePath);
    }

    TreeCopier runtimeCopy(L"Copying the runtime");
    if (!plan.runtime.empty()) {
        const tstring runtimeDir = FileUtils::combinePath(dir, plan.runtimeInImage);
        makeDirectories(FileUtils::parentDir(runtimeDir));
        runtimeCopy.copyTree(plan.runtime, runtimeDir);
        runtimeCopy.finish();
    }
    return {appCopy.totals(), runtimeCopy.totals()};
}

// " (branded)", " (branded, signed as ...)" or nothing.
tstring launcherTreatment(const CreatePlan& plan) {
    tstring_array done;
    if (plan.brand.any()) {
        done.push_back(L"branded");
    }
    if (plan.signer) {
        done.push_back(L"signed " + plan.signer->summary());
    }
    return done.empty() ? tstring() : L" (" + tstrings::join(done, L", ") + L")";
}

}  // namespace

int createImage(const CreateOptions& options) {
    const CreatePlan plan = makePlan(options);
    stopOnInterrupt();
    // Directories created above the destination go again on failure.
    std::optional<ScratchDir> createdParents;
    const tstring firstMissing = firstMissingAncestor(plan.dest);
    if (!firstMissing.empty()) {
        createdParents.emplace(firstMissing);
    }
    makeDirectories(FileUtils::parentDir(plan.dest));
    ScratchDir scratch(scratchBeside(plan.dest, L"kivo-image"));
    removeTree(scratch.path());
    makeDirectories(scratch.path());

    const BuiltImage built = buildImage(plan, scratch.path());
    ImagePlacement placement(scratch.path(), plan.dest);
    writeOut(L"Created \"" + plan.dest + L"\": " + plan.name + L".exe" + launcherTreatment(plan) +
             L", " + describe(L"app\\", built.app) +
             (plan.runtime.empty() ? L", runtime from app.runtime"
                                   : L", " + describe((imageRelative(plan.runtimeInImage) + L"\\").c_str(), built.runtime)));
    CheckOptions check;
    check.image = FileUtils::combinePath(plan.dest, plan.name + L".exe");
    if (checkImage(check) != exitOk) {
        fail(L"The new image would not launch (see the report above), so \"" + plan.dest + L"\" is left as it was");
    }
    failIfInterrupted();
    placement.commit();
    scratch.keep();
    if (createdParents) {
        createdParents->keep();
    }
    return exitOk;
}

int brandExistingLauncher(const BrandCommand& command) {
    const tstring launcher = userPath(command.launcher);
    if (!isFile(launcher)) {
        fail(L"The launcher \"" + launcher + L"\" does not exist");
    }
    BrandOptions brand = command.brand;
    if (!brand.icon.empty()) {
        brand.icon = userPath(brand.icon);
    }
    const tstring copy = scratchBeside(launcher, L"brand");
    copyOverFile(launcher, copy);
    try {
        brandLauncher(copy, launcher, FileUtils::fileName(launcher), brand);
    } catch (...) {
        removeTree(copy);
        throw;
    }
    try {
        replaceFileWith(copy, launcher, L"Cannot replace \"" + launcher + L"\"");
    } catch (const ToolError&) {
        removeTree(copy);
        throw;
    }
    tstring what;
    if (!brand.icon.empty()) {
        what += L"icon from \"" + brand.icon + L"\"";
    }
    if (brand.version) {
        what += (what.empty() ? L"" : L", ") + tstring(L"version ") + brand.version->text();
    }
    writeOut(L"Branded \"" + launcher + L"\": " + what);
    return exitOk;
}

}  // namespace imagetool
