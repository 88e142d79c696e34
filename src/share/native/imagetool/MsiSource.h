// The WiX source of an application image's installer, as wixl reads it.
// Text beyond ASCII stands in the source as placeholder tokens, which the
// installer database gets back in its own code page once wixl has built it.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "ToolCommandLine.h"
#include "tstrings.h"

namespace imagetool {

// A directory of the image: its name (empty for the root), its files and
// the directories below it, each sorted.
struct InstallerDir {
    tstring name;
    tstring_array files;
    std::vector<InstallerDir> dirs;
    // The component GUID of an empty directory, which has no file that
    // wixl could derive one from.
    tstring emptyFolderGuid;
};

struct InstallerPlan {
    // The launcher's name without ".exe": the installation folder's and the
    // shortcuts' name.
    tstring name;
    tstring launcherFile;
    // Where wixl takes the image's files from, and the launcher (which may
    // be a signed copy); absolute paths. wixl reads them relative to the
    // source's own directory, `sourceDir`.
    tstring sourceRoot;
    tstring launcherSource;
    tstring sourceDir;
    tstring productName;
    tstring publisher;
    tstring version;      // "a.b.c"
    tstring upgradeCode;  // "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}"
    bool perMachine = false;
    bool desktopShortcut = false;
    std::vector<FileAssociation> associations;
    InstallerDir image;
};

struct WixSource {
    std::string xml;
    // Each placeholder token and the text it stands for.
    std::vector<std::pair<std::string, tstring>> texts;
};

WixSource buildWixSource(const InstallerPlan& plan);

// A version 5 (name-based) UUID of `name` in the image tool's own
// namespace: the bytes to digest with SHA-1, the namespace's 16 bytes and
// the name's UTF-8 bytes, and the GUID that the digest gives, in upper
// case with braces.
std::string guidNamespaceAndName(const tstring& name);
tstring guidFromSha1(const std::string& digest);

// Nothing when `text` is a GUID with or without braces; else why not.
bool isGuid(const tstring& text);

}  // namespace imagetool
