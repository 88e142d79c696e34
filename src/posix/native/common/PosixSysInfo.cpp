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

}  // namespace

tstring getExecutablePath() { return readLink("/proc/self/exe"); }

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
