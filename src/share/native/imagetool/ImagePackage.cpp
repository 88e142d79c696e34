// Makes a Windows Installer package of an application image with wixl:
// per user by default, with shortcuts, an Installed-apps entry, upgrades
// and optional file associations, signed in the order that keeps every
// signature valid.
#include "ImagePackage.h"

#include <algorithm>
#include <cwctype>
#include <optional>

#include "FileUtils.h"
#include "ImageCheck.h"
#include "ImageSign.h"
#include "MsiDatabaseText.h"
#include "MsiSource.h"
#include "PackageFile.h"
#include "PackagingHost.h"
#include "PeImageError.h"
#include "SignatureCrypto.h"
#include "ToolConsole.h"
#include "ToolError.h"
#include "ToolFiles.h"
#include "ToolPaths.h"
#include "TreeCopy.h"
#include "VersionResource.h"

namespace imagetool {

namespace {

// What the installer says about the product, from the options or the
// launcher's version resource.
struct ProductFacts {
    tstring productName;
    tstring publisher;
    tstring version;
};

std::optional<VersionTexts> brandedVersion(const tstring& launcher) {
    try {
        std::optional<VersionTexts> texts = readProgramVersion(launcher);
        // Brand writes the file name into the resource; the launcher as
        // built carries only the project's own version.
        if (texts && !texts->originalFileName.empty()) {
            return texts;
        }
        return std::nullopt;
    } catch (const PeImageError& error) {
        fail(L"Cannot read the version of \"" + launcher + L"\": " + tstrings::fromUtf8(error.what()));
    }
}

// "a.b.c" as Windows Installer compares versions: at most 255.255.65535.
bool isInstallerVersion(const tstring& text) {
    const tstring_array parts = tstrings::split(text, L".");
    const unsigned long limits[] = {255, 255, 65535};
    if (parts.size() != 3) {
        return false;
    }
    for (std::size_t i = 0; i < 3; ++i) {
        if (parts[i].empty() || parts[i].size() > 5 || parts[i].find_first_not_of(L"0123456789") != tstring::npos ||
            std::stoul(parts[i]) > limits[i]) {
            return false;
        }
    }
    return true;
}

ProductFacts productFacts(const PackageOptions& options, const tstring& launcher, const tstring& name) {
    const std::optional<VersionTexts> branded = brandedVersion(launcher);
    ProductFacts facts;
    facts.productName = !options.productName.empty() ? options.productName : branded ? branded->productName : name;
    if (facts.productName.empty()) {
        facts.productName = name;
    }
    if (!options.version.empty()) {
        facts.version = options.version;
    } else if (branded) {
        const auto& parts = branded->version.parts;
        facts.version = tstrings::Builder() << parts[0] << L"." << parts[1] << L"." << parts[2];
    } else {
        fail(L"The launcher is not branded, so it has no version of its own: give --version, or brand it first");
    }
    if (!isInstallerVersion(facts.version)) {
        fail(L"The version \"" + facts.version +
             L"\" is not one an installer can hold: three numbers, at most 255.255.65535");
    }
    facts.publisher = !options.publisher.empty() ? options.publisher : branded ? branded->company : tstring();
    if (facts.publisher.empty()) {
        fail(L"The installer needs a publisher: give --publisher, or brand the launcher with --company");
    }
    return facts;
}

tstring sha1Guid(const tstring& name) {
    return guidFromSha1(digestOf(DigestAlgorithm::sha1, {guidNamespaceAndName(name)}));
}

tstring upgradeCode(const PackageOptions& options, const tstring& root, const tstring& name) {
    if (!options.upgradeCode.empty()) {
        if (!isGuid(options.upgradeCode)) {
            failUsage(L"The upgrade code \"" + options.upgradeCode + L"\" is not a GUID");
        }
        const tstring bare = options.upgradeCode.size() == 38 ? options.upgradeCode.substr(1, 36) : options.upgradeCode;
        tstring upper = bare;
        std::transform(upper.begin(), upper.end(), upper.begin(), [](wchar_t c) { return std::towupper(c); });
        return L"{" + upper + L"}";
    }
    const tstring packageName = PackageFile::loadFromAppDir(FileUtils::combinePath(root, L"app")).packageName();
    return sha1Guid(packageName.empty() ? L"application:" + name : L"package:" + packageName);
}

// The image's tree as the installer holds it; a link anywhere is refused.
InstallerDir readTree(const tstring& dir, const tstring& name, const tstring& guidSeed, std::size_t& files) {
    DirEntries entries = listDirectory(dir);
    for (const tstring_array* links : {&entries.fileLinks, &entries.dirLinks}) {
        if (!links->empty()) {
            fail(quoted(FileUtils::combinePath(dir, links->front())) +
                 L" is a link; an installer holds only the image's own files");
        }
    }
    InstallerDir tree;
    tree.name = name;
    tree.files = entries.files;
    std::sort(tree.files.begin(), tree.files.end());
    std::sort(entries.dirs.begin(), entries.dirs.end());
    files += tree.files.size();
    for (const tstring& child : entries.dirs) {
        tree.dirs.push_back(readTree(FileUtils::combinePath(dir, child), child, guidSeed + L"\\" + child, files));
    }
    if (tree.files.empty() && tree.dirs.empty()) {
        tree.emptyFolderGuid = sha1Guid(L"folder:" + guidSeed);
    }
    return tree;
}

tstring checkedMsiPath(const tstring& typed, const tstring& root) {
    const tstring msi = userPath(typed);
    if (!tstrings::endsWith(msi, L".msi", tstrings::IGNORE_CASE)) {
        failUsage(L"The installer \"" + msi + L"\" needs a name that ends in .msi");
    }
    if (isDirectory(msi)) {
        fail(quoted(msi) + L" is a directory");
    }
    if (!isDirectory(FileUtils::parentDir(msi))) {
        fail(L"The directory of the installer \"" + msi + L"\" does not exist");
    }
    if (isWithin(msi, root)) {
        fail(L"The installer \"" + msi + L"\" would be inside the image it installs; write it elsewhere");
    }
    return msi;
}

void buildWithWixl(const tstring& wixl, const tstring& source, const tstring& output) {
    const ProgramOutput built = runProgram(wixl, {L"-a", L"x64", L"-o", output, source});
    if (built.exitCode != 0) {
        const tstring reason = built.reason();
        fail(L"wixl could not build the installer: " +
             (reason.empty() ? (tstrings::Builder() << L"it ended with code " << built.exitCode).str() : reason));
    }
}

tstring describeTexts(const std::vector<std::pair<std::string, tstring>>& texts) {
    tstring_array shown;
    for (const auto& entry : texts) {
        shown.push_back(quoted(entry.second));
    }
    return tstrings::join(shown, L", ");
}

tstring placeDescription(const InstallerPlan& plan) {
    return plan.perMachine ? L"for all users into %ProgramFiles%\\" + plan.name
                           : L"per user into %LOCALAPPDATA%\\Programs\\" + plan.name;
}

}  // namespace

int packageImage(const PackageOptions& options) {
    const tstring wixl = requireProgram(external_program::wixl);
    const tstring launcher = findLauncher(options.image);
    const tstring root = FileUtils::parentDir(launcher);
    const tstring msi = checkedMsiPath(options.msi, root);
    if (const std::optional<tstring> problem = launchProblem(launcher)) {
        fail(L"The image would not launch, so no installer is made: " + *problem);
    }
    InstallerPlan plan;
    plan.launcherFile = FileUtils::fileName(launcher);
    plan.name = FileUtils::withoutExtension(plan.launcherFile);
    const ProductFacts facts = productFacts(options, launcher, plan.name);
    plan.productName = facts.productName;
    plan.publisher = facts.publisher;
    plan.version = facts.version;
    plan.upgradeCode = upgradeCode(options, root, plan.name);
    plan.perMachine = options.perMachine;
    plan.desktopShortcut = options.desktopShortcut;
    plan.associations = options.associations;
    plan.sourceRoot = root;
    std::optional<Signer> signer;
    if (options.signing.any()) {
        signer.emplace(options.signing);
    }
    std::size_t files = 0;
    plan.image = readTree(root, tstring(), plan.upgradeCode, files);

    stopOnInterrupt();
    ScratchDir work(scratchBeside(msi, L"kivo-image"));
    removeTree(work.path());
    makeDirectory(work.path());
    plan.launcherSource = launcher;
    plan.sourceDir = work.path();
    if (signer) {
        plan.launcherSource = FileUtils::combinePath(work.path(), plan.launcherFile);
        signer->signInto(launcher, plan.launcherSource, launcher);
    }
    const WixSource source = buildWixSource(plan);
    const unsigned codePage = source.texts.empty() ? 1252 : codePageForTexts(source.texts);
    if (codePage == 0) {
        fail(L"An installer keeps its texts in one Windows code page, and no code page holds all of " +
             describeTexts(source.texts) + L"; use names in one script");
    }
    const tstring sourcePath = FileUtils::combinePath(work.path(), L"installer.wxs");
    writeWholeFile(sourcePath, source.xml, FileCreation::newFile, sourcePath);
    const tstring built = FileUtils::combinePath(work.path(), L"installer.msi");
    buildWithWixl(wixl, sourcePath, built);
    if (!source.texts.empty()) {
        restoreTexts(built, source, codePage, work.path());
    }
    tstring finished = built;
    if (signer) {
        finished = FileUtils::combinePath(work.path(), L"signed.msi");
        signer->signInto(built, finished, msi);
    }
    failIfInterrupted();
    if (isFile(msi)) {
        replaceFileWith(finished, msi, L"Cannot replace \"" + msi + L"\"");
    } else {
        moveEntry(finished, msi, L"Cannot move the installer to \"" + msi + L"\"");
    }
    writeOut(L"Packaged \"" + root + L"\" into \"" + msi + L"\": " + plan.productName + L" " + plan.version + L" by " +
             plan.publisher + L", " + placeDescription(plan) + (tstrings::Builder() << L" (" << files << L" files").str() +
             (signer ? L", signed " + signer->summary() : tstring()) + L")");
    return exitOk;
}

}  // namespace imagetool
