// platform.h against the tarvel-sim daemon: a device is a connection to the
// daemon's Unix socket, the registry is the runtime directory's file tree
// (see sim_world.h), files are plain POSIX files.
//
// The simulated driver is an NT-family driver: platform_is_nt_family() is
// true, so the default device is \\.\trvlmd, the daemon's default name.
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

#include "driverlink/platform.h"
#include "driverlink/unfilled.h"
#include "driverlink/posix/platform_files.h"
#include "driverlink/common/registry_keys.h"
#include "simwire/sim_wire.h"
#include "simwire/sim_world.h"

namespace {

// Device handles lie in a range of their own, apart from key handles
// (registry_keys.h).
constexpr PlatformHandle DEVICE_HANDLE_BASE = 0x4000;
constexpr size_t DEVICE_SLOTS = 8;
constexpr int WIRE_TIMEOUT_SECONDS = 10;
constexpr size_t SMALL_REPLY_BYTES = 2048;
constexpr int REPLY_SPIN_ATTEMPTS = 20;  // non-blocking reads before waiting for a reply  // a daemon that stops answering fails the call
// Status calls go to a daemon that serves batches in batches of at most this
// many records, about what one status tick takes of a burst, each with the
// driver memory it points at: a burst costs a round trip per batch rather
// than one per record and one more per record that points at memory.
constexpr uint32_t BATCH_RECORDS = 1024;
constexpr size_t BATCH_BYTES = 65536;
static_assert(BATCH_BYTES >= WIRE_STATUS_ENTRY_MAX, "a batch holds at least its largest entry");

// A device handle: its connection and the device name it was opened by.
// A connection that broke (the daemon ended or was restarted) is opened
// anew on the next call through the handle, so a program that keeps the
// handle while ActiveModems stays nonzero reaches the new daemon.
struct DeviceSlot {
    bool used;
    int fd;  // -1 once the connection broke
    char name[WIRE_MAX_INPUT + 1];  // without the \\.\ prefix
    bool batches;          // the daemon serves status calls in batches
    uint32_t batch_left;   // records of the batch not handed out yet
    size_t batch_next;     // where the next one's entry starts
    size_t batch_size;     // bytes of the batch
    // The driver memory of the record handed out last (null: none known):
    // reads that it answers never reach the daemon.
    const unsigned char *reads;
    size_t reads_size;
    unsigned char batch[BATCH_BYTES];
};
DeviceSlot device_slots[DEVICE_SLOTS];
int memory_slot = -1;  // the connection that driver-memory reads go through

DeviceSlot *device_slot(PlatformHandle handle) {
    if (handle < DEVICE_HANDLE_BASE || handle >= DEVICE_HANDLE_BASE + PlatformHandle(DEVICE_SLOTS)) {
        return nullptr;
    }
    DeviceSlot *slot = &device_slots[handle - DEVICE_HANDLE_BASE];
    return slot->used ? slot : nullptr;
}

void break_connection(DeviceSlot *slot) {
    if (slot->fd >= 0) {
        close(slot->fd);
        slot->fd = -1;
    }
}

bool send_all(int fd, const void *data, size_t size) {
    const char *bytes = static_cast<const char *>(data);
    while (size > 0) {
        const ssize_t n = send(fd, bytes, size, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        bytes += n;
        size -= size_t(n);
    }
    return true;
}

bool receive_all(int fd, void *data, size_t size) {
    char *bytes = static_cast<char *>(data);
    while (size > 0) {
        const ssize_t n = recv(fd, bytes, size, 0);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        bytes += n;
        size -= size_t(n);
    }
    return true;
}

// One request and its reply. The reply's data go into output, never more
// than output_size bytes: a reply that claims more breaks the connection.
bool exchange(DeviceSlot *slot, uint32_t op, uint32_t code, const void *input, uint32_t input_size,
              void *output, uint32_t output_size, WireReply *reply) {
    if (slot->fd < 0 || input_size > WIRE_MAX_INPUT || (input == nullptr && input_size != 0)) {
        platform_set_last_error(slot->fd < 0 ? EPIPE : EINVAL);
        return false;
    }
    unsigned char message[sizeof(WireRequest) + WIRE_MAX_INPUT];
    const WireRequest request = {WIRE_MAGIC, op, code, input_size, output_size};
    memcpy(message, &request, sizeof request);
    if (input_size != 0) {
        memcpy(message + sizeof request, input, input_size);
    }
    if (!send_all(slot->fd, message, sizeof request + input_size)) {
        platform_set_last_error(EPIPE);
        break_connection(slot);
        return false;
    }
    // A small reply usually arrives whole: take header and data in one read
    // and keep reading only for what is missing.
    unsigned char first[sizeof(WireReply) + SMALL_REPLY_BYTES];
    const size_t first_size = output_size <= SMALL_REPLY_BYTES ? sizeof first : sizeof(WireReply);
    // The daemon usually answers within microseconds: asking a few times
    // without blocking saves the cost of being put to sleep and woken, which
    // on a small machine is most of a call's time.
    // A blocking read that times out (EAGAIN) fails the call.
    ssize_t got = -1;
    int attempt = 0;
    for (;;) {
        const bool spin = attempt < REPLY_SPIN_ATTEMPTS;
        got = recv(slot->fd, first, first_size, spin ? MSG_DONTWAIT : 0);
        if (got >= 0 || errno == EINTR) {
            if (got >= 0) {
                break;
            }
            continue;
        }
        if (!spin || (errno != EAGAIN && errno != EWOULDBLOCK)) {
            break;
        }
        ++attempt;
    }
    if (got <= 0 || (size_t(got) < sizeof(WireReply) &&
                     !receive_all(slot->fd, first + got, sizeof(WireReply) - size_t(got)))) {
        platform_set_last_error(EPIPE);
        break_connection(slot);
        return false;
    }
    memcpy(reply, first, sizeof *reply);
    const size_t early = size_t(got) > sizeof(WireReply) ? size_t(got) - sizeof(WireReply) : 0;
    if (reply->magic != WIRE_MAGIC || reply->data_size > output_size || early > reply->data_size) {
        platform_set_last_error(EPROTO);
        break_connection(slot);
        return false;
    }
    if (early != 0) {
        memcpy(output, first + sizeof(WireReply), early);
    }
    if (!receive_all(slot->fd, static_cast<unsigned char *>(output) + early, reply->data_size - early)) {
        platform_set_last_error(EPIPE);
        break_connection(slot);
        return false;
    }
    return true;
}

int connect_device(const char *socket_path) {
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        platform_set_last_error(errno);
        return -1;
    }
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    snprintf(address.sun_path, sizeof address.sun_path, "%s", socket_path);
    const timeval timeout = {WIRE_TIMEOUT_SECONDS, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
    if (connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0) {
        platform_set_last_error(errno);
        close(fd);
        return -1;
    }
    return fd;
}

// Reads until count bytes or the end of the file; -1 on an error.
ssize_t read_up_to(int fd, unsigned char *dest, size_t count) {
    size_t done = 0;
    while (done < count) {
        const ssize_t got = read(fd, dest + done, count - done);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            return -1;
        }
        if (got == 0) {
            break;
        }
        done += size_t(got);
    }
    return ssize_t(done);
}

void forget_batch(DeviceSlot *slot) {
    slot->batch_left = 0;
    slot->batch_next = slot->batch_size = 0;
    slot->reads = nullptr;
    slot->reads_size = 0;
}

// Connects to the device's socket and opens the device by name; the
// connection's descriptor, or -1.
int open_connection(DeviceSlot *slot) {
    char socket_path[sizeof(sockaddr_un{}.sun_path)];
    if (!sim_world_socket_path(slot->name, socket_path, sizeof socket_path) || !sim_world_trusted()) {
        platform_set_last_error(errno);
        return -1;
    }
    forget_batch(slot);
    slot->fd = connect_device(socket_path);
    if (slot->fd < 0) {
        return -1;
    }
    WireReply reply;
    if (!exchange(slot, WIRE_OPEN, 0, slot->name, uint32_t(strlen(slot->name)), nullptr, 0, &reply) ||
        reply.result != 1) {
        platform_set_last_error(ENODEV);
        break_connection(slot);
        return -1;
    }
    slot->batches = reply.returned >= 2;  // a daemon of the first version says 0
    return slot->fd;
}

// The slot's connection, opened anew when it broke; false when it cannot be.
void close_key_directory(int directory) {
    if (directory >= 0) {
        close(directory);
    }
}

bool connection_ready(DeviceSlot *slot) {
    return slot->fd >= 0 || open_connection(slot) >= 0;
}

// A status call served from the slot's batch, fetching the next batch when
// it is used up: the record's 40 bytes and the count reported for it.
bool batched_status(DeviceSlot *slot, void *output, uint32_t output_size, uint32_t *returned) {
    slot->reads = nullptr;
    slot->reads_size = 0;
    if (slot->batch_left == 0) {
        forget_batch(slot);
        WireReply reply;
        if (!exchange(slot, WIRE_STATUS_BATCH, BATCH_RECORDS, nullptr, 0, slot->batch, sizeof slot->batch, &reply)) {
            return false;
        }
        slot->batch_left = reply.returned;
        slot->batch_size = reply.data_size;
        if (slot->batch_left == 0) {
            return reply.result == 1;  // the queue is empty: nothing delivered
        }
    }
    WireStatusEntry entry;
    const size_t rest = slot->batch_size - slot->batch_next;
    if (rest >= sizeof entry) {
        memcpy(&entry, slot->batch + slot->batch_next, sizeof entry);
    }
    if (rest < sizeof entry || entry.reads_size > rest - sizeof entry) {  // the daemon broke the protocol
        platform_set_last_error(EPROTO);
        break_connection(slot);
        forget_batch(slot);
        return false;
    }
    memcpy(output, entry.record, WIRE_RECORD_BYTES);
    slot->reads = slot->batch + slot->batch_next + sizeof entry;
    slot->reads_size = entry.reads_size;
    slot->batch_next += sizeof entry + entry.reads_size;
    --slot->batch_left;
    if (returned != nullptr) {
        *returned = entry.returned;
    }
    clear_unfilled(IOCTL_TARVEL_GET_STATUS, output, output_size, WIRE_RECORD_BYTES, entry.returned);
    return true;
}

size_t read_daemon_memory(void *, uint32_t address, unsigned char *dest, size_t count) {
    if (memory_slot < 0 || !device_slots[memory_slot].used || dest == nullptr) {
        return 0;
    }
    DeviceSlot *slot = &device_slots[memory_slot];
    size_t answered = 0;
    if (slot->reads != nullptr && wire_find_read(slot->reads, slot->reads_size, address, dest, count, &answered)) {
        return answered;
    }
    if (!connection_ready(slot)) {
        return 0;
    }
    size_t done = 0;
    while (done < count && uint64_t(address) + done <= 0xFFFFFFFFu) {
        const size_t want = count - done < WIRE_MAX_MEMORY_READ ? count - done : WIRE_MAX_MEMORY_READ;
        WireReply reply;
        if (!exchange(slot, WIRE_READ_MEMORY, uint32_t(address + done), nullptr, 0, dest + done,
                      uint32_t(want), &reply)) {
            break;
        }
        done += reply.data_size;
        if (reply.data_size < want) {
            break;
        }
    }
    return done;
}

}  // namespace

