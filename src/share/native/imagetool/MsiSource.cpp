// The WiX source of an application image's installer, as wixl reads it.
// Text beyond ASCII stands in the source as placeholder tokens, which the
// installer database gets back in its own code page once wixl has built it.
#include "MsiSource.h"

#include <cwctype>

#include "FileUtils.h"
#include "ToolPaths.h"

namespace imagetool {

namespace {

// The namespace of the upgrade codes that the tool derives.
const unsigned char guidNamespace[16] = {0x6b, 0x69, 0x76, 0x6f, 0x2d, 0x69, 0x6d, 0x61,
                                         0x67, 0x65, 0x4d, 0x53, 0x49, 0x75, 0x70, 0x67};

std::string xmlEscaped(const std::string& text) {
    std::string escaped;
    for (const char c : text) {
        switch (c) {
            case '&': escaped += "&amp;"; break;
            case '<': escaped += "&lt;"; break;
            case '>': escaped += "&gt;"; break;
            case '"': escaped += "&quot;"; break;
            default: escaped += c;
        }
    }
    return escaped;
}

// Brackets and braces taken literally where Windows Installer formats a
// value ("[INSTALLDIR]"): in registry keys and values, shortcut targets and
// launch condition messages.
tstring formattedLiteral(const tstring& text) {
    tstring literal;
    for (const wchar_t c : text) {
        if (c == L'[' || c == L']' || c == L'{' || c == L'}') {
            literal += L"[\\";
            literal += c;
            literal += L"]";
        } else {
            literal += c;
        }
    }
    return literal;
}

bool isAscii(const tstring& text) {
    for (const wchar_t c : text) {
        if (static_cast<std::uint32_t>(c) > 0x7E || static_cast<std::uint32_t>(c) < 0x20) {
            return false;
        }
    }
    return true;
}

class SourceWriter {
public:
    explicit SourceWriter(const InstallerPlan& plan) : plan(plan) {}

    WixSource write() {
        line(0, "<?xml version=\"1.0\" encoding=\"utf-8\"?>");
        line(0, "<Wix xmlns=\"http://schemas.microsoft.com/wix/2006/wi\">");
        line(1, "<Product Id=\"*\" Name=\"" + text(plan.productName) + "\" Language=\"1033\" Version=\"" +
                    text(plan.version) + "\" Manufacturer=\"" + text(plan.publisher) + "\" UpgradeCode=\"" +
                    text(plan.upgradeCode) + "\">");
        packageElement();
        line(2, "<MajorUpgrade DowngradeErrorMessage=\"" +
                    text(L"A newer version of " + formattedLiteral(plan.productName) +
                         L" is installed; uninstall it first to install this one.") +
                    "\"/>");
        line(2, "<Media Id=\"1\" Cabinet=\"image.cab\" EmbedCab=\"yes\"/>");
        line(2, "<Icon Id=\"AppIcon.exe\" SourceFile=\"" + path(plan.launcherSource) + "\"/>");
        line(2, "<Property Id=\"ARPPRODUCTICON\" Value=\"AppIcon.exe\"/>");
        line(2, "<Directory Id=\"TARGETDIR\" Name=\"SourceDir\">");
        installDirectory();
        line(3, "<Directory Id=\"ProgramMenuFolder\"/>");
        if (plan.desktopShortcut) {
            line(3, "<Directory Id=\"DesktopFolder\"/>");
        }
        line(2, "</Directory>");
        line(2, "<Feature Id=\"Application\" Level=\"1\">");
        for (const std::string& component : components) {
            line(3, "<ComponentRef Id=\"" + component + "\"/>");
        }
        line(2, "</Feature>");
        line(1, "</Product>");
        line(0, "</Wix>");
        return {xml, texts};
    }

private:
    void packageElement() {
        const tstring scope = plan.perMachine ? L"perMachine" : L"perUser";
        line(2, "<Package InstallerVersion=\"500\" Compressed=\"yes\" InstallScope=\"" + text(scope) +
                    "\" Description=\"" + summaryText(plan.productName) + "\" Manufacturer=\"" +
                    summaryText(plan.publisher) + "\" Comments=\"" +
                    summaryText(L"Installs " + plan.productName + L" " + plan.version) + "\"/>");
    }

