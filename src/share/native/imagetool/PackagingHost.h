// What "package" and "sign" need from the system they run on: the Linux
// programs they drive (wixl, msitools, osslsigncode), the signing key, code
// pages. The Linux build has all of it; the Windows build
// refuses in one line, since those programs are Linux's.
#pragma once

#include <cstdint>
#include <string>

#include "tstrings.h"

namespace imagetool {

struct ExternalProgram {
    const wchar_t* name;           // as found on PATH, such as "wixl"
    const wchar_t* debianPackage;  // the package that brings it
    const wchar_t* madeWithIt;     // what it makes, such as "Installers"
};

namespace external_program {
const ExternalProgram wixl = {L"wixl", L"wixl", L"Installers"};
const ExternalProgram msibuild = {L"msibuild", L"msitools", L"Installers"};
const ExternalProgram msiinfo = {L"msiinfo", L"msitools", L"Installers"};
const ExternalProgram osslsigncode = {L"osslsigncode", L"osslsigncode", L"Signatures"};
}  // namespace external_program

// The program's path on PATH. Fails with one line that names the package
// to install, or on Windows with one line saying that the Linux build of
// kivo-image makes what the program makes.
tstring requireProgram(const ExternalProgram& program);

struct ProgramOutput {
    int exitCode = 0;
    std::string out;
    std::string err;

    // The first line of what the program said on standard error, else on
    // standard output: the one that tells why it failed.
    tstring reason() const;
};

// An argument that runProgram replaces with the name of a file from which
// the program reads `secret`, which never appears on a command line.
extern const wchar_t secretFileArgument[];

// Runs `program` with `args` and no standard input, and waits for it.
ProgramOutput runProgram(const tstring& program, const tstring_array& args, const std::string& secret = {});

struct SigningKey {
    // The common name of the certificate that signs.
    tstring signerName;
    // The certificates of the file, PEM, for verifying what was signed.
    std::string certificatesPem;
};

// Opens a PKCS#12 file with `password`. Fails with one line for a file that
// cannot be read, is no PKCS#12 file, holds no key and certificate, or does
// not open with the password; the password is never shown.
SigningKey openSigningKey(const tstring& pkcs12Path, const std::string& password);

// True when every character of `text` has a code in the Windows code page.
bool codePageHolds(unsigned codePage, const tstring& text);

}  // namespace imagetool
