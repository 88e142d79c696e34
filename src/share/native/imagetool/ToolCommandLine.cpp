// The image tool's command line: the commands, their options and the help
// texts.
#include "ToolCommandLine.h"

#include <map>
#include <set>
#include <utility>

#include "ToolError.h"

namespace imagetool {

namespace {

const wchar_t* const brandingOptionsHelp =
    L"  --icon <file.ico>        the launcher's icon, with every size the file holds\r\n"
    L"  --version <a.b.c.d>      file and product version, four numbers each at most 65535\r\n"
    L"  --product-name <text>    product name (default: the launcher's name)\r\n"
    L"  --company <text>         company name\r\n"
    L"  --description <text>     file description (default: the product name)\r\n"
    L"  --copyright <text>       copyright notice\r\n";

const wchar_t* const signingOptionsHelp =
    L"  --pkcs12 <key.p12>       the code-signing key and its certificates\r\n"
    L"  --password-file <file>   the key's password is the file's first line\r\n"
    L"  --password-env <NAME>    the key's password is the variable's value\r\n"
    L"                           (neither: KIVO_SIGN_PASSWORD if set, else no password)\r\n"
    L"  --timestamp <url>        an RFC 3161 timestamp server, so the signature outlives the certificate\r\n";

const wchar_t* const overviewStart =
    L"kivo-image: makes, brands, checks, signs and packages application images for the kivo launcher.\r\n"
    L"\r\n"
    L"Usage:\r\n"
    L"  kivo-image create --name <Name> --config <file.cfg> --input <app files dir> --runtime <runtime dir>\r\n"
    L"                    --dest <image dir> [--package <name>] [--windowed] [--replace] [branding options]\r\n"
    L"  kivo-image brand  <launcher.exe> [branding options]\r\n"
    L"  kivo-image check  <image dir | launcher.exe> [-- <application arguments>...]\r\n"
    L"  kivo-image sign   <file.exe | file.msi>... --pkcs12 <key.p12> [signing options]\r\n"
    L"  kivo-image package <image dir> --msi <file.msi> [package options] [signing options]\r\n"
    L"  kivo-image help   [create | brand | check | sign | package]\r\n"
    L"  kivo-image --version\r\n"
    L"\r\n"
    L"Branding options:\r\n";

const wchar_t* const overviewSigningTitle =
    L"\r\n"
    L"Signing options (create, sign, package; the Linux build runs osslsigncode):\r\n";

const wchar_t* const overviewEnd =
    L"\r\n"
    L"Package options: see \"kivo-image help package\".\r\n"
    L"\r\n"
    L"Exit codes: 0 success (check: the image would launch), 1 failure (check: it would not),\r\n"
    L"2 usage error. Under Wine, paths starting with / are Unix paths (drive Z:).";

const wchar_t* const createHelp =
    L"kivo-image create: lays out a new application image and checks it.\r\n"
    L"\r\n"
    L"  --name <Name>        the application's name: the image gets <Name>.exe and app\\<Name>.cfg\r\n"
    L"  --config <file.cfg>  the launcher configuration to install (uses $APPDIR, $ROOTDIR, $BINDIR)\r\n"
    L"  --input <dir>        the application files (jars, libraries, resources), copied to app\\\r\n"
    L"  --runtime <dir>      the runtime, copied to runtime\\ (only checked when the configuration\r\n"
    L"                       sets app.runtime)\r\n"
    L"  --dest <dir>         the image directory to create; it must not exist or be empty\r\n"
    L"  --package <name>     writes app\\.package with the package name\r\n"
    L"  --windowed           uses the windowed launcher kivow.exe instead of kivo.exe\r\n"
    L"  --replace            replaces an existing image at --dest\r\n"
    L"  plus the branding options of \"kivo-image help brand\" and the signing options of\r\n"
    L"  \"kivo-image help sign\", which sign the launcher after branding it.\r\n"
    L"\r\n"
    L"The image is built in a temporary directory beside --dest and moved into place only when\r\n"
    L"everything succeeded; a failure leaves --dest as it was.";

const wchar_t* const brandStart =
    L"kivo-image brand <launcher.exe>: replaces the icon and writes the version resource.\r\n"
    L"\r\n";

const wchar_t* const brandEnd =
    L"\r\n"
    L"The texts need --version. The manifest stays as built. Sign the launcher after branding it.";

const wchar_t* const checkHelp =
    L"kivo-image check <image dir | launcher.exe> [-- <arguments>...]: reports what the launcher\r\n"
    L"would see, in the order it would see it, and whether the image would launch.\r\n"
    L"\r\n"
    L"Arguments after -- are taken as the launcher's command-line arguments, which replace the\r\n"
    L"configured application arguments. Exit code 0: the image would launch; 1: it would not.";

const wchar_t* const signStart =
    L"kivo-image sign <file>...: signs launchers and installers (SHA-256 Authenticode) with osslsigncode\r\n"
    L"and verifies each signature; a file changes only when every file was signed and verified.\r\n"
    L"\r\n";

const wchar_t* const signEnd =
    L"\r\n"
    L"Passwords are never taken from the command line. Brand before signing: a launcher changed\r\n"
    L"after signing is rejected by Windows.";

const wchar_t* const packageHelp =
    L"kivo-image package <image dir> --msi <file.msi>: makes a Windows Installer package of the image\r\n"
    L"with wixl (Linux build only). It installs per user, without elevation, into\r\n"
    L"%LOCALAPPDATA%\\Programs\\<Name>, with a Start-menu shortcut and an entry in Installed apps.\r\n"
    L"\r\n"
    L"  --msi <file.msi>           the installer to write (replaced if it exists)\r\n"
    L"  --per-machine              installs for all users under Program Files (needs elevation)\r\n"
    L"  --desktop-shortcut         adds a desktop shortcut\r\n"
    L"  --associate <.ext=text>    opens files of the extension with the application; repeatable\r\n"
    L"  --upgrade-code <GUID>      the code that ties the versions together (default: derived from\r\n"
    L"                             the package name in app\\.package, else the launcher's name)\r\n"
    L"  --version <a.b.c>          default: the launcher's file version\r\n"
    L"  --product-name <text>      default: the launcher's product name\r\n"
    L"  --publisher <text>         default: the launcher's company name\r\n"
    L"  plus the signing options of \"kivo-image help sign\": the launcher is signed before it goes\r\n"
    L"  into the installer, and the installer after it is built.\r\n"
    L"\r\n"
    L"A newer version replaces an older one; an older one over a newer one is refused. The image must\r\n"
    L"pass \"kivo-image check\".";

const std::set<tstring> signingValueOptions = {L"--pkcs12", L"--password-file", L"--password-env",
                                                L"--timestamp"};

const std::set<tstring> packageValueOptions = {L"--msi", L"--upgrade-code", L"--version", L"--product-name",
                                                L"--publisher", L"--associate"};

const std::set<tstring> packageFlags = {L"--per-machine", L"--desktop-shortcut"};

// Options that may be given more than once.
const std::set<tstring> repeatableOptions = {L"--associate"};

const std::set<tstring> brandValueOptions = {L"--icon",    L"--version",     L"--product-name",
                                              L"--company", L"--description", L"--copyright"};

const std::set<tstring> createValueOptions = {L"--name", L"--config", L"--input",
                                               L"--runtime", L"--dest", L"--package"};

// Far below what the version resource's 16-bit lengths can hold.
const std::size_t maxVersionTextLength = 1024;

const std::set<tstring> createFlags = {L"--windowed", L"--replace"};

// Options and positional arguments of one command, checked against what
// the command accepts.
struct ParsedArgs {
    std::map<tstring, tstring> values;
    std::map<tstring, tstring_array> repeated;
    std::set<tstring> flags;
    tstring_array positional;
    tstring_array afterDashes;

