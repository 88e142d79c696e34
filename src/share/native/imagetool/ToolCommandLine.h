// The image tool's command line: the commands, their options and the help
// texts.
#pragma once

#include <optional>

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
};

struct BrandCommand {
    tstring launcher;
    BrandOptions brand;
};

enum class Command { help, version, check, create, brand };

struct ToolCommand {
    Command command = Command::help;
    // For help: the command whose help is asked for, or empty.
    tstring helpTopic;
    CheckOptions check;
    CreateOptions create;
    BrandCommand brand;
};

// Parses the arguments after the program name. Fails with exit code 2 and
// a one-line message naming the problem.
ToolCommand parseCommandLine(const tstring_array& args);

// The help text: the overview for an empty topic, else the command's.
tstring helpText(const tstring& topic);

}  // namespace imagetool
