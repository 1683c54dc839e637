// Open registry keys of the simulated driver's backends (in-process on any
// host, and the POSIX daemon client): a small table of slots, each holding
// the path and access that a key handle was opened with, and platform_close_key over it. Each backend
// checks on its own that a key exists and reads and writes its values.
#pragma once

#include <cstddef>

#include "driverlink/platform.h"

// Key handles lie in a range of their own so that a handle of another kind
// is never taken for a key.
constexpr PlatformHandle KEY_HANDLE_BASE = 0x5000;
constexpr size_t KEY_SLOTS = 32;
constexpr size_t KEY_PATH_BYTES = 256;

struct KeySlot {
    bool used;
    unsigned access;
    char path[KEY_PATH_BYTES];
    // A backend's own resource behind the key (the POSIX backend's open
    // directory, so that reading a value does not walk the path again), and
    // how platform_close_key lets it go; release is null when there is none.
    int resource;
    void (*release)(int resource);
};

// Whether a key may be opened by that path with that access: a path that
// fits a slot and access of REGISTRY_QUERY and/or REGISTRY_SET only. When
// not, records EINVAL as the last error.
bool key_request_valid(const char *key_path, unsigned access);

// Takes a free slot for a checked request and returns its handle; NO_HANDLE
// with EMFILE as the last error when every slot is taken.
PlatformHandle open_key_slot(const char *key_path, unsigned access);

// The open slot of a handle, or nullptr for any other handle.
KeySlot *key_slot(PlatformHandle handle);

// How many key handles are open.
size_t open_key_slots();

// Frees every slot.
void reset_key_slots();
