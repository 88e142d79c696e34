// The process entry of the console launcher.
#include "WinLauncher.h"
#include "app.h"

int wmain(int, wchar_t*[]) {
    return app::launch(std::nothrow, WinLauncher::launchApp, nullptr);
}