bool platform_is_nt_family() {
    return true;
}

PlatformHandle platform_open_device(const char *name) {
    if (name == nullptr || strncmp(name, "\\\\.\\", 4) != 0 || strlen(name + 4) > WIRE_MAX_INPUT) {
        platform_set_last_error(ENOENT);
        return NO_HANDLE;
    }
    size_t index = 0;
    while (index < DEVICE_SLOTS && device_slots[index].used) {
        ++index;
    }
    if (index == DEVICE_SLOTS) {
        platform_set_last_error(EMFILE);
        return NO_HANDLE;
    }
    DeviceSlot *slot = &device_slots[index];
    snprintf(slot->name, sizeof slot->name, "%s", name + 4);
    if (open_connection(slot) < 0) {
        return NO_HANDLE;
    }
    slot->used = true;
    memory_slot = int(index);
    return DEVICE_HANDLE_BASE + PlatformHandle(index);
}

void platform_close_device(PlatformHandle handle) {
    if (DeviceSlot *slot = device_slot(handle)) {
        // Records of a batch left unused go back to the driver's queue, where
        // they would still be without batches.
        if (slot->batch_left != 0 && slot->fd >= 0) {
            WireReply reply;
            exchange(slot, WIRE_STATUS_RETURN, slot->batch_left, nullptr, 0, nullptr, 0, &reply);
        }
        forget_batch(slot);
        break_connection(slot);
        slot->used = false;
        if (memory_slot == int(handle - DEVICE_HANDLE_BASE)) {
            memory_slot = -1;
        }
    }
}

