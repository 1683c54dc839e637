// The simulated driver's core as a DriverSource in the same process: the
// device and its calls go to the core, the registry is the core's, driver
// memory is the core's memory map, and sleeping lets the core's virtual
// clock run, so that a program runs through a played trace at full speed
// and deterministically. The core is one per process, as a driver is one
// per machine; each source holds its own device and key handles on it.
#pragma once

#include <cstddef>

#include "driverlink/driver_source.h"

class InprocDriverSource final : public DriverSource {
public:
    bool nt_family() override { return nt_family_; }
    PlatformHandle open_device(const char *path) override;
    void close_device(PlatformHandle device) override;
    bool device_control(PlatformHandle device, uint32_t code, const void *input, uint32_t input_size,
                        void *output, uint32_t output_size, uint32_t *returned) override;
    PlatformHandle open_key(const char *key_path, unsigned access) override;
    void close_key(PlatformHandle key) override;
    ValueRead read_value(PlatformHandle key, const char *value_name, void *buffer,
                         uint32_t *size) override;
    bool write_value(PlatformHandle key, const char *value_name, const void *data,
                     uint32_t size) override;
    size_t read_memory(uint32_t address, unsigned char *dest, size_t count) override;
    void sleep(unsigned milliseconds) override;
    PlatformHandle lock_capture(const char *device_name) override;
    void unlock_capture(PlatformHandle lock) override;

    // The platform family that nt_family reports (default NT).
    void set_nt_family(bool nt_family) { nt_family_ = nt_family; }
    // Handles currently open; tests check that every open is matched by a close.
    size_t open_devices() const;
    size_t open_keys() const;
    // Forgets every handle (the core has been reset) and restores the NT family.
    void reset();

private:
    static constexpr size_t DEVICE_SLOTS = 8;
    static constexpr size_t KEY_SLOTS = 32;
    static constexpr size_t KEY_PATH_BYTES = 256;
    struct Key {
        bool used;
        unsigned access;
        char path[KEY_PATH_BYTES];
    };
    bool device_open(PlatformHandle handle) const;
    Key *key(PlatformHandle handle);

    bool nt_family_ = true;
    bool devices_[DEVICE_SLOTS] = {};
    Key keys_[KEY_SLOTS] = {};
};
