// Kivo-image's work between the platform's entry point and its exit: runs
// one command and turns every failure into one line on standard error and
// an exit code.
#include <exception>

#include "ImageCheck.h"
#include "ImageCreate.h"
#include "ImagePackage.h"
#include "ImageSign.h"
#include "ImageToolMain.h"
#include "KivoVersion.h"
#include "Log.h"
#include "ToolCommandLine.h"
#include "ToolConsole.h"
#include "ToolError.h"

namespace imagetool {

namespace {

int runCommand(const ToolCommand& command) {
    switch (command.command) {
        case Command::check:
            return checkImage(command.check);
        case Command::help:
            writeOut(helpText(command.helpTopic));
            return exitOk;
        case Command::version:
            writeOut(L"kivo-image " KIVO_VERSION_WIDE);
            return exitOk;
        case Command::create:
            return createImage(command.create);
        case Command::brand:
            return brandExistingLauncher(command.brand);
        case Command::sign:
            return signFiles(command.sign);
        case Command::package:
            return packageImage(command.package);
    }
    return exitFailed;
}

}  // namespace

int imageToolMain(const tstring_array& args) {
    // The launcher's code that the tool reuses traces; none of it is shown.
    NopLogAppender quiet;
    LogDispatcher::instance().installAppender(quiet);
    try {
        return runCommand(parseCommandLine(args));
    } catch (const ToolError& error) {
        writeErr(L"kivo-image: " + error.message());
        return error.exitCode();
    } catch (const std::exception& error) {
        writeErr(L"kivo-image: " + tstrings::fromUtf8(error.what()));
        return exitFailed;
    }
}

}  // namespace imagetool
