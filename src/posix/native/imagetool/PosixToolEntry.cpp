// The process entry of the Linux kivo-image.
#include <signal.h>

#include "ImageToolMain.h"
#include "SysInfo.h"

int main() {
    // Output into a closed pipe is dropped rather than ending the process.
    ::signal(SIGPIPE, SIG_IGN);
    return imagetool::imageToolMain(SysInfo::getCommandArgs());
}
