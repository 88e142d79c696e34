// The image tool's command line: the commands, their options and the help
// texts.
#pragma once

#include <optional>
#include <vector>

#include "ImageCheck.h"
#include "NameRules.h"
#include "tstrings.h"

namespace imagetool {

// What "brand" writes into a launcher copy; empty texts are left out.
struct BrandOptions {
    tstring icon;
    std::optional<FileVersion> version;
    tstring productName;
    tstring company;
    tstring description;
    tstring copyright;

    bool any() const;
};

// The key that signs, and where its password comes from: a file, an
// environment variable, or KIVO_SIGN_PASSWORD when neither is named.
struct SigningOptions {
    tstring pkcs12;
    tstring passwordFile;
    tstring passwordVariable;
    tstring timestampUrl;

    bool any() const { return !pkcs12.empty(); }
};

struct CreateOptions {
    tstring name;
    tstring config;
    tstring input;
    tstring runtime;
    tstring dest;
    tstring package;
    bool windowed = false;
    bool replace = false;
    BrandOptions brand;
    SigningOptions signing;
};

struct BrandCommand {
    tstring launcher;
    BrandOptions brand;
};

struct SignCommand {
    tstring_array files;
    SigningOptions signing;
};

// An extension the installed application opens, such as ".demo".
struct FileAssociation {
    tstring extension;
    tstring description;
};

struct PackageOptions {
    tstring image;
    tstring msi;
    bool perMachine = false;
    bool desktopShortcut = false;
    tstring upgradeCode;
    // Empty texts are taken from the launcher's version resource.
    tstring version;
    tstring productName;
    tstring publisher;
    std::vector<FileAssociation> associations;
    SigningOptions signing;
};

enum class Command { help, version, check, create, brand, sign, package };

struct ToolCommand {
    Command command = Command::help;
    // For help: the command whose help is asked for, or empty.
    tstring helpTopic;
    CheckOptions check;
    CreateOptions create;
    BrandCommand brand;
    SignCommand sign;
    PackageOptions package;
};

// Parses the arguments after the program name. Fails with exit code 2 and
// a one-line message naming the problem.
ToolCommand parseCommandLine(const tstring_array& args);

// The help text: the overview for an empty topic, else the command's.
tstring helpText(const tstring& topic);

}  // namespace imagetool