    void installDirectory() {
        if (plan.perMachine) {
            line(3, "<Directory Id=\"ProgramFiles64Folder\">");
        } else {
            line(3, "<Directory Id=\"LocalAppDataFolder\">");
            line(4, "<Directory Id=\"ProgramsFolder\" Name=\"Programs\">");
        }
        const int depth = plan.perMachine ? 4 : 5;
        line(depth, "<Directory Id=\"INSTALLDIR\" Name=\"" + text(plan.name) + "\">");
        directoryContent(plan.image, FileUtils::stripTrailingSeparators(plan.sourceRoot), depth + 1, true);
        line(depth, "</Directory>");
        if (!plan.perMachine) {
            line(4, "</Directory>");
        }
        line(3, "</Directory>");
    }

    void directoryContent(const InstallerDir& dir, const tstring& source, int depth, bool root) {
        for (const tstring& file : dir.files) {
            const bool launcher = root && file == plan.launcherFile;
            if (launcher) {
                launcherComponent(depth);
            } else {
                fileComponent(file, FileUtils::combinePath(source, file), depth);
            }
        }
        for (const InstallerDir& child : dir.dirs) {
            line(depth, "<Directory Id=\"" + nextId("D") + "\" Name=\"" + text(child.name) + "\">");
            directoryContent(child, FileUtils::combinePath(source, child.name), depth + 1, false);
            line(depth, "</Directory>");
        }
        if (dir.files.empty() && dir.dirs.empty()) {
            const std::string id = component("C");
            line(depth, "<Component Id=\"" + id + "\" Guid=\"" + text(dir.emptyFolderGuid) + "\" Win64=\"yes\">");
            line(depth + 1, "<CreateFolder/>");
            line(depth, "</Component>");
        }
    }

    void fileComponent(const tstring& name, const tstring& source, int depth) {
        line(depth, "<Component Id=\"" + component("C") + "\" Guid=\"*\" Win64=\"yes\">");
        line(depth + 1, "<File Id=\"" + nextId("F") + "\" Name=\"" + text(name) + "\" Source=\"" + path(source) +
                            "\" KeyPath=\"yes\"/>");
        line(depth, "</Component>");
    }

    // The launcher with what starts it: the shortcuts and the file
    // associations, which install and uninstall with it.
    void launcherComponent(int depth) {
        line(depth, "<Component Id=\"" + component("Launcher") + "\" Guid=\"*\" Win64=\"yes\">");
        line(depth + 1, "<File Id=\"LauncherFile\" Name=\"" + text(plan.launcherFile) + "\" Source=\"" +
                            path(plan.launcherSource) + "\" KeyPath=\"yes\"/>");
        shortcut(depth + 1, "StartMenuShortcut", "ProgramMenuFolder");
        if (plan.desktopShortcut) {
            shortcut(depth + 1, "DesktopShortcut", "DesktopFolder");
        }
        for (const FileAssociation& association : plan.associations) {
            associationValues(depth + 1, association);
        }
        line(depth, "</Component>");
    }

    void shortcut(int depth, const std::string& id, const std::string& directory) {
        line(depth, "<Shortcut Id=\"" + id + "\" Directory=\"" + directory + "\" Name=\"" + text(plan.name) +
                        "\" Target=\"" + text(L"[INSTALLDIR]" + formattedLiteral(plan.launcherFile)) +
                        "\" WorkingDirectory=\"INSTALLDIR\" Icon=\"AppIcon.exe\" IconIndex=\"0\"/>");
    }