bool platform_device_control(PlatformHandle handle, uint32_t code, const void *input,
                             uint32_t input_size, void *output, uint32_t output_size,
                             uint32_t *returned) {
    if (returned != nullptr) {
        *returned = 0;
    }
    DeviceSlot *slot = device_slot(handle);
    if (slot == nullptr) {
        platform_set_last_error(EBADF);
        return false;
    }
    if (output == nullptr) {
        output_size = 0;
    }
    // No call has a larger buffer: the daemon never delivers more than this.
    if (output_size > WIRE_MAX_OUTPUT) {
        output_size = WIRE_MAX_OUTPUT;
    }
    if (!connection_ready(slot)) {
        return false;
    }
    if (code == IOCTL_TARVEL_GET_STATUS && slot->batches && output_size >= WIRE_RECORD_BYTES) {
        return batched_status(slot, output, output_size, returned);
    }
    WireReply reply;
    if (!exchange(slot, WIRE_CONTROL, code, input, input_size, output, output_size, &reply)) {
        return false;
    }
    if (returned != nullptr) {
        *returned = reply.returned;
    }
    clear_unfilled(code, output, output_size, reply.data_size, reply.returned);
    return reply.result == 1;
}

PlatformHandle platform_open_key(const char *key_path, unsigned access) {
    if (!key_request_valid(key_path, access)) {
        return NO_HANDLE;
    }
    // The key's directory is walked once, link-safe, and kept open with the
    // handle: every value read through the handle starts from it.
    const int key = sim_world_open_key(key_path, false);
    if (key < 0) {
        platform_set_last_error(errno);
        return NO_HANDLE;
    }
    const PlatformHandle handle = open_key_slot(key_path, access);
    if (handle == NO_HANDLE) {
        close(key);
        return NO_HANDLE;
    }
    KeySlot *slot = key_slot(handle);
    slot->resource = key;
    slot->release = close_key_directory;
    return handle;
}

