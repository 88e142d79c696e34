// The windowed launcher's error box, standard error and console attachment.
#include "WindowedReporting.h"

#include <windows.h>

#include <cstdio>

#include "FileUtils.h"
#include "SysInfo.h"
#include "app.h"

namespace {

tstring launcherName() {
    try {
        return FileUtils::withoutExtension(FileUtils::fileName(SysInfo::getExecutablePath()));
    } catch (...) {
        return L"Error";
    }
}

bool hasStandardError() {
    const HANDLE handle = ::GetStdHandle(STD_ERROR_HANDLE);
    return handle && handle != INVALID_HANDLE_VALUE && ::GetFileType(handle) != FILE_TYPE_UNKNOWN;
}

// Shows `text` (UTF-8) in a modal error box with an OK button until the
// user closes it.
void showErrorDialog(const std::string& text, const tstring& title) {
    const tstring wideText = tstrings::fromUtf8(text);
    // Without an interactive desktop the box fails at once (0 on Windows,
    // -1 under Wine); the line on standard error is then all there is.
    ::MessageBoxW(nullptr, wideText.c_str(), title.c_str(), MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
}

}  // namespace

void attachParentConsoleForTrace() {
    bool debug = false;
    try {
        debug = app::isDebugEnabled();
    } catch (...) {
    }
    if (!debug || hasStandardError() || !::AttachConsole(ATTACH_PARENT_PROCESS)) {
        return;
    }
    // The C runtime set up its streams before the console was there.
    if (std::FILE* reopened = ::_wfreopen(L"CONOUT$", L"w", stderr)) {
        std::setvbuf(reopened, nullptr, _IONBF, 0);
    }
}

void ErrorDialogAppender::write(const LogRecord&) {
    // A write comes from the launch wrapper's error handler: nothing may
    // escape it.
    try {
        const std::string text = app::lastErrorText();
        // Without a standard error (or a parent's console) this goes nowhere.
        writeLine(stderr, text);
        if (!shown) {
            shown = true;
            showErrorDialog(text, launcherName());
        }
    } catch (...) {
    }
}