    void associationValues(int depth, const FileAssociation& association) {
        const tstring progId = plan.name + association.extension;
        const tstring classes = L"Software\\Classes\\";
        const tstring launcher = L"[INSTALLDIR]" + formattedLiteral(plan.launcherFile);
        registryValue(depth, classes + association.extension, formattedLiteral(progId));
        registryValue(depth, classes + progId, formattedLiteral(association.description));
        registryValue(depth, classes + progId + L"\\DefaultIcon", L"\"" + launcher + L"\",0");
        registryValue(depth, classes + progId + L"\\shell\\open\\command", L"\"" + launcher + L"\" \"%1\"");
    }

    void registryValue(int depth, const tstring& key, const tstring& value) {
        line(depth, "<RegistryValue Root=\"" + std::string(plan.perMachine ? "HKLM" : "HKCU") + "\" Key=\"" +
                        text(formattedLiteral(key)) + "\" Type=\"string\" Value=\"" + text(value) + "\"/>");
    }

    std::string component(const std::string& prefix) {
        components.push_back(prefix == "Launcher" ? prefix : nextId(prefix));
        return components.back();
    }

    std::string nextId(const std::string& prefix) { return prefix + std::to_string(++ids); }

    // The text as it stands in the source: itself when it is plain ASCII,
    // else a token that the database gets the text for later.
    std::string text(const tstring& value) {
        if (isAscii(value)) {
            return xmlEscaped(tstrings::toUtf8(value));
        }
        for (const auto& [token, known] : texts) {
            if (known == value) {
                return token;
            }
        }
        texts.emplace_back("KivoText" + std::to_string(texts.size() + 1000) + "X", value);
        return texts.back().first;
    }

    // The summary information keeps one code page of its own, which wixl
    // does not set: beyond ASCII it names the installer generically.
    static std::string summaryText(const tstring& value) {
        return isAscii(value) ? xmlEscaped(tstrings::toUtf8(value)) : "Application installer";
    }

    std::string path(const tstring& value) const {
        return xmlEscaped(tstrings::toUtf8(relativePath(plan.sourceDir, value)));
    }

    void line(int depth, const std::string& content) { xml += std::string(depth * 2, ' ') + content + "\n"; }

    const InstallerPlan& plan;
    std::string xml;
    std::vector<std::pair<std::string, tstring>> texts;
    std::vector<std::string> components;
    int ids = 0;
};

}  // namespace

WixSource buildWixSource(const InstallerPlan& plan) { return SourceWriter(plan).write(); }

std::string guidNamespaceAndName(const tstring& name) {
    return std::string(reinterpret_cast<const char*>(guidNamespace), sizeof guidNamespace) + tstrings::toUtf8(name);
}

tstring guidFromSha1(const std::string& digest) {
    unsigned char bytes[16];
    for (int i = 0; i < 16; ++i) {
        bytes[i] = static_cast<unsigned char>(digest.at(static_cast<std::size_t>(i)));
    }
    bytes[6] = static_cast<unsigned char>((bytes[6] & 0x0F) | 0x50);
    bytes[8] = static_cast<unsigned char>((bytes[8] & 0x3F) | 0x80);
    tstrings::Builder guid;
    guid << L"{";
    for (int i = 0; i < 16; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) {
            guid << L"-";
        }
        guid << tstrings::format(L"%02X", bytes[i]);
    }
    guid << L"}";
    return guid.str();
}

bool isGuid(const tstring& text) {
    const tstring bare = text.size() == 38 && text.front() == L'{' && text.back() == L'}' ? text.substr(1, 36) : text;
    if (bare.size() != 36) {
        return false;
    }
    for (std::size_t i = 0; i < bare.size(); ++i) {
        const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        if (dash ? bare[i] != L'-' : !std::iswxdigit(bare[i])) {
            return false;
        }
    }
    return true;
}

}  // namespace imagetool
