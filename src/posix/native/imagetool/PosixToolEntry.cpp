// The process entry of the Linux kivo-image. The arguments come from argv,
// which needs no /proc (a chroot or a container may have none).
#include <signal.h>

#include "ImageToolMain.h"

int main(int argc, char* argv[]) {
    // Output into a closed pipe is dropped rather than ending the process.
    ::signal(SIGPIPE, SIG_IGN);
    tstring_array args;
    for (int i = 1; i < argc; ++i) {
        args.push_back(tstrings::fromUtf8(argv[i]));
    }
    return imagetool::imageToolMain(args);
}