ValueRead platform_read_value(PlatformHandle key, const char *value_name, void *buffer,
                              uint32_t *size) {
    KeySlot *slot = key_slot(key);
    if (slot == nullptr || (slot->access & REGISTRY_QUERY) == 0 || value_name == nullptr ||
        size == nullptr || value_name[0] == '\0' || value_name[0] == '.' ||
        strchr(value_name, '/') != nullptr) {
        platform_set_last_error(slot == nullptr ? EBADF : EINVAL);
        return VALUE_FAILED;
    }
    // O_NONBLOCK: something other than a plain file in the registry (a
    // FIFO) must not hang the program. A key whose directory has gone (the
    // daemon removed its world) has no values any more.
    const int fd = openat(slot->resource, value_name, O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    const int open_error = errno;
    if (fd < 0) {
        platform_set_last_error(open_error);
        return open_error == ENOENT ? VALUE_MISSING : VALUE_FAILED;
    }
    // The common small value is read in one go, one byte more than the
    // buffer holds to tell whether it fits; only a larger one needs its size.
    unsigned char bytes[4096 + 1];
    ValueRead result = VALUE_FAILED;
    if (*size < sizeof bytes) {
        // Registry values are plain files written whole by rename: one read
        // that comes back short has reached the end of the value.
        ssize_t got;
        do {
            got = read(fd, bytes, *size + 1);
        } while (got < 0 && errno == EINTR);
        if (got >= 0 && size_t(got) <= *size) {
            if (got != 0) {
                if (buffer == nullptr) {
                    close(fd);
                    *size = uint32_t(got);
                    return VALUE_TOO_LARGE;
                }
                memcpy(buffer, bytes, size_t(got));
            }
            *size = uint32_t(got);
            close(fd);
            return VALUE_READ;
        }
        if (got < 0) {
            platform_set_last_error(errno);
            close(fd);
            return VALUE_FAILED;
        }
    }
    struct stat info;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        platform_set_last_error(EINVAL);
    } else if (uint64_t(info.st_size) > *size || (buffer == nullptr && info.st_size != 0)) {
        *size = info.st_size > 0xFFFFFFFF ? 0xFFFFFFFFu : uint32_t(info.st_size);
        platform_set_last_error(ERANGE);
        result = VALUE_TOO_LARGE;
    } else {
        // Larger than the local copy: read straight into the buffer.
        const ssize_t got = lseek(fd, 0, SEEK_SET) == 0 ? read_up_to(fd, static_cast<unsigned char *>(buffer),
                                                                     size_t(info.st_size))
                                                        : -1;
        if (got == info.st_size) {
            *size = uint32_t(got);
            result = VALUE_READ;
        } else {
            platform_set_last_error(EIO);
        }
    }
    close(fd);
    return result;
}

