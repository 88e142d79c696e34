// The image tool's output on Linux: UTF-8, lines ending in LF.
#include <unistd.h>

#include <cerrno>

#include "ToolConsole.h"

namespace imagetool {

namespace {

// Texts shared with Windows may hold CR LF line ends.
void writeTo(int fd, const tstring& text) {
    const std::string bytes = tstrings::toUtf8(tstrings::replace(text, L"\r\n", L"\n"));
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t count = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            return;
        }
        done += static_cast<std::size_t>(count);
    }
}

}  // namespace

void writeOut(const tstring& text) { writeTo(STDOUT_FILENO, text + L"\n"); }

void writeErr(const tstring& text) { writeTo(STDERR_FILENO, text + L"\n"); }

void writeOutPart(const tstring& text) { writeTo(STDOUT_FILENO, text); }

bool outputIsConsole() { return ::isatty(STDOUT_FILENO) == 1; }

}  // namespace imagetool
