// platform.h over the simulated driver's core in the same process.
#include "driverlink/inproc/platform_inproc.h"

#include <cerrno>
#include <cstring>
#include <vector>

#include "driverlink/platform.h"
#include "driverlink/common/registry_keys.h"
#include "driverlink/unfilled.h"
#include "simulator/sim.h"
#include "simulator/sim_internal.h"

namespace {

bool nt_family = true;

// Device handles are small numbers in a range of their own, apart from key
// handles (registry_keys.h), so that a handle of one kind is never taken for
// another.
constexpr PlatformHandle DEVICE_HANDLE_BASE = 0x4000;
constexpr size_t DEVICE_SLOTS = 8;

bool device_slots[DEVICE_SLOTS];

bool device_handle_open(PlatformHandle handle) {
    return handle >= DEVICE_HANDLE_BASE && handle < DEVICE_HANDLE_BASE + PlatformHandle(DEVICE_SLOTS) &&
           device_slots[handle - DEVICE_HANDLE_BASE];
}

// Capture locks: the device names whose lock a handle holds, so that a
// second take in the same process fails as it fails across processes.
constexpr PlatformHandle LOCK_HANDLE_BASE = 0x5000;
constexpr size_t LOCK_SLOTS = 8;
constexpr size_t LOCK_NAME_BYTES = 96;
char lock_names[LOCK_SLOTS][LOCK_NAME_BYTES];  // empty: slot free

}  // namespace

void inproc_set_nt_family(bool nt) {
    nt_family = nt;
}

size_t inproc_open_keys() {
    return open_key_slots();
}

size_t inproc_open_devices() {
    size_t open = 0;
    for (bool used : device_slots) {
        open += used ? 1 : 0;
    }
    return open;
}

void inproc_reset() {
    nt_family = true;
    memset(device_slots, 0, sizeof device_slots);
    memset(lock_names, 0, sizeof lock_names);
    reset_key_slots();
    platform_set_last_error(0);
}

bool platform_is_nt_family() {
    return nt_family;
}

PlatformHandle platform_open_device(const char *name) {
    size_t slot = 0;
    while (slot < DEVICE_SLOTS && device_slots[slot]) {
        ++slot;
    }
    if (slot == DEVICE_SLOTS) {
        platform_set_last_error(EMFILE);
        return NO_HANDLE;
    }
    if (!sim_open_device(name)) {
        platform_set_last_error(ENOENT);
        return NO_HANDLE;
    }
    device_slots[slot] = true;
    return DEVICE_HANDLE_BASE + PlatformHandle(slot);
}

void platform_close_device(PlatformHandle handle) {
    if (device_handle_open(handle)) {
        device_slots[handle - DEVICE_HANDLE_BASE] = false;
        sim_close_device();
    }
}

bool platform_device_control(PlatformHandle handle, uint32_t code, const void *input,
                             uint32_t input_size, void *output, uint32_t output_size,
                             uint32_t *returned) {
    if (returned != nullptr) {
        *returned = 0;
    }
    if (!device_handle_open(handle)) {
        platform_set_last_error(EBADF);
        return false;
    }
    uint32_t filled = 0;
    const bool done = sim_device_control_bytes(code, input, input_size, output, output_size,
                                               returned, &filled);
    clear_unfilled(code, output, output_size, filled, returned != nullptr ? *returned : 0);
    return done;
}

PlatformHandle platform_open_key(const char *key_path, unsigned access) {
    if (!key_request_valid(key_path, access)) {
        return NO_HANDLE;
    }
    if (!sim_key_exists(key_path)) {
        platform_set_last_error(ENOENT);
        return NO_HANDLE;
    }
    return open_key_slot(key_path, access);
}

ValueRead platform_read_value(PlatformHandle key, const char *value_name, void *buffer,
                              uint32_t *size) {
    KeySlot *slot = key_slot(key);
    if (slot == nullptr || (slot->access & REGISTRY_QUERY) == 0 || value_name == nullptr ||
        size == nullptr || !sim_key_exists(slot->path)) {
        platform_set_last_error(slot == nullptr ? EBADF : EACCES);
        return VALUE_FAILED;
    }
    const std::vector<unsigned char> *value = sim_find_value(slot->path, value_name);
    if (value == nullptr) {
        platform_set_last_error(ENOENT);
        return VALUE_MISSING;
    }
    if (value->size() > *size || (buffer == nullptr && !value->empty())) {
        *size = uint32_t(value->size());
        platform_set_last_error(ERANGE);
        return VALUE_TOO_LARGE;
    }
    if (!value->empty()) {
        memcpy(buffer, value->data(), value->size());
    }
    *size = uint32_t(value->size());
    return VALUE_READ;
}

bool platform_write_value(PlatformHandle key, const char *value_name, const void *data,
                          uint32_t size) {
    KeySlot *slot = key_slot(key);
    if (slot == nullptr || (slot->access & REGISTRY_SET) == 0 || value_name == nullptr ||
        (data == nullptr && size != 0) || !sim_key_exists(slot->path)) {
        platform_set_last_error(slot == nullptr ? EBADF : EACCES);
        return false;
    }
    sim_set_value(slot->path, value_name, data, size);
    return true;
}

PlatformHandle platform_lock_capture(const char *name) {
    if (name == nullptr || name[0] == '\0' || strlen(name) >= LOCK_NAME_BYTES) {
        platform_set_last_error(ENOENT);
        return NO_HANDLE;
    }
    size_t free_slot = LOCK_SLOTS;
    for (size_t i = 0; i < LOCK_SLOTS; ++i) {
        if (strcmp(lock_names[i], name) == 0) {
            platform_set_last_error(EBUSY);
            return NO_HANDLE;
        }
        if (lock_names[i][0] == '\0' && free_slot == LOCK_SLOTS) {
            free_slot = i;
        }
    }
    if (free_slot == LOCK_SLOTS) {
        platform_set_last_error(EMFILE);
        return NO_HANDLE;
    }
    memcpy(lock_names[free_slot], name, strlen(name) + 1);
    return LOCK_HANDLE_BASE + PlatformHandle(free_slot);
}

void platform_unlock_capture(PlatformHandle lock) {
    if (lock >= LOCK_HANDLE_BASE && lock < LOCK_HANDLE_BASE + PlatformHandle(LOCK_SLOTS)) {
        lock_names[lock - LOCK_HANDLE_BASE][0] = '\0';
    }
}

int platform_capture_busy_error() {
    return EBUSY;
}

// Sleeping lets virtual time pass at once: a program under test runs
// through a played trace at full speed and deterministically.
void platform_sleep(unsigned milliseconds) {
    sim_advance(milliseconds);
}
