// Files and the last-error code on POSIX hosts: platform.h's file operations
// as plain POSIX calls. Handles are file descriptors.
//
// A file made by platform_create_file is not shared while it is open: this
// process cannot create it anew, delete it or rename it until it is closed
// (EBUSY), as Windows refuses those on a file opened without sharing. So one
// capture file can never truncate, unlink or move another that is still
// being written. The same holds across processes: the file carries an
// exclusive lock (flock) while it is open, and a second create, a delete or a
// rename by anyone who honours the lock fails with EBUSY.
//
// A capture file is never reached through a symbolic link: every
// directory of its path is opened on its own, relative to the one before,
// with O_NOFOLLOW, and the file itself is opened relative to the last one,
// with O_NOFOLLOW too. A link planted under its name, or in place of any
// directory on the way (`sub` of "sub/victim"), fails the create with ELOOP
// instead of letting the program write where the link points.
// Deleting and renaming walk the path the same way.
//
// A capture file is a regular file: anything else under its name (a FIFO, a
// socket, a device, a directory) is refused with EINVAL, or EISDIR for a
// directory, without blocking: the open does not wait for a FIFO's reader
// (O_NONBLOCK), and blocking writes are turned back on only once the file
// is known to be a regular one.
#include <cerrno>
#include <climits>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "driverlink/platform.h"
#include "driverlink/posix/platform_files.h"

