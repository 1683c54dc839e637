// The key-slot table behind platform_open_key, and platform_close_key.
#include "driverlink/common/registry_keys.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "driverlink/platform.h"

namespace {
KeySlot key_slots[KEY_SLOTS];
}  // namespace

bool key_request_valid(const char *key_path, unsigned access) {
    if (key_path == nullptr || strlen(key_path) >= KEY_PATH_BYTES || access == 0 ||
        (access & ~(REGISTRY_QUERY | REGISTRY_SET)) != 0) {
        platform_set_last_error(EINVAL);
        return false;
    }
    return true;
}

PlatformHandle open_key_slot(const char *key_path, unsigned access) {
    for (size_t i = 0; i < KEY_SLOTS; ++i) {
        if (!key_slots[i].used) {
            key_slots[i].used = true;
            key_slots[i].access = access;
            snprintf(key_slots[i].path, KEY_PATH_BYTES, "%s", key_path);
            key_slots[i].resource = -1;
            key_slots[i].release = nullptr;
            return KEY_HANDLE_BASE + PlatformHandle(i);
        }
    }
    platform_set_last_error(EMFILE);
    return NO_HANDLE;
}

KeySlot *key_slot(PlatformHandle handle) {
    if (handle < KEY_HANDLE_BASE || handle >= KEY_HANDLE_BASE + PlatformHandle(KEY_SLOTS)) {
        return nullptr;
    }
    KeySlot *slot = &key_slots[handle - KEY_HANDLE_BASE];
    return slot->used ? slot : nullptr;
}

// Frees the slot of an open key handle; other handles are ignored.
void platform_close_key(PlatformHandle key) {
    if (KeySlot *slot = key_slot(key)) {
        if (slot->release != nullptr) {
            slot->release(slot->resource);
        }
        slot->used = false;
    }
}

size_t open_key_slots() {
    size_t open = 0;
    for (const KeySlot &slot : key_slots) {
        open += slot.used ? 1 : 0;
    }
    return open;
}

void reset_key_slots() {
    for (KeySlot &slot : key_slots) {
        if (slot.used && slot.release != nullptr) {
            slot.release(slot.resource);
        }
    }
    memset(key_slots, 0, sizeof key_slots);
}
