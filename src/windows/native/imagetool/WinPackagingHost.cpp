// Installers and signatures come from Linux programs (wixl, msitools,
// osslsigncode), so the Windows build of kivo-image sends the user to its
// Linux build in one line before doing anything.
#include "PackagingHost.h"
#include "ToolError.h"

namespace imagetool {

const wchar_t secretFileArgument[] = L"\x1b<secret file>";

namespace {

[[noreturn]] void referToLinuxBuild(const ExternalProgram& program) {
    fail(tstring(program.madeWithIt) + L" are made by the Linux build of kivo-image, which runs " + program.name +
         L"; run the same command there");
}

}  // namespace

tstring requireProgram(const ExternalProgram& program) { referToLinuxBuild(program); }

ProgramOutput runProgram(const tstring& program, const tstring_array&, const std::string&) {
    fail(L"Cannot run " + program + L" from the Windows build of kivo-image");
}

SigningKey openSigningKey(const tstring&, const std::string&) { referToLinuxBuild(external_program::osslsigncode); }

bool codePageHolds(unsigned, const tstring&) { referToLinuxBuild(external_program::wixl); }

}  // namespace imagetool
