// The image tool's file system operations on Linux. Nothing here follows a
// symbolic link: entries are examined with lstat, and files are opened with
// O_NOFOLLOW.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>

#include "FileUtils.h"
#include "OwnedFd.h"
#include "PosixPath.h"
#include "PosixToolError.h"
#include "ToolFiles.h"
#include "ToolPaths.h"

namespace imagetool {

namespace {

using posixpath::systemPath;

std::atomic<bool> interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the signal handler sets the flag");

extern "C" void onInterrupt(int) { interrupted = true; }

// A name that is no UTF-8, readable: ASCII as it is, other bytes as \xNN.
tstring escapedBytes(const std::string& name) {
    tstring text;
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        text += byte < 0x80 ? tstring(1, static_cast<wchar_t>(byte)) : tstrings::format(L"\\x%02X", byte);
    }
    return text;
}

bool lstatOf(const tstring& path, struct stat& info) { return ::lstat(systemPath(path).c_str(), &info) == 0; }

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

// A link to a directory is listed with the directory links, any other link
// (a broken one too) with the file links.
tstring_array& listFor(DirEntries& entries, const tstring& path, const struct stat& info) {
    if (S_ISLNK(info.st_mode)) {
        struct stat target;
        const bool toDir = ::stat(systemPath(path).c_str(), &target) == 0 && S_ISDIR(target.st_mode);
        return toDir ? entries.dirLinks : entries.fileLinks;
    }
    return S_ISDIR(info.st_mode) ? entries.dirs : entries.files;
}

OwnedFd openFile(const tstring& path, int flags, mode_t mode = 0) {
    int fd;
    do {
        fd = ::open(systemPath(path).c_str(), flags | O_CLOEXEC | O_NOFOLLOW, mode);
    } while (fd < 0 && errno == EINTR);
    return OwnedFd(fd);
}

// Opens a regular file for reading; FIFOs and devices would block or never
// end, so they fail as what they are.
OwnedFd openRegularFile(const tstring& path, const tstring& subject, struct stat& info) {
    OwnedFd file = openFile(path, O_RDONLY | O_NONBLOCK);
    if (!file) {
        failErrno(L"Cannot open " + subject);
    }
    if (::fstat(file.get(), &info) != 0) {
        failErrno(L"Cannot read " + subject);
    }
    if (!S_ISREG(info.st_mode)) {
        fail(L"Cannot read " + subject + L": it is not a regular file");
    }
    return file;
}

void writeAll(int fd, const char* data, std::size_t size, const tstring& what) {
    while (size > 0) {
        const ssize_t count = ::write(fd, data, size);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            failErrno(what);
        }
        data += count;
        size -= static_cast<std::size_t>(count);
    }
}

// Copies by copy_file_range, which lets the kernel (or the file system)
// move the data, and by read and write where it cannot.
void copyContent(int from, int to, const tstring& what) {
    for (;;) {
        const ssize_t count = ::copy_file_range(from, nullptr, to, nullptr, 1 << 30, 0);
        if (count == 0) {
            return;
        }
        if (count > 0) {
            continue;
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno != EXDEV && errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) {
            failErrno(what);
        }
        break;
    }
    char buffer[256 * 1024];
    for (;;) {
        const ssize_t count = ::read(from, buffer, sizeof(buffer));
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count < 0) {
            failErrno(what);
        }
        if (count == 0) {
            return;
        }
        writeAll(to, buffer, static_cast<std::size_t>(count), what);
    }
}

std::uint64_t copyTo(const tstring& from, const tstring& to, int createFlags) {
    const tstring what = L"Cannot copy " + quoted(from) + L" to " + quoted(to);
    struct stat info;
    const OwnedFd source = openRegularFile(from, quoted(from), info);
    OwnedFd target = openFile(to, O_WRONLY | O_CREAT | createFlags, info.st_mode & 0777);
    if (!target) {
        failErrno(what);
    }
    copyContent(source.get(), target.get(), what);
    if (target.close() != 0) {
        failErrno(what);
    }
    return static_cast<std::uint64_t>(info.st_size);
}

}  // namespace