    tstring value(const tstring& name) const {
        const auto found = values.find(name);
        return found == values.end() ? tstring() : found->second;
    }
};

ParsedArgs parseArgs(const tstring& command, const tstring_array& args, const std::set<tstring>& valueOptions,
                     const std::set<tstring>& flagOptions) {
    ParsedArgs parsed;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const tstring& arg = args[i];
        if (arg == L"--") {
            parsed.afterDashes.assign(args.begin() + static_cast<std::ptrdiff_t>(i) + 1, args.end());
            break;
        }
        if (!tstrings::startsWith(arg, L"--")) {
            parsed.positional.push_back(arg);
            continue;
        }
        const std::size_t equals = arg.find(L'=');
        const tstring name = arg.substr(0, equals);
        if (flagOptions.count(name) && equals == tstring::npos) {
            parsed.flags.insert(name);
            continue;
        }
        if (!valueOptions.count(name)) {
            failUsage(L"Unknown option \"" + name + L"\" for " + command + L"; see \"kivo-image help " + command +
                      L"\"");
        }
        if (parsed.values.count(name) && !repeatableOptions.count(name)) {
            failUsage(L"The option " + name + L" is given twice");
        }
        if (equals != tstring::npos) {
            parsed.values[name] = arg.substr(equals + 1);
        } else if (i + 1 < args.size()) {
            parsed.values[name] = args[++i];
        } else {
            failUsage(L"The option " + name + L" needs a value");
        }
        parsed.repeated[name].push_back(parsed.values[name]);
    }
    return parsed;
}

std::set<tstring> merged(std::set<tstring> a, const std::set<tstring>& b) {
    a.insert(b.begin(), b.end());
    return a;
}

// Sets each member of `target` to the value of the option named beside it.
template <class Target>
void takeValues(const ParsedArgs& parsed, Target& target,
                std::initializer_list<std::pair<const wchar_t*, tstring Target::*>> options) {
    for (const auto& [name, member] : options) {
        target.*member = parsed.value(name);
    }
}

BrandOptions brandOptions(const ParsedArgs& parsed) {
    BrandOptions brand;
    takeValues(parsed, brand,
               {{L"--icon", &BrandOptions::icon}, {L"--product-name", &BrandOptions::productName},
                {L"--company", &BrandOptions::company}, {L"--description", &BrandOptions::description},
                {L"--copyright", &BrandOptions::copyright}});
    if (parsed.values.count(L"--version")) {
        brand.version = FileVersion::parse(parsed.value(L"--version"));
        if (!brand.version) {
            failUsage(L"The version \"" + parsed.value(L"--version") +
                      L"\" is not four numbers each at most 65535, such as 1.2.3.4");
        }
    }
    for (const tstring* text : {&brand.productName, &brand.company, &brand.description, &brand.copyright}) {
        if (text->size() > maxVersionTextLength) {
            failUsage(tstrings::Builder() << L"A version text is longer than " << maxVersionTextLength << L" characters");
        }
    }
    const bool texts = !brand.productName.empty() || !brand.company.empty() || !brand.description.empty() ||
                       !brand.copyright.empty();
    if (texts && !brand.version) {
        failUsage(L"The version texts need --version");
    }
    return brand;
}

void requireValues(const tstring& command, const ParsedArgs& parsed, std::initializer_list<const wchar_t*> names) {
    for (const wchar_t* name : names) {
        if (parsed.value(name).empty()) {
            failUsage(command + L" needs " + name + L"; see \"kivo-image help " + command + L"\"");
        }
    }
}

SigningOptions signingOptions(const ParsedArgs& parsed) {
    SigningOptions signing;
    takeValues(parsed, signing,
               {{L"--pkcs12", &SigningOptions::pkcs12}, {L"--password-file", &SigningOptions::passwordFile},
                {L"--password-env", &SigningOptions::passwordVariable},
                {L"--timestamp", &SigningOptions::timestampUrl}});
    if (!signing.passwordFile.empty() && !signing.passwordVariable.empty()) {
        failUsage(L"Give the password with --password-file or with --password-env, not both");
    }
    const bool keyOptions =
        !signing.passwordFile.empty() || !signing.passwordVariable.empty() || !signing.timestampUrl.empty();
    if (keyOptions && signing.pkcs12.empty()) {
        failUsage(L"The signing options need --pkcs12");
    }
    if (!signing.timestampUrl.empty() && !tstrings::startsWith(signing.timestampUrl, L"http://") &&
        !tstrings::startsWith(signing.timestampUrl, L"https://")) {
        failUsage(L"The timestamp server \"" + signing.timestampUrl + L"\" is not an http:// or https:// address");
    }
    return signing;
}

void requireNoPositional(const tstring& command, const ParsedArgs& parsed) {
    if (!parsed.positional.empty()) {
        failUsage(L"Unexpected argument \"" + parsed.positional[0] + L"\" for " + command);
    }
}

bool isHelpFlag(const tstring& arg) { return arg == L"--help" || arg == L"-h" || arg == L"/?"; }

CheckOptions parseCheck(const tstring_array& args) {
    const ParsedArgs parsed = parseArgs(L"check", args, {}, {});
    if (parsed.positional.size() != 1) {
        failUsage(L"check needs one image directory or launcher; see \"kivo-image help check\"");
    }
    CheckOptions check;
    check.image = parsed.positional[0];
    check.appArgs = parsed.afterDashes;
    return check;
}

BrandCommand parseBrand(const tstring_array& args) {
    const ParsedArgs parsed = parseArgs(L"brand", args, brandValueOptions, {});
    if (parsed.positional.size() != 1) {
        failUsage(L"brand needs one launcher executable; see \"kivo-image help brand\"");
    }
    BrandCommand brand;
    brand.launcher = parsed.positional[0];
    brand.brand = brandOptions(parsed);
    if (!brand.brand.any()) {
        failUsage(L"brand needs --icon or --version; see \"kivo-image help brand\"");
    }
    return brand;
}

CreateOptions parseCreate(const tstring_array& args) {
    const ParsedArgs parsed = parseArgs(L"create", args,
                                        merged(merged(createValueOptions, brandValueOptions), signingValueOptions),
                                        createFlags);
    requireNoPositional(L"create", parsed);
    requireValues(L"create", parsed, {L"--name", L"--config", L"--input", L"--dest"});
    CreateOptions create;
    takeValues(parsed, create,
               {{L"--name", &CreateOptions::name}, {L"--config", &CreateOptions::config},
                {L"--input", &CreateOptions::input}, {L"--runtime", &CreateOptions::runtime},
                {L"--dest", &CreateOptions::dest}, {L"--package", &CreateOptions::package}});
    create.windowed = parsed.flags.count(L"--windowed") > 0;
    create.replace = parsed.flags.count(L"--replace") > 0;
    create.brand = brandOptions(parsed);
    create.signing = signingOptions(parsed);
    if (const auto problem = fileNameProblem(create.name)) {
        failUsage(L"The name \"" + create.name + L"\" cannot be a Windows file name: " + *problem);
    }
    return create;
}

SignCommand parseSign(const tstring_array& args) {
    const ParsedArgs parsed = parseArgs(L"sign", args, signingValueOptions, {});
    if (parsed.positional.empty()) {
        failUsage(L"sign needs the files to sign; see \"kivo-image help sign\"");
    }
    requireValues(L"sign", parsed, {L"--pkcs12"});
    return {parsed.positional, signingOptions(parsed)};
}

FileAssociation parseAssociation(const tstring& text) {
    const std::size_t equals = text.find(L'=');
    FileAssociation association{text.substr(0, equals), equals == tstring::npos ? tstring() : text.substr(equals + 1)};
    const tstring& extension = association.extension;
    const bool plain = extension.size() > 1 && extension.size() <= 32 && extension[0] == L'.' &&
                       extension.find_first_of(L"./\\:*?\"<>| ", 1) == tstring::npos;
    if (!plain || association.description.empty()) {
        failUsage(L"The association \"" + text + L"\" is not an extension and a description, such as \".demo=Demo document\"");
    }
    return association;
}

PackageOptions parsePackage(const tstring_array& args) {
    const ParsedArgs parsed =
        parseArgs(L"package", args, merged(packageValueOptions, signingValueOptions), packageFlags);
    if (parsed.positional.size() != 1) {
        failUsage(L"package needs one image directory; see \"kivo-image help package\"");
    }
    requireValues(L"package", parsed, {L"--msi"});
    PackageOptions package;
    package.image = parsed.positional[0];
    takeValues(parsed, package,
               {{L"--msi", &PackageOptions::msi}, {L"--upgrade-code", &PackageOptions::upgradeCode},
                {L"--version", &PackageOptions::version}, {L"--product-name", &PackageOptions::productName},
                {L"--publisher", &PackageOptions::publisher}});
    package.perMachine = parsed.flags.count(L"--per-machine") > 0;
    package.desktopShortcut = parsed.flags.count(L"--desktop-shortcut") > 0;
    const auto associations = parsed.repeated.find(L"--associate");
    if (associations != parsed.repeated.end()) {
        for (const tstring& text : associations->second) {
            package.associations.push_back(parseAssociation(text));
        }
    }
    package.signing = signingOptions(parsed);
    return package;
}

}  // namespace

