// The errors that loading the launcher's files raises, in the form the
// tests of the configuration and package files compare them.
#pragma once

#include <cerrno>
#include <stdexcept>
#include <string>

#include "ErrorHandling.h"

namespace testing_support {

// The bare message of the error that `load` raises, or "no error".
template <class Load>
std::string loadError(Load load) {
    try {
        load();
    } catch (const KivoError<std::runtime_error>& e) {
        return e.bareMessage();
    }
    return "no error";
}

// The C runtime's description of an errno value.
inline std::string errnoText(int code) {
    errno = code;
    return crtErrorText();
}

// The errno of opening a directory as a file: Windows denies the access,
// POSIX systems name the directory.
#ifdef _WIN32
const int kDirectoryOpenErrno = EACCES;
#else
const int kDirectoryOpenErrno = EISDIR;
#endif

}  // namespace testing_support
