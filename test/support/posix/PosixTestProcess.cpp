// Child processes of the tests on POSIX systems: posix_spawn with a changed
// copy of the environment, and both output pipes read through poll to their
// end or a deadline. Paths may use a backslash as a separator, as the
// launcher's own path code reads them.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "TestProcess.h"

extern char** environ;

namespace testing_support {

namespace {

[[noreturn]] void fail(const char* call, const std::string& subject, int error) {
    throw std::runtime_error(std::string(call) + "(" + subject + ") failed: " + std::strerror(error));
}

std::string systemPath(const tstring& path) { return tstrings::toUtf8(tstrings::replace(path, L"\\", L"/")); }

class OwnedFd {
public:
    OwnedFd() = default;
    explicit OwnedFd(int fd) : fd(fd) {}
    ~OwnedFd() { reset(); }
    OwnedFd(OwnedFd&& other) noexcept : fd(other.fd) { other.fd = -1; }
    OwnedFd& operator=(OwnedFd&& other) noexcept {
        if (this != &other) {
            reset();
            fd = other.fd;
            other.fd = -1;
        }
        return *this;
    }
    OwnedFd(const OwnedFd&) = delete;
    OwnedFd& operator=(const OwnedFd&) = delete;

    int get() const { return fd; }
    explicit operator bool() const { return fd >= 0; }
    void reset() {
        if (fd >= 0) {
            ::close(fd);
            fd = -1;
        }
    }

private:
    int fd = -1;
};

// Both ends close on exec, so that no other child started meanwhile keeps
// a copy; the child gets the write end as one of its standard streams.
struct Pipe {
    OwnedFd readEnd;
    OwnedFd writeEnd;
};

Pipe makePipe() {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) {
        fail("pipe2", "", errno);
    }
    return {OwnedFd(ends[0]), OwnedFd(ends[1])};
}

// Strings with the array of pointers to them that exec takes, ended by a
// null pointer.
class CStringArray {
public:
    explicit CStringArray(std::vector<std::string> items) : strings(std::move(items)) {
        for (std::string& text : strings) {
            pointers.push_back(text.data());
        }
        pointers.push_back(nullptr);
    }
    CStringArray(const CStringArray&) = delete;
    CStringArray& operator=(const CStringArray&) = delete;

    char* const* get() const { return pointers.data(); }

private:
    std::vector<std::string> strings;
    std::vector<char*> pointers;
};

std::map<std::string, std::string> currentEnvironment() {
    std::map<std::string, std::string> env;
    for (char** entry = environ; *entry; ++entry) {
        const std::string text(*entry);
        const std::size_t eq = text.find('=');
        if (eq != std::string::npos) {
            env[text.substr(0, eq)] = text.substr(eq + 1);
        }
    }
    return env;
}

std::vector<std::string> childEnvironment(const std::map<tstring, std::optional<tstring>>& changes) {
    std::map<std::string, std::string> env = currentEnvironment();
    for (const auto& [name, value] : changes) {
        if (value) {
            env[tstrings::toUtf8(name)] = tstrings::toUtf8(*value);
        } else {
            env.erase(tstrings::toUtf8(name));
        }
    }
    std::vector<std::string> entries;
    for (const auto& [name, value] : env) {
        entries.push_back(name + "=" + value);
    }
    return entries;
}

std::vector<std::string> childArguments(const std::string& program, const tstring_array& args) {
    std::vector<std::string> argv = {program};
    for (const tstring& arg : args) {
        argv.push_back(tstrings::toUtf8(arg));
    }
    return argv;
}

class SpawnActions {
public:
    SpawnActions() { check(::posix_spawn_file_actions_init(&actions), "posix_spawn_file_actions_init"); }
    ~SpawnActions() { ::posix_spawn_file_actions_destroy(&actions); }
    SpawnActions(const SpawnActions&) = delete;
    SpawnActions& operator=(const SpawnActions&) = delete;

    void openNullInput() {
        check(::posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0), "addopen");
    }
    void redirect(const OwnedFd& from, int to) {
        check(::posix_spawn_file_actions_adddup2(&actions, from.get(), to), "adddup2");
    }
    void changeDirectory(const std::string& dir) {
        check(::posix_spawn_file_actions_addchdir_np(&actions, dir.c_str()), "addchdir_np");
    }
    const posix_spawn_file_actions_t* get() const { return &actions; }

private:
    static void check(int error, const char* call) {
        if (error != 0) {
            fail(call, "", error);
        }
    }

    posix_spawn_file_actions_t actions;
};

pid_t startChild(const tstring& program, const tstring_array& args, const ProcessOptions& options, const Pipe& out,
                 const Pipe& err) {
    const std::string path = systemPath(program);
    SpawnActions actions;
    actions.openNullInput();
    actions.redirect(out.writeEnd, STDOUT_FILENO);
    actions.redirect(err.writeEnd, STDERR_FILENO);
    if (!options.cwd.empty()) {
        actions.changeDirectory(systemPath(options.cwd));
    }
    const CStringArray argv(childArguments(path, args));
    const CStringArray envp(childEnvironment(options.env));
    // Without a directory part the program is searched for on PATH.
    const bool search = path.find('/') == std::string::npos;
    pid_t pid = 0;
    const int error = search ? ::posix_spawnp(&pid, path.c_str(), actions.get(), nullptr, argv.get(), envp.get())
                             : ::posix_spawn(&pid, path.c_str(), actions.get(), nullptr, argv.get(), envp.get());
    if (error != 0) {
        fail("posix_spawn", path, error);
    }
    return pid;
}