bool BrandOptions::any() const { return !icon.empty() || version.has_value(); }

ToolCommand parseCommandLine(const tstring_array& args) {
    ToolCommand result;
    if (args.empty()) {
        failUsage(L"No command given; see \"kivo-image --help\"");
    }
    const tstring& command = args[0];
    if (command == L"--version" && args.size() == 1) {
        result.command = Command::version;
    } else if (isHelpFlag(command) || command == L"help") {
        result.command = Command::help;
        result.helpTopic = command == L"help" && args.size() > 1 ? args[1] : tstring();
    } else if (args.size() > 1 && isHelpFlag(args[1])) {
        result.command = Command::help;
        result.helpTopic = command;
    } else if (command == L"check") {
        result.command = Command::check;
        result.check = parseCheck(args);
    } else if (command == L"brand") {
        result.command = Command::brand;
        result.brand = parseBrand(args);
    } else if (command == L"create") {
        result.command = Command::create;
        result.create = parseCreate(args);
    } else if (command == L"sign") {
        result.command = Command::sign;
        result.sign = parseSign(args);
    } else if (command == L"package") {
        result.command = Command::package;
        result.package = parsePackage(args);
    } else {
        failUsage(L"Unknown command \"" + command + L"\"; see \"kivo-image --help\"");
    }
    if (result.command == Command::help) {
        helpText(result.helpTopic);
    }
    return result;
}

tstring helpText(const tstring& topic) {
    if (topic.empty()) {
        return tstring(overviewStart) + brandingOptionsHelp + overviewSigningTitle + signingOptionsHelp + overviewEnd;
    }
    if (topic == L"create") {
        return createHelp;
    }
    if (topic == L"brand") {
        return tstring(brandStart) + brandingOptionsHelp + brandEnd;
    }
    if (topic == L"check") {
        return checkHelp;
    }
    if (topic == L"sign") {
        return tstring(signStart) + signingOptionsHelp + signEnd;
    }
    if (topic == L"package") {
        return packageHelp;
    }
    failUsage(L"No help on \"" + topic + L"\"; the commands are create, brand, check, sign and package");
}

}  // namespace imagetool