bool isDirectory(const tstring& path) {
    struct stat info;
    return ::stat(systemPath(path).c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool isFile(const tstring& path) {
    struct stat info;
    return ::stat(systemPath(path).c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

DirEntries listDirectory(const tstring& dir) {
    const std::unique_ptr<DIR, DirCloser> stream(::opendir(systemPath(dir).c_str()));
    if (!stream) {
        failErrno(L"Cannot list " + quoted(dir));
    }
    DirEntries entries;
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(stream.get());
        if (!entry) {
            break;
        }
        const tstring name = tstrings::fromUtf8(entry->d_name);
        if (name == L"." || name == L"..") {
            continue;
        }
        if (tstrings::toUtf8(name) != entry->d_name) {
            fail(quoted(dir) + L" holds a name that is not UTF-8 (\"" + escapedBytes(entry->d_name) +
                 L"\"); Windows could not show it as it is: rename it");
        }
        const tstring path = FileUtils::combinePath(dir, name);
        struct stat info;
        if (!lstatOf(path, info)) {
            failErrno(L"Cannot list " + quoted(dir));
        }
        listFor(entries, path, info).push_back(name);
    }
    if (errno != 0) {
        failErrno(L"Cannot list " + quoted(dir));
    }
    return entries;
}

void makeDirectory(const tstring& path) {
    if (::mkdir(systemPath(path).c_str(), 0777) != 0) {
        failErrno(L"Cannot create the directory " + quoted(path));
    }
}

std::uint64_t copyNewFile(const tstring& from, const tstring& to) { return copyTo(from, to, O_EXCL); }

void copyOverFile(const tstring& from, const tstring& to) { copyTo(from, to, O_TRUNC); }

std::uint64_t fileSize(const tstring& path) {
    struct stat info;
    return ::stat(systemPath(path).c_str(), &info) == 0 ? static_cast<std::uint64_t>(info.st_size) : 0;
}

void writeWholeFile(const tstring& path, const std::string& bytes, FileCreation creation, const tstring& shownPath) {
    const tstring what = L"Cannot write " + quoted(shownPath);
    const int flags = creation == FileCreation::newFile ? O_CREAT | O_EXCL : O_TRUNC;
    OwnedFd file = openFile(path, O_WRONLY | flags, 0666);
    if (!file) {
        failErrno(what);
    }
    writeAll(file.get(), bytes.data(), bytes.size(), what);
    if (file.close() != 0) {
        failErrno(what);
    }
}

std::string readWholeFile(const tstring& path, const tstring& subject, std::uint64_t maxSize,
                          const tstring& tooLarge) {
    struct stat info;
    const OwnedFd file = openRegularFile(path, subject, info);
    if (static_cast<std::uint64_t>(info.st_size) > maxSize) {
        fail(tooLarge);
    }
    std::string bytes(static_cast<std::size_t>(info.st_size), '\0');
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t count = ::read(file.get(), &bytes[done], bytes.size() - done);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count < 0) {
            failErrno(L"Cannot read " + subject);
        }
        if (count == 0) {
            fail(L"Cannot read " + subject + L": it became shorter while it was read");
        }
        done += static_cast<std::size_t>(count);
    }
    return bytes;
}

RemovalKind prepareRemoval(const tstring& path) {
    struct stat info;
    if (!lstatOf(path, info)) {
        return RemovalKind::nothing;
    }
    if (!S_ISDIR(info.st_mode)) {
        return RemovalKind::leaf;
    }
    // A directory without write or search permission cannot be emptied.
    ::chmod(systemPath(path).c_str(), (info.st_mode & 07777) | S_IRWXU);
    return RemovalKind::directory;
}

void removeLeaf(const tstring& path) { ::unlink(systemPath(path).c_str()); }

void removeEmptyDirectory(const tstring& path) { ::rmdir(systemPath(path).c_str()); }

void moveEntry(const tstring& from, const tstring& to, const tstring& what) {
    if (::renameat2(AT_FDCWD, systemPath(from).c_str(), AT_FDCWD, systemPath(to).c_str(), RENAME_NOREPLACE) == 0) {
        return;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        failErrno(what);
    }
    // A file system without RENAME_NOREPLACE: look first, then rename.
    if (FileUtils::exists(to)) {
        errno = EEXIST;
        failErrno(what);
    }
    if (::rename(systemPath(from).c_str(), systemPath(to).c_str()) != 0) {
        failErrno(what);
    }
}

bool moveEntryBack(const tstring& from, const tstring& to) {
    try {
        moveEntry(from, to, tstring());
        return true;
    } catch (const ToolError&) {
        return false;
    }
}

void replaceFileWith(const tstring& replacement, const tstring& target, const tstring& what) {
    if (::rename(systemPath(replacement).c_str(), systemPath(target).c_str()) != 0) {
        failErrno(what);
    }
}

std::uint32_t currentProcessId() { return static_cast<std::uint32_t>(::getpid()); }

void stopOnInterrupt() {
    struct sigaction action = {};
    action.sa_handler = onInterrupt;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        ::sigaction(signal, &action, nullptr);
    }
}

bool interruptRequested() { return interrupted; }

struct FileView::Mapping {
    void* address = MAP_FAILED;
    std::size_t size = 0;

    ~Mapping() {
        if (address != MAP_FAILED) {
            ::munmap(address, size);
        }
    }
};

FileView::FileView(const tstring& path) : mapping(std::make_unique<Mapping>()) {
    const tstring subject = quoted(path);
    struct stat info;
    const OwnedFd file = openRegularFile(path, subject, info);
    mapping->size = static_cast<std::size_t>(info.st_size);
    if (mapping->size == 0) {
        return;
    }
    mapping->address = ::mmap(nullptr, mapping->size, PROT_READ, MAP_PRIVATE, file.get(), 0);
    if (mapping->address == MAP_FAILED) {
        failErrno(L"Cannot read " + subject);
    }
}

FileView::~FileView() = default;

std::string_view FileView::bytes() const {
    if (mapping->size == 0) {
        return std::string_view();
    }
    return std::string_view(static_cast<const char*>(mapping->address), mapping->size);
}

}  // namespace imagetool
