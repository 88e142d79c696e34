// Interrupts the Linux kivo-image with a signal, as a terminal's Ctrl+C or
// a cancelled build does.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "ImageTool.h"

extern char** environ;

namespace testing_support {

namespace {

// Waits for the child's end, at most 30 s.
std::optional<std::uint32_t> waitForEnd(pid_t pid) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    int status = 0;
    while (::waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            return std::nullopt;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace

InterruptOutcome interruptImageTool(const tstring_array& args, const std::function<bool()>& started, Interrupt how) {
    std::vector<std::string> argv = {tstrings::toUtf8(imageToolPath())};
    for (const tstring& arg : args) {
        argv.push_back(tstrings::toUtf8(arg));
    }
    std::vector<char*> pointers;
    for (std::string& arg : argv) {
        pointers.push_back(arg.data());
    }
    pointers.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int spawned = ::posix_spawn(&pid, pointers[0], &actions, nullptr, pointers.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        return {std::nullopt, "posix_spawn failed"};
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!started() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ::kill(pid, how == Interrupt::ctrlC ? SIGINT : SIGTERM);
    return {waitForEnd(pid), ""};
}

}  // namespace testing_support
