// Temporary directories, whole-file reads and writes and environment
// variables of the tests, on POSIX systems. Paths are UTF-8 underneath; a
// backslash separates as the launcher's own path code reads it.
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <system_error>

#include "TestFiles.h"

namespace fs = std::filesystem;

namespace testing_support {

namespace {

fs::path systemPath(const tstring& path) {
    return fs::u8path(tstrings::toUtf8(tstrings::replace(path, L"\\", L"/")));
}

tstring fromSystemPath(const fs::path& path) { return tstrings::fromUtf8(path.u8string()); }

[[noreturn]] void fail(const char* call, const tstring& subject, const std::error_code& error) {
    throw std::runtime_error(std::string(call) + "(" + tstrings::toUtf8(subject) + ") failed: " + error.message());
}

}  // namespace

bool runningUnderWine() { return false; }

tstring testBinDir() { return fromSystemPath(fs::read_symlink("/proc/self/exe").parent_path()); }

TempDir::TempDir(const tstring& nameHint) {
    static std::atomic<unsigned> counter{0};
    const fs::path base = fs::temp_directory_path();
    for (;;) {
        const fs::path candidate = base / (tstrings::toUtf8(nameHint) + "-" + std::to_string(::getpid()) + "-" +
                                           std::to_string(counter++));
        std::error_code error;
        if (fs::create_directory(candidate, error)) {
            dir = fromSystemPath(candidate);
            return;
        }
        if (error) {
            fail("create_directory", fromSystemPath(candidate), error);
        }
    }
}

TempDir::~TempDir() {
    try {
        removeTree(dir);
    } catch (const std::exception&) {
        // What cannot be removed stays in the temporary directory; the test's
        // outcome does not depend on it.
    }
}

void writeFile(const tstring& path, const std::string& bytes) {
    std::ofstream out(systemPath(path), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        throw std::runtime_error("cannot write " + tstrings::toUtf8(path));
    }
}

std::string readFile(const tstring& path) {
    std::ifstream in(systemPath(path), std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot read " + tstrings::toUtf8(path));
    }
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void makeDirs(const tstring& path) {
    std::error_code error;
    fs::create_directories(systemPath(path), error);
    if (error) {
        fail("create_directories", path, error);
    }
}

void copyFile(const tstring& from, const tstring& to) {
    std::error_code error;
    fs::copy_file(systemPath(from), systemPath(to), fs::copy_options::overwrite_existing, error);
    if (error) {
        fail("copy_file", from + L" -> " + to, error);
    }
}

// remove_all removes a symbolic link as a link, never what it names.
void removeTree(const tstring& path) {
    std::error_code error;
    fs::remove_all(systemPath(path), error);
    if (error) {
        fail("remove_all", path, error);
    }
}

void copyTree(const tstring& from, const tstring& to) {
    makeDirs(to);
    std::error_code error;
    fs::copy(systemPath(from), systemPath(to), fs::copy_options::recursive | fs::copy_options::overwrite_existing,
             error);
    if (error) {
        fail("copy", from + L" -> " + to, error);
    }
}

bool pathExists(const tstring& path) {
    std::error_code error;
    return fs::symlink_status(systemPath(path), error).type() != fs::file_type::not_found && !error;
}

std::vector<std::string> listNames(const tstring& dir) {
    std::vector<std::string> names;
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator(systemPath(dir), error)) {
        names.push_back(entry.path().filename().u8string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

bool makeDirectoryLink(const tstring& link, const tstring& target) {
    std::error_code error;
    fs::create_directory_symlink(systemPath(target), systemPath(link), error);
    return !error;
}

void setEnvVariable(const tstring& name, const std::optional<tstring>& value) {
    const std::string narrowName = tstrings::toUtf8(name);
    const int result = value ? ::setenv(narrowName.c_str(), tstrings::toUtf8(*value).c_str(), 1)
                             : ::unsetenv(narrowName.c_str());
    if (result != 0) {
        fail("setenv", name, std::error_code(errno, std::generic_category()));
    }
}

std::optional<tstring> envVariable(const tstring& name) {
    const char* value = std::getenv(tstrings::toUtf8(name).c_str());
    if (!value) {
        return std::nullopt;
    }
    return tstrings::fromUtf8(value);
}

}  // namespace testing_support
