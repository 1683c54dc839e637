// The simulated driver's runtime directory: device sockets and the registry
// as a tree of directories and files.
#include "simwire/sim_world.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>



namespace {

// Errors are reported through errno; the platform layer that calls these
// functions takes them over as its last error.
void set_error(int code) { errno = code; }

// A path component the registry or a device name may use: not empty, not
// "." or "..", no '/', and not starting with '.', which is left to the
// temporary files of atomic writes.
bool component_valid(const char *text, size_t length) {
    if (length == 0 || text[0] == '.') {
        return false;
    }
    return memchr(text, '/', length) == nullptr;
}

// Creates one directory (0700) unless it already is one.
bool make_directory(const char *path) {
    if (mkdir(path, 0700) == 0) {
        return true;
    }
    struct stat info;
    if (errno == EEXIST && lstat(path, &info) == 0 && S_ISDIR(info.st_mode)) {
        return true;
    }
    set_error(errno == EEXIST ? ENOTDIR : errno);
    return false;
}

}  // namespace

bool sim_world_dir(char *path, size_t size) {
    const char *dir = getenv("TARVEL_SIM_DIR");
    const char *runtime = getenv("XDG_RUNTIME_DIR");
    int n;
    if (dir != nullptr && dir[0] != '\0') {
        n = snprintf(path, size, "%s", dir);
    } else if (runtime != nullptr && runtime[0] != '\0') {
        n = snprintf(path, size, "%s/tarvel-sim", runtime);
    } else {
        n = snprintf(path, size, "/tmp/tarvel-sim-%u", (unsigned)getuid());
    }
    if (n <= 0 || size_t(n) >= size) {
        set_error(ENAMETOOLONG);
        return false;
    }
    return true;
}

// Opens the runtime directory without following a link and checks, on
// that descriptor, that it is ours and that neither group nor others can
// write it. -1 (EPERM for a directory that is not trusted) otherwise.
static int open_trusted_dir(const char *dir) {
    const int fd = open(dir, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        set_error(errno == ELOOP ? EPERM : errno);
        return -1;
    }
    struct stat info;
    if (fstat(fd, &info) != 0 || info.st_uid != getuid() || (info.st_mode & 022) != 0) {
        set_error(EPERM);
        close(fd);
        return -1;
    }
    return fd;
}

// Opens (and with create makes) one directory below parent, never through
// a link.
static int open_child_dir(int parent, const char *name, bool create) {
    int fd = openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0 && errno == ENOENT && create) {
        if (mkdirat(parent, name, 0700) != 0 && errno != EEXIST) {
            set_error(errno);
            return -1;
        }
        fd = openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    }
    if (fd < 0) {
        set_error(errno);
    }
    return fd;
}

bool sim_world_prepare() {
    char dir[PATH_MAX];
    if (!sim_world_dir(dir, sizeof dir) || !make_directory(dir)) {
        return false;
    }
    // A directory in a shared place such as /tmp may have been made by
    // someone else, or left open to others: use it only when it is ours and
    // closed, and never change a directory that is not (someone else may
    // rely on its mode). Readable or searchable bits for others are dropped.
    const int fd = open_trusted_dir(dir);
    if (fd < 0) {
        return false;
    }
    struct stat info;
    if (fstat(fd, &info) != 0 || ((info.st_mode & 077) != 0 && fchmod(fd, 0700) != 0)) {
        set_error(errno);
        close(fd);
        return false;
    }
    const int registry = open_child_dir(fd, "registry", true);
    close(fd);
    if (registry < 0) {
        return false;
    }
    close(registry);
    return true;
}

bool sim_world_trusted() {
    char dir[PATH_MAX];
    if (!sim_world_dir(dir, sizeof dir)) {
        return false;
    }
    const int fd = open_trusted_dir(dir);
    if (fd < 0) {
        return false;
    }
    close(fd);
    return true;
}

int sim_world_open_key(const char *key_path, bool create) {
    char dir[PATH_MAX];
    char checked[PATH_MAX];
    // The path check refuses empty, "." and ".." components and '/'.
    if (!sim_world_key_dir(key_path, checked, sizeof checked) || !sim_world_dir(dir, sizeof dir)) {
        return -1;
    }
    int fd = open_trusted_dir(dir);
    if (fd < 0) {
        return -1;
    }
    int next = open_child_dir(fd, "registry", create);
    close(fd);
    fd = next;
    const char *part = key_path;
    while (fd >= 0) {
        const char *end = strchr(part, '\\');
        const size_t length = end != nullptr ? size_t(end - part) : strlen(part);
        char name[NAME_MAX + 1];
        if (length > NAME_MAX) {
            set_error(ENAMETOOLONG);
            close(fd);
            return -1;
        }
        memcpy(name, part, length);
        name[length] = '\0';
        next = open_child_dir(fd, name, create);
        close(fd);
        fd = next;
        if (end == nullptr) {
            break;
        }
        part = end + 1;
    }
    return fd;
}

