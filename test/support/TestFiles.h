// File, directory and environment helpers of the tests that run on every
// platform; each platform's support library implements them.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "tstrings.h"

namespace testing_support {

// True for a Windows test program under Wine, whose ntdll exports
// wine_get_version.
bool runningUnderWine();

// Directory of the running test executable; the launcher, the fixtures and
// the helper programs are built next to it.
tstring testBinDir();

// A fresh directory under the system's temporary directory, removed with
// everything in it at the end.
class TempDir {
public:
    explicit TempDir(const tstring& nameHint = L"kivo");
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const tstring& path() const { return dir; }

private:
    tstring dir;
};

void writeFile(const tstring& path, const std::string& bytes);
std::string readFile(const tstring& path);
void makeDirs(const tstring& path);
void copyFile(const tstring& from, const tstring& to);
void removeTree(const tstring& path);
// Copies a directory tree.
void copyTree(const tstring& from, const tstring& to);
// True when anything (a link too) is at `path`.
bool pathExists(const tstring& path);
// The names in a directory, sorted, without "." and ".."; none when it
// cannot be listed.
std::vector<std::string> listNames(const tstring& dir);
// Makes a symbolic link to a directory; false when this system cannot.
bool makeDirectoryLink(const tstring& link, const tstring& target);

// Splits captured output into lines, dropping CR before LF.
std::vector<std::string> lines(const std::string& text);

// Sets (a value) or removes (std::nullopt) a variable of this process's
// environment, and restores what was there when it goes.
class ScopedEnvVariable {
public:
    ScopedEnvVariable(const tstring& name, const std::optional<tstring>& value);
    ~ScopedEnvVariable();
    ScopedEnvVariable(const ScopedEnvVariable&) = delete;
    ScopedEnvVariable& operator=(const ScopedEnvVariable&) = delete;

private:
    tstring name;
    std::optional<tstring> saved;
};

void setEnvVariable(const tstring& name, const std::optional<tstring>& value);
// The variable's value; nothing when it is not set.
std::optional<tstring> envVariable(const tstring& name);

}  // namespace testing_support
