// End-to-end tests of "kivo-image package": installers that Wine's msiexec
// installs, upgrades, refuses to downgrade and uninstalls without a trace,
// whose installed launcher starts, and the refusals that come before
// anything is written.
#include <gtest/gtest.h>

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "FileUtils.h"
#include "ImageTool.h"
#include "SigningKit.h"
#include "TestFiles.h"

using testing_support::CreateInputs;
using testing_support::pathExists;
using testing_support::ProcessOptions;
using testing_support::ProcessResult;
using testing_support::readFile;
using testing_support::runImageTool;
using testing_support::runUnderWine;
using testing_support::writeFile;

namespace {

std::string utf8(const tstring& text) { return tstrings::toUtf8(text); }

tstring join(const tstring& dir, const tstring& name) { return FileUtils::combinePath(dir, name); }

// The Wine prefix that scripts/wine-run uses, and its user's folders.
tstring winePrefix() {
    const char* prefix = std::getenv("WINEPREFIX");
    if (prefix && *prefix) {
        return tstrings::fromUtf8(prefix);
    }
    const char* home = std::getenv("HOME");
    return tstrings::fromUtf8(std::string(home ? home : "/root") + "/.local/share/kivo/wineprefix");
}

tstring wineUser() { return tstrings::fromUtf8(::getpwuid(::getuid())->pw_name); }

tstring userProfile() { return winePrefix() + L"/drive_c/users/" + wineUser(); }

tstring installDir(const tstring& name) { return userProfile() + L"/AppData/Local/Programs/" + name; }

tstring windowsInstallDir(const tstring& name) {
    return L"C:\\users\\" + wineUser() + L"\\AppData\\Local\\Programs\\" + name;
}

tstring startMenuShortcut(const tstring& name) {
    return userProfile() + L"/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/" + name + L".lnk";
}

std::string utf16le(const tstring& text) {
    std::string bytes;
    for (const wchar_t c : text) {
        bytes.push_back(static_cast<char>(c & 0xFF));
        bytes.push_back(static_cast<char>((c >> 8) & 0xFF));
    }
    return bytes;
}

// A registry key and everything below it as "reg export" writes it
// (UTF-16), brought to UTF-8; empty when the key does not exist.
std::string registryExport(const tstring& key) {
    testing_support::TempDir temp(L"kivo-reg");
    const tstring file = join(temp.path(), L"export.reg");
    const ProcessResult exported = runUnderWine({L"reg", L"export", key, L"Z:" + file, L"/y"});
    if (exported.exitCode != 0 || !pathExists(file)) {
        return std::string();
    }
    const std::string bytes = readFile(file);
    tstring text;
    for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
        text.push_back(static_cast<wchar_t>(static_cast<unsigned char>(bytes[i]) |
                                            (static_cast<unsigned char>(bytes[i + 1]) << 8)));
    }
    return utf8(text);
}

// Where Installed apps finds its entries, and the user's products with
// their icons.
const tstring installedProducts = L"HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData";
const tstring userProducts = L"HKCU\\Software\\Microsoft\\Installer\\Products";

int occurrences(const std::string& text, const std::string& part) {
    int count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) {
        ++count;
    }
    return count;
}

// How Windows Installer's formatted fields spell a literal bracket.
std::string asFormattedText(const std::string& text) {
    std::string formatted;
    for (const char c : text) {
        formatted += c == '[' ? "[\\[]" : c == ']' ? "[\\]]" : std::string(1, c);
    }
    return formatted;
}

ProcessResult msiexec(const tstring& action, const tstring& msi) {
    ProcessOptions options;
    options.timeoutMs = 180000;
    return runUnderWine({L"msiexec", action, L"Z:" + msi, L"/qn"}, options);
}