int sim_world_open_lock(const char *device_name) {
    char dir[PATH_MAX];
    if (device_name == nullptr || !component_valid(device_name, strlen(device_name)) ||
        strlen(device_name) > NAME_MAX) {
        set_error(EINVAL);
        return -1;
    }
    if (!sim_world_dir(dir, sizeof dir)) {
        return -1;
    }
    const int top = open_trusted_dir(dir);
    if (top < 0) {
        return -1;
    }
    const int locks = open_child_dir(top, "locks", true);
    close(top);
    if (locks < 0) {
        return -1;
    }
    const int fd = openat(locks, device_name, O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0600);
    const int error = errno;
    close(locks);
    if (fd < 0) {
        set_error(error);
        return -1;
    }
    struct stat info;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        set_error(EINVAL);
        close(fd);
        return -1;
    }
    return fd;
}

bool sim_world_socket_path(const char *device_name, char *path, size_t size) {
    char dir[PATH_MAX];
    if (device_name == nullptr || !component_valid(device_name, strlen(device_name))) {
        set_error(ENOENT);
        return false;
    }
    if (!sim_world_dir(dir, sizeof dir)) {
        return false;
    }
    const int n = snprintf(path, size, "%s/%s", dir, device_name);
    if (n <= 0 || size_t(n) >= size || size_t(n) >= sizeof(sockaddr_un{}.sun_path)) {
        set_error(ENAMETOOLONG);
        return false;
    }
    return true;
}

bool sim_world_key_dir(const char *key_path, char *path, size_t size) {
    if (key_path == nullptr || !sim_world_dir(path, size)) {
        set_error(EINVAL);
        return false;
    }
    size_t used = strlen(path);
    const char *registry = "/registry";
    if (used + strlen(registry) >= size) {
        set_error(ENAMETOOLONG);
        return false;
    }
    strcpy(path + used, registry);
    used += strlen(registry);
    const char *part = key_path;
    for (;;) {
        const char *end = strchr(part, '\\');
        const size_t length = end != nullptr ? size_t(end - part) : strlen(part);
        if (!component_valid(part, length)) {
            set_error(EINVAL);
            return false;
        }
        if (used + 1 + length >= size) {
            set_error(ENAMETOOLONG);
            return false;
        }
        path[used++] = '/';
        memcpy(path + used, part, length);
        used += length;
        path[used] = '\0';
        if (end == nullptr) {
            return true;
        }
        part = end + 1;
    }
}

bool sim_world_create_key(const char *key_path) {
    const int fd = sim_world_open_key(key_path, true);
    if (fd < 0) {
        return false;
    }
    close(fd);
    return true;
}

static bool name_valid(const char *value_name) {
    if (value_name == nullptr || !component_valid(value_name, strlen(value_name)) ||
        strlen(value_name) > NAME_MAX) {
        set_error(EINVAL);
        return false;
    }
    return true;
}

bool sim_world_write_value(const char *key_path, const char *value_name, const void *data,
                           uint32_t size) {
    static unsigned temp_counter = 0;
    char temp[64];
    if ((data == nullptr && size != 0) || !name_valid(value_name)) {
        set_error(EINVAL);
        return false;
    }
    const int key = sim_world_open_key(key_path, false);
    if (key < 0) {
        return false;
    }
    snprintf(temp, sizeof temp, ".tmp-%ld-%u", (long)getpid(), temp_counter++);
    const int fd = openat(key, temp, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        set_error(errno);
        close(key);
        return false;
    }
    const char *bytes = static_cast<const char *>(data);
    uint32_t done = 0;
    bool ok = true;
    while (ok && done < size) {
        const ssize_t written = write(fd, bytes + done, size - done);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            set_error(written < 0 ? errno : EIO);
            ok = false;
        } else {
            done += uint32_t(written);
        }
    }
    if (close(fd) != 0 && ok) {
        set_error(errno);
        ok = false;
    }
    // rename replaces a link planted under the value's name; it never
    // writes through it.
    if (ok && renameat(key, temp, key, value_name) != 0) {
        set_error(errno);
        ok = false;
    }
    if (!ok) {
        unlinkat(key, temp, 0);
    }
    close(key);
    return ok;
}

bool sim_world_remove_value(const char *key_path, const char *value_name) {
    if (!name_valid(value_name)) {
        return false;
    }
    const int key = sim_world_open_key(key_path, false);
    if (key < 0) {
        return false;
    }
    const bool removed = unlinkat(key, value_name, 0) == 0 || errno == ENOENT;
    if (!removed) {
        set_error(errno);
    }
    close(key);
    return removed;
}
