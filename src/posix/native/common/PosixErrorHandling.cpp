// The C library's error texts.
#include <cerrno>
#include <cstring>

#include "ErrorHandling.h"

std::string crtErrorText() {
    char buffer[1024] = {};
    // The GNU strerror_r may give a static text instead of filling `buffer`.
    const char* text = ::strerror_r(errno, buffer, sizeof(buffer));
    return text ? std::string(text) : std::string();
}