namespace {
int last_error = 0;

bool handle_valid(PlatformHandle file) {
    return file >= 0 && file <= INT_MAX;
}

// The files that platform_create_file opened and that are not closed yet.
constexpr size_t OPEN_FILES_MAX = 64;
struct OpenFile {
    bool used;
    int fd;
    dev_t dev;
    ino_t ino;
};
OpenFile open_files[OPEN_FILES_MAX];

// True when name is a file that is open through platform_create_file; then
// EBUSY is the last error.
bool file_in_use(const char *name) {
    struct stat info;
    if (stat(name, &info) != 0) {
        return false;
    }
    for (const OpenFile &file : open_files) {
        if (file.used && file.dev == info.st_dev && file.ino == info.st_ino) {
            last_error = EBUSY;
            return true;
        }
    }
    return false;
}

// Opens the directory that holds the last component of name, one directory
// component at a time and never through a symbolic link; *last points to
// the last component within name. -1 with the last error set when a
// directory on the way is missing, is a link or is no directory. The
// descriptor only names the directory (O_PATH): the walk needs no right to
// read it.
int open_parent(const char *name, const char **last) {
#ifdef O_PATH
    constexpr int DIRECTORY_FLAGS = O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
#else
    constexpr int DIRECTORY_FLAGS = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
#endif
    const char *part = name;
    int dir = open(name[0] == '/' ? "/" : ".", DIRECTORY_FLAGS);
    while (dir >= 0) {
        while (*part == '/') {
            ++part;
        }
        const char *end = std::strchr(part, '/');
        const char *next = end;
        while (next != nullptr && *next == '/') {
            ++next;
        }
        if (end == nullptr || *next == '\0') {
            *last = part;  // a trailing slash stays with the last component
            return dir;
        }
        char component[NAME_MAX + 1];
        const size_t length = size_t(end - part);
        if (length > NAME_MAX) {
            close(dir);
            errno = ENAMETOOLONG;
            dir = -1;
            break;
        }
        std::memcpy(component, part, length);
        component[length] = '\0';
        const int child = openat(dir, component, DIRECTORY_FLAGS);
        struct stat info;
        if (child < 0 && errno == ENOTDIR && fstatat(dir, component, &info, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISLNK(info.st_mode)) {
            errno = ELOOP;  // a link in place of a directory, said as for the file itself
        }
        const int error = errno;
        close(dir);
        errno = error;
        dir = child;
        part = next;
    }
    platform_set_last_error(errno);
    return -1;
}

// True when another process holds the lock of the file called name; then
// EBUSY is the last error. A name that is a link or no file is not locked.
bool locked_elsewhere(const char *name) {
    const int fd = open(name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        return false;
    }
    const bool locked = flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    close(fd);  // also drops the probe's own lock
    if (locked) {
        last_error = EBUSY;
    }
    return locked;
}

// Opens (creating it when missing) the regular file name in dir for
// writing, blocking writes on, not emptied yet. Opened without O_TRUNC: the
// file is emptied only once its lock is ours, so a file that another
// process is writing keeps every byte. -1 with the last error set; EINVAL
// for anything but a regular file, EISDIR for a directory.
int open_regular_file(int dir, const char *name) {
    struct stat info;
    if (fstatat(dir, name, &info, AT_SYMLINK_NOFOLLOW) == 0 && !S_ISREG(info.st_mode) &&
        !S_ISLNK(info.st_mode)) {
        // Not even opened: opening a device can act on it.
        platform_set_last_error(S_ISDIR(info.st_mode) ? EISDIR : EINVAL);
        return -1;
    }
    const int fd = openat(dir, name, O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY | O_NONBLOCK,
                          0644);
    if (fd < 0) {
        // ENXIO: a FIFO without a reader or a socket put there meanwhile.
        platform_set_last_error(errno == ENXIO ? EINVAL : errno);
        return -1;
    }
    int error = 0;
    int flags = 0;
    if (fstat(fd, &info) != 0) {
        error = errno;
    } else if (!S_ISREG(info.st_mode)) {
        error = EINVAL;
    } else if ((flags = fcntl(fd, F_GETFL)) < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        error = errno;
    }
    if (error != 0) {
        platform_set_last_error(error);
        close(fd);
        return -1;
    }
    return fd;
}

}  // namespace

void platform_set_last_error(int code) {
    last_error = code;
}

int platform_last_error() {
    return last_error;
}

int platform_name_too_long_error() {
    return ENAMETOOLONG;
}

int platform_not_regular_file_error() {
    return EINVAL;
}

PlatformHandle platform_create_file(const char *name) {
    if (name == nullptr || name[0] == '\0') {
        platform_set_last_error(ENOENT);
        return NO_HANDLE;
    }
    OpenFile *entry = nullptr;
    for (OpenFile &file : open_files) {
        if (!file.used) {
            entry = &file;
            break;
        }
    }
    if (entry == nullptr) {
        platform_set_last_error(EMFILE);
        return NO_HANDLE;
    }
    const char *last = nullptr;
    const int dir = open_parent(name, &last);
    if (dir < 0) {
        return NO_HANDLE;
    }
    const int fd = open_regular_file(dir, last);
    close(dir);
    if (fd < 0) {
        return NO_HANDLE;
    }
    struct stat info;
    if (fstat(fd, &info) != 0) {
        platform_set_last_error(errno);
        close(fd);
        return NO_HANDLE;
    }
    for (const OpenFile &file : open_files) {
        if (file.used && file.dev == info.st_dev && file.ino == info.st_ino) {
            platform_set_last_error(EBUSY);
            close(fd);
            return NO_HANDLE;
        }
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        platform_set_last_error(errno == EWOULDBLOCK ? EBUSY : errno);
        close(fd);
        return NO_HANDLE;
    }
    if (ftruncate(fd, 0) != 0) {
        platform_set_last_error(errno);
        close(fd);
        return NO_HANDLE;
    }
    *entry = {true, fd, info.st_dev, info.st_ino};
    return fd;
}

bool platform_write_file(PlatformHandle file, const void *data, uint32_t size) {
    if (!handle_valid(file) || (data == nullptr && size != 0)) {
        platform_set_last_error(EBADF);
        return false;
    }
    const char *bytes = static_cast<const char *>(data);
    // A write either lands whole or not at all: the part of a chunk that
    // went out before a full disk or a file-size limit stopped it is cut off
    // again, so the file ends exactly after the last whole write.
    const off_t start = lseek(int(file), 0, SEEK_CUR);
    uint32_t done = 0;
    while (done < size) {
        const ssize_t n = write(int(file), bytes + done, size - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            const int error = n < 0 ? errno : EIO;
            if (done != 0 && start >= 0 && ftruncate(int(file), start) == 0) {
                lseek(int(file), start, SEEK_SET);
            }
            platform_set_last_error(error);
            return false;
        }
        done += uint32_t(n);
    }
    return true;
}

void platform_close_file(PlatformHandle file) {
    if (handle_valid(file)) {
        for (OpenFile &entry : open_files) {
            if (entry.used && entry.fd == int(file)) {
                entry.used = false;
            }
        }
        close(int(file));
    }
}

bool platform_delete_file(const char *name) {
    if (name != nullptr && (file_in_use(name) || locked_elsewhere(name))) {
        return false;
    }
    if (name == nullptr) {
        platform_set_last_error(ENOENT);
        return false;
    }
    const char *last = nullptr;
    const int dir = open_parent(name, &last);
    if (dir < 0) {
        return false;
    }
    const bool deleted = unlinkat(dir, last, 0) == 0;
    if (!deleted) {
        platform_set_last_error(errno);
    }
    close(dir);
    return deleted;
}

// Renaming never replaces an existing file (as MoveFile refuses to): the
// target must not exist.
bool platform_rename_file(const char *from, const char *to) {
    if (from == nullptr || to == nullptr) {
        platform_set_last_error(ENOENT);
        return false;
    }
    if (file_in_use(from) || locked_elsewhere(from)) {
        return false;
    }
    const char *from_last = nullptr;
    const char *to_last = nullptr;
    const int from_dir = open_parent(from, &from_last);
    if (from_dir < 0) {
        return false;
    }
    const int to_dir = open_parent(to, &to_last);
    if (to_dir < 0) {
        close(from_dir);
        return false;
    }
    bool renamed = renameat2(from_dir, from_last, to_dir, to_last, RENAME_NOREPLACE) == 0;
    if (!renamed && (errno == EINVAL || errno == ENOSYS)) {
        // The file system cannot rename without replacing: link, then unlink.
        renamed = linkat(from_dir, from_last, to_dir, to_last, 0) == 0;
        if (renamed) {
            unlinkat(from_dir, from_last, 0);
        }
    }
    if (!renamed) {
        platform_set_last_error(errno);
    }
    close(from_dir);
    close(to_dir);
    return renamed;
}

bool platform_same_file(const char *first, const char *second) {
    struct stat one;
    struct stat two;
    return first != nullptr && second != nullptr && stat(first, &one) == 0 &&
           stat(second, &two) == 0 && one.st_dev == two.st_dev && one.st_ino == two.st_ino;
}
