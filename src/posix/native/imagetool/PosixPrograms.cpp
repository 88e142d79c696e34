// The Linux side of package and sign: the programs found on PATH and run
// with both output streams captured and a secret passed through a pipe.
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <memory>
#include <vector>

#include "OwnedFd.h"
#include "PackagingHost.h"
#include "PosixToolError.h"

namespace imagetool {

const wchar_t secretFileArgument[] = L"\x1b<secret file>";

namespace {

bool isExecutableFile(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

std::string findOnPath(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/local/bin:/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= dirs.size()) {
        const std::size_t end = std::min(dirs.find(':', start), dirs.size());
        const std::string dir = end > start ? dirs.substr(start, end - start) : ".";
        const std::string candidate = dir + "/" + name;
        if (isExecutableFile(candidate)) {
            return candidate;
        }
        start = end + 1;
    }
    return std::string();
}

struct Pipe {
    Pipe() {
        int ends[2];
        if (::pipe2(ends, O_CLOEXEC) != 0) {
            failErrno(L"Cannot create a pipe");
        }
        read = OwnedFd(ends[0]);
        write = OwnedFd(ends[1]);
    }
    OwnedFd read;
    OwnedFd write;
};

// The secret waits in a pipe whose reading end the program inherits.
void writeSecret(Pipe& pipe, const std::string& secret) {
    if (secret.size() >= 65536 || ::write(pipe.write.get(), secret.data(), secret.size()) !=
                                      static_cast<ssize_t>(secret.size())) {
        fail(L"Cannot hand the password to the signing program");
    }
    pipe.write.close();
}

[[noreturn]] void execChild(const std::vector<std::string>& argv, int out, int err, int secret) {
    std::signal(SIGPIPE, SIG_DFL);
    const int devNull = ::open("/dev/null", O_RDONLY);
    if (devNull < 0 || ::dup2(devNull, 0) < 0 || ::dup2(out, 1) < 0 || ::dup2(err, 2) < 0) {
        ::_exit(127);
    }
    if (secret >= 0) {
        ::fcntl(secret, F_SETFD, 0);
    }
    std::vector<char*> pointers;
    for (const std::string& arg : argv) {
        pointers.push_back(const_cast<char*>(arg.c_str()));
    }
    pointers.push_back(nullptr);
    ::execv(pointers[0], pointers.data());
    ::_exit(127);
}

// Reads both streams to their end, whichever the program writes first.
void drain(int out, int err, ProgramOutput& result) {
    struct pollfd fds[2] = {{out, POLLIN, 0}, {err, POLLIN, 0}};
    std::string* targets[2] = {&result.out, &result.err};
    int open = 2;
    while (open > 0) {
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            failErrno(L"Cannot read what a program writes");
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) {
                continue;
            }
            char buffer[65536];
            const ssize_t got = ::read(fds[i].fd, buffer, sizeof buffer);
            if (got > 0) {
                targets[i]->append(buffer, static_cast<std::size_t>(got));
            } else if (got == 0 || errno != EINTR) {
                fds[i].fd = -1;
                --open;
            }
        }
    }
}

int waitFor(pid_t child) {
    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) {
            failErrno(L"Cannot wait for a program");
        }
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace

tstring requireProgram(const ExternalProgram& program) {
    const std::string path = findOnPath(tstrings::toUtf8(program.name));
    if (path.empty()) {
        fail(tstring(program.name) + L" is not on PATH; install the Debian package " + program.debianPackage +
             L" (apt-get install " + program.debianPackage + L")");
    }
    return tstrings::fromUtf8(path);
}

ProgramOutput runProgram(const tstring& program, const tstring_array& args, const std::string& secret) {
    Pipe out;
    Pipe err;
    std::unique_ptr<Pipe> secretPipe;
    std::vector<std::string> argv = {tstrings::toUtf8(program)};
    for (const tstring& arg : args) {
        if (arg != secretFileArgument) {
            argv.push_back(tstrings::toUtf8(arg));
            continue;
        }
        if (!secretPipe) {
            secretPipe = std::make_unique<Pipe>();
            writeSecret(*secretPipe, secret);
        }
        argv.push_back("/dev/fd/" + std::to_string(secretPipe->read.get()));
    }
    const pid_t child = ::fork();
    if (child < 0) {
        failErrno(L"Cannot start " + program);
    }
    if (child == 0) {
        execChild(argv, out.write.get(), err.write.get(), secretPipe ? secretPipe->read.get() : -1);
    }
    out.write.close();
    err.write.close();
    secretPipe.reset();
    ProgramOutput result;
    drain(out.read.get(), err.read.get(), result);
    result.exitCode = waitFor(child);
    if (result.exitCode == 127 && result.out.empty() && result.err.empty()) {
        fail(L"Cannot start " + program);
    }
    return result;
}

}  // namespace imagetool
