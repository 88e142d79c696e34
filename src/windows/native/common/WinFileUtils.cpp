// Path operations that ask the file system or the C runtime.
#include <windows.h>

#include <cstdlib>
#include <direct.h>
#include <memory>

#include "ErrorHandling.h"
#include "FileUtils.h"

namespace FileUtils {

namespace {

struct CrtFree {
    void operator()(wchar_t* p) const { std::free(p); }
};

typedef std::unique_ptr<wchar_t, CrtFree> CrtBuffer;

}  // namespace

bool exists(const tstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

tstring toAbsolutePath(const tstring& path) {
    if (path.empty()) {
        CrtBuffer cwd(::_wgetcwd(nullptr, 0));
        if (!cwd) {
            RAISE("_tgetcwd() failed");
        }
        if (!*cwd) {
            RAISE("_tgetcwd() returned empty string");
        }
        return tstring(cwd.get());
    }
    CrtBuffer full(::_wfullpath(nullptr, path.c_str(), 0));
    if (!full) {
        RAISE(tstrings::Builder() << "_tfullpath(" << path << ") failed");
    }
    return tstring(full.get());
}

}  // namespace FileUtils