// An image of the fixture runtime, branded with `version`, and its
// installer; `extraFile` goes into app\ when given.
struct TestInstaller {
    TestInstaller(const tstring& name, const tstring& version, const tstring_array& packageArgs,
                  const tstring& extraFile = tstring())
        : msi(join(inputs.temp.path(), name + L"-" + version + L".msi")) {
        if (!extraFile.empty()) {
            writeFile(join(inputs.files, extraFile), "added in " + utf8(version));
        }
        tstring_array create = inputs.createArgs(name);
        create.insert(create.end(), {L"--version", version, L"--product-name", name + L" Product", L"--company",
                                     L"Kivo Test Publisher", L"--package", L"kivo-package-test-" + name});
        const ProcessResult created = runImageTool(create);
        EXPECT_EQ(created.exitCode, 0u) << created.out << created.err;
        tstring_array package = {L"package", inputs.dest, L"--msi", msi};
        package.insert(package.end(), packageArgs.begin(), packageArgs.end());
        packaged = runImageTool(package);
        EXPECT_EQ(packaged.exitCode, 0u) << packaged.out << packaged.err;
    }

    CreateInputs inputs;
    tstring msi;
    ProcessResult packaged;
};

// Uninstalls what a test installed, whether it passed or not.
class InstalledProduct {
public:
    explicit InstalledProduct(const tstring& msi) : msi(msi) {}
    ~InstalledProduct() { msiexec(L"/x", msi); }
    InstalledProduct(const InstalledProduct&) = delete;
    InstalledProduct& operator=(const InstalledProduct&) = delete;

private:
    tstring msi;
};

class ImagePackageLifecycle : public ::testing::TestWithParam<const wchar_t*> {};

TEST_P(ImagePackageLifecycle, InstallsStartsUpgradesRefusesADowngradeAndUninstalls) {
    const tstring name = GetParam();
    const tstring product = name + L" Product";
    const std::string displayName = "\"DisplayName\"=\"" + utf8(product) + "\"";
    const tstring extension = name == L"Kivo[Pkg] & Co" ? L".kptl" : L".kptc";
    const tstring association = L"HKCU\\Software\\Classes\\" + extension;
    const testing_support::SigningKit kit;
    const TestInstaller v10(name, L"1.0.0.0", {L"--associate", extension + L"=Kivo test document"});
    const TestInstaller v11(name, L"1.1.0.0",
                            {L"--associate", extension + L"=Kivo test document", L"--pkcs12",
                             kit.pkcs12(), L"--password-file", kit.passwordFile()},
                            L"notes.txt");
    ASSERT_EQ(kit.verify(v11.msi).exitCode, 0u) << kit.verify(v11.msi).out;
    InstalledProduct cleanup(v11.msi);
    EXPECT_EQ(v10.packaged.out.find("Packaged \"" + utf8(v10.inputs.dest) + "\" into \"" + utf8(v10.msi) + "\": " +
                                    utf8(product) + " 1.0.0 by Kivo Test Publisher, per user into " +
                                    "%LOCALAPPDATA%\\Programs\\" + utf8(name) + " ("),
              0u)
        << v10.packaged.out;
    const ProcessResult conditions =
        testing_support::runProcess(L"/usr/bin/msiinfo", {L"export", v10.msi, L"LaunchCondition"});
    EXPECT_NE(conditions.out.find("A newer version of " + asFormattedText(utf8(product)) +
                                  " is installed; uninstall it first to install this one."),
              std::string::npos)
        << conditions.out;

    ASSERT_EQ(msiexec(L"/i", v10.msi).exitCode, 0u);
    const tstring launcher = join(installDir(name), name + L".exe");
    EXPECT_TRUE(pathExists(launcher));
    EXPECT_TRUE(pathExists(join(join(installDir(name), L"runtime"), L"bin/qsr.dll")));
    ASSERT_TRUE(pathExists(startMenuShortcut(name)));
    EXPECT_NE(readFile(startMenuShortcut(name)).find(utf16le(name + L".exe")), std::string::npos);
    const std::string entries = registryExport(installedProducts);
    EXPECT_EQ(occurrences(entries, displayName), 1);
    EXPECT_NE(entries.find("\"Publisher\"=\"Kivo Test Publisher\""), std::string::npos);
    EXPECT_NE(entries.find("\"DisplayVersion\"=\"1.0.0\""), std::string::npos);
    const std::string products = registryExport(userProducts);
    EXPECT_EQ(occurrences(products, "\"ProductName\"=\"" + utf8(product) + "\""), 1);
    EXPECT_NE(products.find("\\AppIcon.exe\""), std::string::npos) << products;
    EXPECT_NE(registryExport(association).find(utf8(name + extension)), std::string::npos);

    const tstring windowsLauncher = windowsInstallDir(name) + L"\\" + name + L".exe";
    const ProcessResult restarted = runUnderWine({windowsLauncher, L"argument"});
    EXPECT_EQ(restarted.exitCode, 0u) << restarted.err;
    EXPECT_NE(restarted.out.find("qsr: begin"), std::string::npos) << restarted.out;
    ProcessOptions appDirOnPath;
    appDirOnPath.env[L"WINEPATH"] = windowsInstallDir(name) + L"\\app";
    const ProcessResult inProcess = runUnderWine({windowsLauncher, L"argument"}, appDirOnPath);
    EXPECT_EQ(inProcess.exitCode, 0u) << inProcess.err;
    EXPECT_NE(inProcess.out.find("qsr: begin"), std::string::npos) << inProcess.out;

    ASSERT_EQ(msiexec(L"/i", v11.msi).exitCode, 0u);
    EXPECT_EQ(readFile(join(join(installDir(name), L"app"), L"notes.txt")), "added in 1.1.0.0");
    EXPECT_EQ(kit.verify(launcher).exitCode, 0u);
    const std::string upgraded = registryExport(installedProducts);
    EXPECT_EQ(occurrences(upgraded, displayName), 1);
    EXPECT_EQ(occurrences(upgraded, "\"DisplayVersion\"=\"1.1.0\""), 1);

    EXPECT_NE(msiexec(L"/i", v10.msi).exitCode, 0u);
    EXPECT_EQ(occurrences(registryExport(installedProducts), "\"DisplayVersion\"=\"1.1.0\""), 1);
    EXPECT_TRUE(pathExists(join(join(installDir(name), L"app"), L"notes.txt")));

    ASSERT_EQ(msiexec(L"/x", v11.msi).exitCode, 0u);
    EXPECT_FALSE(pathExists(installDir(name)));
    EXPECT_FALSE(pathExists(startMenuShortcut(name)));
    EXPECT_EQ(occurrences(registryExport(installedProducts), displayName), 0);
    EXPECT_EQ(occurrences(registryExport(userProducts), "\"ProductName\"=\"" + utf8(product) + "\""), 0);
    EXPECT_EQ(registryExport(association), "");
}

