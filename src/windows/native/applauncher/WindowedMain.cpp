// The process entry of the windowed launcher: the same launch as the console
// launcher's, with its errors shown in a message box.
#include "WinLauncher.h"
#include "WindowedReporting.h"
#include "app.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, wchar_t*, int) {
    attachParentConsoleForTrace();
    static ErrorDialogAppender errorDialog;
    return app::launch(std::nothrow, WinLauncher::launchApp, &errorDialog);
}
