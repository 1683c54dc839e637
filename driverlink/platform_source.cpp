// The platform's own driver as a DriverSource: each operation is the
// platform layer's.
// Compiled into each platform backend, beside the functions it calls.
#include "driverlink/driver_source.h"

bool PlatformDriverSource::nt_family() { return platform_is_nt_family(); }

PlatformHandle PlatformDriverSource::open_device(const char *path) {
    return platform_open_device(path);
}

void PlatformDriverSource::close_device(PlatformHandle device) { platform_close_device(device); }

bool PlatformDriverSource::device_control(PlatformHandle device, uint32_t code, const void *input,
                                          uint32_t input_size, void *output, uint32_t output_size,
                                          uint32_t *returned) {
    return platform_device_control(device, code, input, input_size, output, output_size, returned);
}

PlatformHandle PlatformDriverSource::open_key(const char *key_path, unsigned access) {
    return platform_open_key(key_path, access);
}

void PlatformDriverSource::close_key(PlatformHandle key) { platform_close_key(key); }

ValueRead PlatformDriverSource::read_value(PlatformHandle key, const char *value_name, void *buffer,
                                           uint32_t *size) {
    return platform_read_value(key, value_name, buffer, size);
}

bool PlatformDriverSource::write_value(PlatformHandle key, const char *value_name, const void *data,
                                       uint32_t size) {
    return platform_write_value(key, value_name, data, size);
}

size_t PlatformDriverSource::read_memory(uint32_t address, unsigned char *dest, size_t count) {
    return platform_read_driver_memory(address, dest, count);
}

void PlatformDriverSource::sleep(unsigned milliseconds) { platform_sleep(milliseconds); }

PlatformHandle PlatformDriverSource::lock_capture(const char *device_name) {
    return platform_lock_capture(device_name);
}

void PlatformDriverSource::unlock_capture(PlatformHandle lock) { platform_unlock_capture(lock); }