INSTANTIATE_TEST_SUITE_P(Names, ImagePackageLifecycle, ::testing::Values(L"Kivo[Pkg] & Co", L"Прил Тест"));

TEST(ImagePackageTest, PerMachineInstallsUnderProgramFiles) {
    const TestInstaller installer(L"KivoMachine", L"2.0.0.0", {L"--per-machine", L"--desktop-shortcut"});
    InstalledProduct cleanup(installer.msi);
    const tstring installed = winePrefix() + L"/drive_c/Program Files/KivoMachine";
    EXPECT_NE(installer.packaged.out.find(", for all users into %ProgramFiles%\\KivoMachine ("), std::string::npos)
        << installer.packaged.out;

    ASSERT_EQ(msiexec(L"/i", installer.msi).exitCode, 0u);
    EXPECT_TRUE(pathExists(join(installed, L"KivoMachine.exe")));
    EXPECT_FALSE(pathExists(installDir(L"KivoMachine")));

    ASSERT_EQ(msiexec(L"/x", installer.msi).exitCode, 0u);
    EXPECT_FALSE(pathExists(installed));
}

struct Refusal {
    const char* what;
    tstring_array createArgs;
    tstring_array packageArgs;
    std::uint32_t exitCode;
    std::string message;
};

TEST(ImagePackageTest, RefusesBeforeWritingAnything) {
    const tstring branded[] = {L"--version", L"1.0.0.0", L"--company", L"Kivo Test Publisher"};
    const tstring_array brand(std::begin(branded), std::end(branded));
    const std::vector<Refusal> refusals = {
        {"an unbranded launcher", {}, {}, 1,
         "The launcher is not branded, so it has no version of its own: give --version, or brand it first"},
        {"no publisher", {L"--version", L"1.0.0.0"}, {}, 1,
         "The installer needs a publisher: give --publisher, or brand the launcher with --company"},
        {"a fourth version number", brand, {L"--version", L"1.2.3.4"}, 1,
         "The version \"1.2.3.4\" is not one an installer can hold: three numbers, at most 255.255.65535"},
        {"a major version above 255", brand, {L"--version", L"256.0.0"}, 1,
         "The version \"256.0.0\" is not one an installer can hold: three numbers, at most 255.255.65535"},
        {"texts in two scripts", brand, {L"--product-name", L"Прил שלום"}, 1,
         "An installer keeps its texts in one Windows code page, and no code page holds all of \"Прил שלום\", "
         "\"A newer version of Прил שלום is installed; uninstall it first to install this one.\"; use names in "
         "one script"},
        {"a bad upgrade code", brand, {L"--upgrade-code", L"{1234}"}, 2, "The upgrade code \"{1234}\" is not a GUID"},
        {"an association without a description", brand, {L"--associate", L".kpt"}, 2,
         "The association \".kpt\" is not an extension and a description, such as \".demo=Demo document\""},
    };
    for (const Refusal& refusal : refusals) {
        SCOPED_TRACE(refusal.what);
        CreateInputs inputs;
        tstring_array create = inputs.createArgs(L"Refused");
        create.insert(create.end(), refusal.createArgs.begin(), refusal.createArgs.end());
        ASSERT_EQ(runImageTool(create).exitCode, 0u);
        const tstring msi = join(inputs.temp.path(), L"refused.msi");
        tstring_array package = {L"package", inputs.dest, L"--msi", msi};
        package.insert(package.end(), refusal.packageArgs.begin(), refusal.packageArgs.end());

        const ProcessResult result = runImageTool(package);

        EXPECT_EQ(result.exitCode, refusal.exitCode);
        EXPECT_EQ(result.err, "kivo-image: " + refusal.message + "\n");
        EXPECT_EQ(testing_support::listNames(inputs.temp.path()),
                  (std::vector<std::string>{"files", "input.cfg", "out"}));
    }
}