class Deadline {
public:
    explicit Deadline(std::uint32_t timeoutMs)
        : end(std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs)) {}

    int remainingMs() const {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        return left.count() <= 0 ? 0 : static_cast<int>(std::min<long long>(left.count(), 1 << 30));
    }

private:
    std::chrono::steady_clock::time_point end;
};

// How long the output of a killed child may still take to reach its end.
constexpr std::uint32_t kDrainAfterKillMs = 2000;
// How often a child that no longer holds its output open is looked at.
constexpr int kReapIntervalMs = 5;

// The read end of an output pipe and what came through it.
class PipeReader {
public:
    PipeReader(OwnedFd readEnd, std::string& sink) : fd(std::move(readEnd)), sink(sink) {}

    bool isOpen() const { return static_cast<bool>(fd); }
    int descriptor() const { return fd.get(); }

    // Called when poll reports the pipe readable or hung up.
    void readAvailable() {
        char buffer[4096];
        const ssize_t count = ::read(fd.get(), buffer, sizeof(buffer));
        if (count > 0) {
            sink.append(buffer, static_cast<std::size_t>(count));
        } else if (count == 0 || errno != EINTR) {
            fd.reset();
        }
    }

    void close() { fd.reset(); }

private:
    OwnedFd fd;
    std::string& sink;
};

void waitForOutput(PipeReader& out, PipeReader& err, int timeoutMs) {
    pollfd fds[2];
    PipeReader* readers[2];
    nfds_t count = 0;
    for (PipeReader* reader : {&out, &err}) {
        if (reader->isOpen()) {
            fds[count] = {reader->descriptor(), POLLIN, 0};
            readers[count++] = reader;
        }
    }
    const int ready = ::poll(fds, count, timeoutMs);
    if (ready < 0) {
        if (errno == EINTR) {
            return;
        }
        fail("poll", "", errno);
    }
    for (nfds_t i = 0; i < count; ++i) {
        if (fds[i].revents != 0) {
            readers[i]->readAvailable();
        }
    }
}

std::uint32_t exitCodeOf(int status) {
    if (WIFSIGNALED(status)) {
        return 128u + static_cast<std::uint32_t>(WTERMSIG(status));
    }
    return static_cast<std::uint32_t>(WEXITSTATUS(status));
}

// The child's status once it has ended; nothing while it runs.
std::optional<int> reap(pid_t pid, int flags) {
    int status = 0;
    for (;;) {
        const pid_t done = ::waitpid(pid, &status, flags);
        if (done == pid) {
            return status;
        }
        if (done == 0) {
            return std::nullopt;
        }
        if (errno != EINTR) {
            fail("waitpid", std::to_string(pid), errno);
        }
    }
}

// Reads both pipes until they close and the child has ended. A child that
// outlives the timeout is killed; output pipes still held open by its
// descendants are then given up a little later.
void collect(pid_t pid, std::uint32_t timeoutMs, PipeReader& out, PipeReader& err, ProcessResult& result) {
    Deadline deadline(timeoutMs);
    std::optional<int> status;
    for (;;) {
        if (!status) {
            status = reap(pid, WNOHANG);
        }
        const bool reading = out.isOpen() || err.isOpen();
        if (status && !reading) {
            break;
        }
        const int remaining = deadline.remainingMs();
        if (remaining == 0) {
            result.timedOut = true;
            if (status) {
                out.close();
                err.close();
                break;
            }
            ::kill(pid, SIGKILL);
            status = reap(pid, 0);
            deadline = Deadline(kDrainAfterKillMs);
            continue;
        }
        waitForOutput(out, err, reading ? remaining : std::min(remaining, kReapIntervalMs));
    }
    result.exitCode = exitCodeOf(*status);
}

}  // namespace

ProcessResult runProcess(const tstring& program, const tstring_array& args, const ProcessOptions& options) {
    ProcessResult result;
    if (!options.rawCommandLine.empty()) {
        ADD_FAILURE() << "runProcess: a raw command line is Windows' own; a POSIX child gets its arguments one by one";
        result.exitCode = 127;
        return result;
    }
    Pipe out = makePipe();
    Pipe err = makePipe();
    const pid_t pid = startChild(program, args, options, out, err);
    result.pid = static_cast<std::uint32_t>(pid);
    out.writeEnd.reset();
    err.writeEnd.reset();
    PipeReader outReader(std::move(out.readEnd), result.out);
    PipeReader errReader(std::move(err.readEnd), result.err);
    collect(pid, options.timeoutMs, outReader, errReader, result);
    return result;
}

}  // namespace testing_support
