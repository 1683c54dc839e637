// The driver half of platform.h over the simulated driver in the same
// process, for programs and tests linked against it: every call goes to one
// process-wide InprocDriverSource. Files are the host's own (the platform's
// files library).
#include "simulator/inproc/platform_inproc.h"

#include <cerrno>

#include "driverlink/platform.h"
#include "simulator/inproc/inproc_source.h"

InprocDriverSource &inproc_source() {
    static InprocDriverSource source;
    return source;
}

void inproc_set_nt_family(bool nt_family) { inproc_source().set_nt_family(nt_family); }
size_t inproc_open_keys() { return inproc_source().open_keys(); }
size_t inproc_open_devices() { return inproc_source().open_devices(); }
void inproc_reset() { inproc_source().reset(); }

bool platform_is_nt_family() { return inproc_source().nt_family(); }

PlatformHandle platform_open_device(const char *name) { return inproc_source().open_device(name); }

void platform_close_device(PlatformHandle handle) { inproc_source().close_device(handle); }

bool platform_device_control(PlatformHandle handle, uint32_t code, const void *input,
                             uint32_t input_size, void *output, uint32_t output_size,
                             uint32_t *returned) {
    return inproc_source().device_control(handle, code, input, input_size, output, output_size, returned);
}

PlatformHandle platform_open_key(const char *key_path, unsigned access) {
    return inproc_source().open_key(key_path, access);
}

void platform_close_key(PlatformHandle key) { inproc_source().close_key(key); }

ValueRead platform_read_value(PlatformHandle key, const char *value_name, void *buffer,
                              uint32_t *size) {
    return inproc_source().read_value(key, value_name, buffer, size);
}

bool platform_write_value(PlatformHandle key, const char *value_name, const void *data,
                          uint32_t size) {
    return inproc_source().write_value(key, value_name, data, size);
}

void platform_sleep(unsigned milliseconds) { inproc_source().sleep(milliseconds); }

size_t platform_read_driver_memory(uint32_t address, unsigned char *dest, size_t count) {
    return inproc_source().read_memory(address, dest, count);
}

PlatformHandle platform_lock_capture(const char *device_name) {
    return inproc_source().lock_capture(device_name);
}

void platform_unlock_capture(PlatformHandle lock) { inproc_source().unlock_capture(lock); }

int platform_capture_busy_error() { return EBUSY; }