bool platform_write_value(PlatformHandle key, const char *value_name, const void *data,
                          uint32_t size) {
    KeySlot *slot = key_slot(key);
    if (slot == nullptr || (slot->access & REGISTRY_SET) == 0) {
        platform_set_last_error(slot == nullptr ? EBADF : EACCES);
        return false;
    }
    if (!sim_world_write_value(slot->path, value_name, data, size)) {
        platform_set_last_error(errno);
        return false;
    }
    return true;
}

PlatformHandle platform_lock_capture(const char *name) {
    if (name == nullptr || strncmp(name, "\\\\.\\", 4) != 0) {
        platform_set_last_error(ENOENT);
        return NO_HANDLE;
    }
    const int fd = sim_world_open_lock(name + 4);
    if (fd < 0) {
        platform_set_last_error(errno);
        return NO_HANDLE;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        platform_set_last_error(errno == EWOULDBLOCK ? EBUSY : errno);
        close(fd);
        return NO_HANDLE;
    }
    return fd;
}

void platform_unlock_capture(PlatformHandle lock) {
    if (lock >= 0 && lock <= INT_MAX) {
        close(int(lock));  // drops the flock
    }
}

int platform_capture_busy_error() {
    return EBUSY;
}

void platform_sleep(unsigned milliseconds) {
    timespec rest = {time_t(milliseconds / 1000), long(milliseconds % 1000) * 1000000L};
    while (nanosleep(&rest, &rest) != 0 && errno == EINTR) {
    }
}

size_t platform_read_driver_memory(uint32_t address, unsigned char *dest, size_t count) {
    return read_daemon_memory(nullptr, address, dest, count);
}
