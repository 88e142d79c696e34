// Authenticode signatures of launchers and installers, made and verified by
// osslsigncode with a key that is opened, and its password checked, before
// any file is touched.
#include "ImageSign.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "FileUtils.h"
#include "SysInfo.h"
#include "ToolConsole.h"
#include "ToolError.h"
#include "ToolFiles.h"
#include "ToolPaths.h"
#include "TreeCopy.h"

namespace imagetool {

namespace {

const wchar_t* const defaultPasswordVariable = L"KIVO_SIGN_PASSWORD";

// The trusted certificates that a verification starts from, besides the
// key's own chain; Debian's list when it is there.
const wchar_t* const systemCertificates = L"/etc/ssl/certs/ca-certificates.crt";

const std::uint64_t maxPasswordFileSize = 64 * 1024;

std::string withoutLineEnd(std::string line) {
    const std::size_t end = line.find_first_of("\r\n");
    if (end != std::string::npos) {
        line.erase(end);
    }
    return line;
}

std::string readPassword(const SigningOptions& options) {
    if (!options.passwordFile.empty()) {
        const tstring path = userPath(options.passwordFile);
        return withoutLineEnd(readWholeFile(path, L"the password file \"" + path + L"\"", maxPasswordFileSize,
                                            L"The password file \"" + path + L"\" is too large"));
    }
    if (!options.passwordVariable.empty()) {
        try {
            return tstrings::toUtf8(SysInfo::getEnvVariable(options.passwordVariable));
        } catch (const std::exception&) {
            fail(L"The environment variable " + options.passwordVariable + L" that holds the password is not set");
        }
    }
    return tstrings::toUtf8(SysInfo::getEnvVariable(defaultPasswordVariable, tstring()));
}

// What a verification trusts: the key's certificates and the system's.
std::string trustedCertificates(const SigningKey& key) {
    std::string bundle = key.certificatesPem;
    if (isFile(systemCertificates)) {
        bundle += readWholeFile(systemCertificates, systemCertificates, 64 << 20, systemCertificates);
    }
    return bundle;
}

}  // namespace

Signer::Signer(const SigningOptions& options)
    : osslsigncode(requireProgram(external_program::osslsigncode)),
      pkcs12(userPath(options.pkcs12)),
      timestampUrl(options.timestampUrl),
      password(readPassword(options)),
      key(openSigningKey(pkcs12, password)) {}

void Signer::signInto(const tstring& in, const tstring& out, const tstring& shownPath) const {
    failIfInterrupted();
    tstring_array args = {L"sign", L"-pkcs12", pkcs12, L"-readpass", secretFileArgument, L"-h", L"sha256"};
    if (!timestampUrl.empty()) {
        args.insert(args.end(), {L"-ts", timestampUrl});
    }
    args.insert(args.end(), {L"-in", in, L"-out", out});
    const ProgramOutput signing = runProgram(osslsigncode, args, password);
    if (signing.exitCode != 0) {
        removeTree(out);
        fail(L"Cannot sign \"" + shownPath + L"\": osslsigncode says: " + signing.reason());
    }
    ScratchDir trusted(scratchBeside(out, L"trusted.pem"));
    writeWholeFile(trusted.path(), trustedCertificates(key), FileCreation::newFile, trusted.path());
    const ProgramOutput verifying =
        runProgram(osslsigncode, {L"verify", L"-CAfile", trusted.path(), L"-TSA-CAfile", trusted.path(), L"-in", out});
    if (verifying.exitCode != 0) {
        removeTree(out);
        fail(L"The new signature of \"" + shownPath + L"\" does not verify: osslsigncode says: " + verifying.reason());
    }
}

void Signer::signInPlace(const tstring& path) const {
    ScratchDir signedCopy(scratchBeside(path, L"signed"));
    removeTree(signedCopy.path());
    signInto(path, signedCopy.path(), path);
    replaceFileWith(signedCopy.path(), path, L"Cannot replace \"" + path + L"\" with its signed copy");
    signedCopy.keep();
}

tstring Signer::summary() const {
    return L"as \"" + key.signerName + L"\" (SHA-256" +
           (timestampUrl.empty() ? tstring() : L", timestamped by " + timestampUrl) + L")";
}

int signFiles(const SignCommand& command) {
    const Signer signer(command.signing);
    tstring_array paths;
    for (const tstring& file : command.files) {
        const tstring path = userPath(file);
        if (!isFile(path)) {
            fail(L"The file to sign \"" + path + L"\" does not exist");
        }
        if (std::find(paths.begin(), paths.end(), path) != paths.end()) {
            failUsage(L"The file \"" + path + L"\" is named twice");
        }
        paths.push_back(path);
    }
    stopOnInterrupt();
    std::vector<std::unique_ptr<ScratchDir>> signedCopies;
    for (const tstring& path : paths) {
        signedCopies.push_back(std::make_unique<ScratchDir>(scratchBeside(path, L"signed")));
        removeTree(signedCopies.back()->path());
        signer.signInto(path, signedCopies.back()->path(), path);
    }
    failIfInterrupted();
    for (std::size_t i = 0; i < paths.size(); ++i) {
        replaceFileWith(signedCopies[i]->path(), paths[i], L"Cannot replace \"" + paths[i] + L"\" with its signed copy");
        signedCopies[i]->keep();
        writeOut(L"Signed \"" + paths[i] + L"\" " + signer.summary());
    }
    return exitOk;
}

}  // namespace imagetool
