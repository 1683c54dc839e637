// The in-process simulated driver behind the DriverSource interface.
#include "simulator/inproc/inproc_source.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "driverlink/unfilled.h"
#include "simulator/sim.h"

namespace {
// Device and key handles lie in ranges of their own, so that a handle of
// one kind is never taken for another.
constexpr PlatformHandle DEVICE_HANDLE_BASE = 0x4000;
constexpr PlatformHandle KEY_HANDLE_BASE = 0x5000;
constexpr PlatformHandle LOCK_HANDLE_BASE = 0x6000;
}  // namespace

bool InprocDriverSource::device_open(PlatformHandle handle) const {
    return handle >= DEVICE_HANDLE_BASE && handle < DEVICE_HANDLE_BASE + PlatformHandle(DEVICE_SLOTS) &&
           devices_[handle - DEVICE_HANDLE_BASE];
}

InprocDriverSource::Key *InprocDriverSource::key(PlatformHandle handle) {
    if (handle < KEY_HANDLE_BASE || handle >= KEY_HANDLE_BASE + PlatformHandle(KEY_SLOTS)) {
        return nullptr;
    }
    Key *slot = &keys_[handle - KEY_HANDLE_BASE];
    return slot->used ? slot : nullptr;
}

size_t InprocDriverSource::open_devices() const {
    size_t open = 0;
    for (bool used : devices_) {
        open += used ? 1 : 0;
    }
    return open;
}

size_t InprocDriverSource::open_keys() const {
    size_t open = 0;
    for (const Key &slot : keys_) {
        open += slot.used ? 1 : 0;
    }
    return open;
}

void InprocDriverSource::reset() {
    nt_family_ = true;
    memset(devices_, 0, sizeof devices_);
    memset(keys_, 0, sizeof keys_);
    platform_set_last_error(0);
}

PlatformHandle InprocDriverSource::open_device(const char *path) {
    size_t slot = 0;
    while (slot < DEVICE_SLOTS && devices_[slot]) {
        ++slot;
    }
    if (slot == DEVICE_SLOTS) {
        platform_set_last_error(EMFILE);
        return NO_HANDLE;
    }
    if (!sim_open_device(path)) {
        platform_set_last_error(ENOENT);
        return NO_HANDLE;
    }
    devices_[slot] = true;
    return DEVICE_HANDLE_BASE + PlatformHandle(slot);
}

void InprocDriverSource::close_device(PlatformHandle handle) {
    if (device_open(handle)) {
        devices_[handle - DEVICE_HANDLE_BASE] = false;
        sim_close_device();
    }
}

bool InprocDriverSource::device_control(PlatformHandle handle, uint32_t code, const void *input,
                                        uint32_t input_size, void *output, uint32_t output_size,
                                        uint32_t *returned) {
    if (returned != nullptr) {
        *returned = 0;
    }
    if (!device_open(handle)) {
        platform_set_last_error(EBADF);
        return false;
    }
    uint32_t filled = 0;
    const bool done = sim_device_control_bytes(code, input, input_size, output, output_size,
                                               returned, &filled);
    clear_unfilled(code, output, output_size, filled, returned != nullptr ? *returned : 0);
    return done;
}

PlatformHandle InprocDriverSource::open_key(const char *key_path, unsigned access) {
    if (key_path == nullptr || strlen(key_path) >= KEY_PATH_BYTES || access == 0 ||
        (access & ~(REGISTRY_QUERY | REGISTRY_SET)) != 0) {
        platform_set_last_error(EINVAL);
        return NO_HANDLE;
    }
    if (!sim_key_exists(key_path)) {
        platform_set_last_error(ENOENT);
        return NO_HANDLE;
    }
    for (size_t i = 0; i < KEY_SLOTS; ++i) {
        if (!keys_[i].used) {
            keys_[i].used = true;
            keys_[i].access = access;
            snprintf(keys_[i].path, KEY_PATH_BYTES, "%s", key_path);
            return KEY_HANDLE_BASE + PlatformHandle(i);
        }
    }
    platform_set_last_error(EMFILE);
    return NO_HANDLE;
}

void InprocDriverSource::close_key(PlatformHandle handle) {
    if (Key *slot = key(handle)) {
        slot->used = false;
    }
}

ValueRead InprocDriverSource::read_value(PlatformHandle handle, const char *value_name, void *buffer,
                                         uint32_t *size) {
    Key *slot = key(handle);
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

bool InprocDriverSource::write_value(PlatformHandle handle, const char *value_name, const void *data,
                                     uint32_t size) {
    Key *slot = key(handle);
    if (slot == nullptr || (slot->access & REGISTRY_SET) == 0 || value_name == nullptr ||
        (data == nullptr && size != 0) || !sim_key_exists(slot->path)) {
        platform_set_last_error(slot == nullptr ? EBADF : EACCES);
        return false;
    }
    sim_set_value(slot->path, value_name, data, size);
    return true;
}

size_t InprocDriverSource::read_memory(uint32_t address, unsigned char *dest, size_t count) {
    return sim_read_record_memory(address, dest, count);
}

// Sleeping lets virtual time pass at once.
void InprocDriverSource::sleep(unsigned milliseconds) { sim_advance(milliseconds); }

// The simulated driver keeps the capture locks of every program in this
// process, so that a second take fails here as it fails across processes.
PlatformHandle InprocDriverSource::lock_capture(const char *device_name) {
    const int lock = sim_lock_capture(device_name);
    if (lock < 0) {
        platform_set_last_error(lock == SIM_LOCK_BUSY ? EBUSY : EMFILE);
        return NO_HANDLE;
    }
    return LOCK_HANDLE_BASE + PlatformHandle(lock);
}

void InprocDriverSource::unlock_capture(PlatformHandle lock) {
    if (lock >= LOCK_HANDLE_BASE) {
        sim_unlock_capture(int(lock - LOCK_HANDLE_BASE));
    }
}