TEST(ImagePackageTest, RefusesAnImageThatWouldNotLaunchOrHoldsALink) {
    CreateInputs inputs;
    tstring_array create = inputs.createArgs(L"Broken");
    create.insert(create.end(), {L"--version", L"1.0.0.0", L"--company", L"Kivo Test Publisher"});
    ASSERT_EQ(runImageTool(create).exitCode, 0u);
    const tstring msi = join(inputs.temp.path(), L"broken.msi");
    ASSERT_EQ(::symlink("/etc", utf8(join(join(inputs.dest, L"app"), L"elsewhere")).c_str()), 0);

    const ProcessResult linked = runImageTool({L"package", inputs.dest, L"--msi", msi});
    EXPECT_EQ(linked.exitCode, 1u);
    EXPECT_EQ(linked.err, "kivo-image: \"" + utf8(inputs.dest) +
                              "/app/elsewhere\" is a link; an installer holds only the image's own files\n");

    ::unlink(utf8(join(join(inputs.dest, L"app"), L"elsewhere")).c_str());
    ::unlink(utf8(join(join(inputs.dest, L"runtime"), L"bin/qsr.dll")).c_str());
    const ProcessResult broken = runImageTool({L"package", inputs.dest, L"--msi", msi});
    EXPECT_EQ(broken.exitCode, 1u);
    EXPECT_EQ(broken.err.rfind("kivo-image: The image would not launch, so no installer is made: ", 0), 0u)
        << broken.err;
    EXPECT_FALSE(pathExists(msi));
}

TEST(ImagePackageTest, WindowsBuildSendsTheUserToTheLinuxBuild) {
    const ProcessResult result = testing_support::runWindowsImageTool({L"package", L"image", L"--msi", L"app.msi"});

    EXPECT_EQ(result.exitCode, 1u);
    EXPECT_EQ(result.err,
              "kivo-image: Installers are made by the Linux build of kivo-image, which runs wixl; run the same "
              "command there\r\n");
}

}  // namespace
