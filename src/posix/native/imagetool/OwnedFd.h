// A file descriptor that is closed at the end of its owner's scope.
#pragma once

#include <unistd.h>

namespace imagetool {

class OwnedFd {
public:
    explicit OwnedFd(int fd = -1) noexcept : fd(fd) {}
    ~OwnedFd() {
        if (fd >= 0) {
            ::close(fd);
        }
    }
    OwnedFd(OwnedFd&& other) noexcept : fd(other.fd) { other.fd = -1; }
    OwnedFd& operator=(OwnedFd&& other) noexcept {
        if (this != &other) {
            OwnedFd old(fd);
            fd = other.fd;
            other.fd = -1;
        }
        return *this;
    }
    OwnedFd(const OwnedFd&) = delete;
    OwnedFd& operator=(const OwnedFd&) = delete;

    int get() const noexcept { return fd; }

    // Closes now, for a caller that must know whether the last writes
    // reached the file.
    int close() noexcept {
        const int result = ::close(fd);
        fd = -1;
        return result;
    }
    explicit operator bool() const noexcept { return fd >= 0; }

private:
    int fd;
};

}  // namespace imagetool
