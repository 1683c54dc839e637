// The simulated driver's runtime directory: device sockets and the registry
// as a tree of directories and files.
#include "driverlink/posix/sim_world.h"

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

#include "driverlink/posix/platform_files.h"

namespace {

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
    platform_set_last_error(errno == EEXIST ? ENOTDIR : errno);
    return false;
}

bool value_path(const char *key_path, const char *value_name, char *path, size_t size) {
    char dir[PATH_MAX];
    if (value_name == nullptr || !component_valid(value_name, strlen(value_name)) ||
        !sim_world_key_dir(key_path, dir, sizeof dir)) {
        return false;
    }
    const int n = snprintf(path, size, "%s/%s", dir, value_name);
    return n > 0 && size_t(n) < size;
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
        platform_set_last_error(ENAMETOOLONG);
        return false;
    }
    return true;
}

bool sim_world_prepare() {
    char dir[PATH_MAX];
    if (!sim_world_dir(dir, sizeof dir) || !make_directory(dir)) {
        return false;
    }
    // A directory in a shared place such as /tmp may have been made by
    // someone else: use it only when it is ours, and keep it private.
    struct stat info;
    if (lstat(dir, &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != getuid()) {
        platform_set_last_error(EPERM);
        return false;
    }
    if ((info.st_mode & 077) != 0 && chmod(dir, 0700) != 0) {
        platform_set_last_error(errno);
        return false;
    }
    char registry[PATH_MAX];
    const int n = snprintf(registry, sizeof registry, "%s/registry", dir);
    return n > 0 && size_t(n) < sizeof registry && make_directory(registry);
}

bool sim_world_trusted() {
    char dir[PATH_MAX];
    struct stat info;
    if (!sim_world_dir(dir, sizeof dir) || lstat(dir, &info) != 0) {
        platform_set_last_error(errno);
        return false;
    }
    if (!S_ISDIR(info.st_mode) || info.st_uid != getuid() || (info.st_mode & 022) != 0) {
        platform_set_last_error(EPERM);
        return false;
    }
    return true;
}

bool sim_world_socket_path(const char *device_name, char *path, size_t size) {
    char dir[PATH_MAX];
    if (device_name == nullptr || !component_valid(device_name, strlen(device_name))) {
        platform_set_last_error(ENOENT);
        return false;
    }
    if (!sim_world_dir(dir, sizeof dir)) {
        return false;
    }
    const int n = snprintf(path, size, "%s/%s", dir, device_name);
    if (n <= 0 || size_t(n) >= size || size_t(n) >= sizeof(sockaddr_un{}.sun_path)) {
        platform_set_last_error(ENAMETOOLONG);
        return false;
    }
    return true;
}

bool sim_world_key_dir(const char *key_path, char *path, size_t size) {
    if (key_path == nullptr || !sim_world_dir(path, size)) {
        platform_set_last_error(EINVAL);
        return false;
    }
    size_t used = strlen(path);
    const char *registry = "/registry";
    if (used + strlen(registry) >= size) {
        platform_set_last_error(ENAMETOOLONG);
        return false;
    }
    strcpy(path + used, registry);
    used += strlen(registry);
    const char *part = key_path;
    for (;;) {
        const char *end = strchr(part, '\\');
        const size_t length = end != nullptr ? size_t(end - part) : strlen(part);
        if (!component_valid(part, length)) {
            platform_set_last_error(EINVAL);
            return false;
        }
        if (used + 1 + length >= size) {
            platform_set_last_error(ENAMETOOLONG);
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
    char path[PATH_MAX];
    char dir[PATH_MAX];
    if (!sim_world_key_dir(key_path, path, sizeof path) || !sim_world_dir(dir, sizeof dir)) {
        return false;
    }
    // Make each directory below the runtime directory in turn.
    for (size_t i = strlen(dir) + 1; path[i] != '\0'; ++i) {
        if (path[i] == '/') {
            path[i] = '\0';
            const bool made = make_directory(path);
            path[i] = '/';
            if (!made) {
                return false;
            }
        }
    }
    return make_directory(path);
}

bool sim_world_write_value(const char *key_path, const char *value_name, const void *data,
                           uint32_t size) {
    static unsigned temp_counter = 0;
    char path[PATH_MAX];
    char temp[PATH_MAX];
    char dir[PATH_MAX];
    if ((data == nullptr && size != 0) || !value_path(key_path, value_name, path, sizeof path) ||
        !sim_world_key_dir(key_path, dir, sizeof dir)) {
        return false;
    }
    const int n = snprintf(temp, sizeof temp, "%s/.tmp-%ld-%u", dir, (long)getpid(), temp_counter++);
    if (n <= 0 || size_t(n) >= sizeof temp) {
        platform_set_last_error(ENAMETOOLONG);
        return false;
    }
    const int fd = open(temp, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        platform_set_last_error(errno);
        return false;
    }
    const char *bytes = static_cast<const char *>(data);
    uint32_t done = 0;
    while (done < size) {
        const ssize_t written = write(fd, bytes + done, size - done);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            platform_set_last_error(written < 0 ? errno : EIO);
            close(fd);
            unlink(temp);
            return false;
        }
        done += uint32_t(written);
    }
    if (close(fd) != 0 || rename(temp, path) != 0) {
        platform_set_last_error(errno);
        unlink(temp);
        return false;
    }
    return true;
}

bool sim_world_remove_value(const char *key_path, const char *value_name) {
    char path[PATH_MAX];
    if (!value_path(key_path, value_name, path, sizeof path)) {
        return false;
    }
    if (unlink(path) != 0 && errno != ENOENT) {
        platform_set_last_error(errno);
        return false;
    }
    return true;
}
