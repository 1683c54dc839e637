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
// A capture file is never reached through a symbolic link (O_NOFOLLOW): a
// link planted under its name fails the create with ELOOP instead of
// letting the program write where the link points.
#include <cerrno>
#include <climits>
#include <cstddef>
#include <cstdio>
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

PlatformHandle platform_create_file(const char *name) {
    if (name == nullptr || name[0] == '\0') {
        platform_set_last_error(ENOENT);
        return NO_HANDLE;
    }
    if (file_in_use(name)) {
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
    // Opened without O_TRUNC: the file is emptied only once its lock is
    // ours, so a file that another process is writing keeps every byte.
    const int fd = open(name, O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, 0644);
    if (fd < 0) {
        platform_set_last_error(errno);
        return NO_HANDLE;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        platform_set_last_error(errno == EWOULDBLOCK ? EBUSY : errno);
        close(fd);
        return NO_HANDLE;
    }
    struct stat info;
    if (fstat(fd, &info) != 0 || (S_ISREG(info.st_mode) && ftruncate(fd, 0) != 0)) {
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
    if (name == nullptr || unlink(name) != 0) {
        platform_set_last_error(name == nullptr ? ENOENT : errno);
        return false;
    }
    return true;
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
    if (renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) {
        return true;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        platform_set_last_error(errno);
        return false;
    }
    // The file system cannot rename without replacing: link, then unlink.
    if (link(from, to) != 0) {
        platform_set_last_error(errno);
        return false;
    }
    unlink(from);
    return true;
}

bool platform_same_file(const char *first, const char *second) {
    struct stat one;
    struct stat two;
    return first != nullptr && second != nullptr && stat(first, &one) == 0 &&
           stat(second, &two) == 0 && one.st_dev == two.st_dev && one.st_ino == two.st_ino;
}
