// Module paths, command line, environment variables and the system library
// directory of this process, as Linux tells them.
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <vector>

#include "ErrorHandling.h"
#include "SysInfo.h"

namespace SysInfo {

namespace {

tstring readLink(const char* link) {
    std::vector<char> buffer(256);
    for (;;) {
        const ssize_t length = ::readlink(link, buffer.data(), buffer.size());
        if (length < 0) {
            RAISE(tstrings::Builder() << "readlink(" << link << ") failed: " << crtErrorText());
        }
        if (static_cast<std::size_t>(length) < buffer.size()) {
            return tstrings::fromUtf8(std::string(buffer.data(), static_cast<std::size_t>(length)));
        }
        buffer.resize(buffer.size() * 2);
    }
}

// The real path of `path`, or `path` itself when it cannot be resolved.
tstring resolved(const std::string& path) {
    char* const real = ::realpath(path.c_str(), nullptr);
    const tstring result = tstrings::fromUtf8(real ? real : path.c_str());
    std::free(real);
    return result;
}

// Without /proc (a chroot, some containers) the program's path is what it
// was started as, looked up in PATH as the shell looked it up.
tstring invokedPath() {
    const std::string invoked = program_invocation_name;
    if (invoked.find('/') != std::string::npos) {
        return resolved(invoked);
    }
    const char* const path = std::getenv("PATH");
    for (const tstring& dir : tstrings::split(tstrings::fromUtf8(path ? path : ""), L":")) {
        const std::string candidate = tstrings::toUtf8(dir) + "/" + invoked;
        if (!dir.empty() && ::access(candidate.c_str(), X_OK) == 0) {
            return resolved(candidate);
        }
    }
    return tstrings::fromUtf8(invoked);
}

}  // namespace

tstring getExecutablePath() {
    try {
        return readLink("/proc/self/exe");
    } catch (const std::exception&) {
        return invokedPath();
    }
}

// Every module of a statically linked program is the executable.
tstring getThisModulePath() { return getExecutablePath(); }

tstring_array getCommandArgs(CommandArgProgramNameMode mode) {
    std::ifstream in("/proc/self/cmdline", std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    tstring_array args;
    std::size_t start = 0;
    for (std::size_t end; start < bytes.size(); start = end + 1) {
        end = bytes.find('\0', start);
        if (end == std::string::npos) {
            end = bytes.size();
        }
        args.push_back(tstrings::fromUtf8(bytes.substr(start, end - start)));
    }
    if (mode == ExcludeProgramName && !args.empty()) {
        args.erase(args.begin());
    }
    return args;
}

tstring getEnvVariable(const tstring& name) {
    const char* value = std::getenv(tstrings::toUtf8(name).c_str());
    if (!value) {
        RAISE(tstrings::Builder() << "getenv(" << name << ") failed. Variable not set");
    }
    return tstrings::fromUtf8(value);
}

tstring getEnvVariable(const tstring& name, const tstring& defValue) {
    const char* value = std::getenv(tstrings::toUtf8(name).c_str());
    if (!value) {
        return defValue;
    }
    try {
        return tstrings::fromUtf8(value);
    } catch (const std::runtime_error&) {
        return defValue;
    }
}

void setEnvVariable(const tstring& name, const tstring& value) {
    if (::setenv(tstrings::toUtf8(name).c_str(), tstrings::toUtf8(value).c_str(), 1) != 0) {
        RAISE(tstrings::Builder() << "setenv(" << name << ", " << value << ") failed: " << crtErrorText());
    }
}

tstring getSystemDir() { return L"/usr/lib"; }

}  // namespace SysInfo
