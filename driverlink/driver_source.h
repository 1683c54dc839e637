// Where a program's driver comes from, chosen at run time: the platform's
// own driver (the Tarvel driver on Windows, the tarvel-sim daemon on Linux),
// the simulated driver in the same process, or a recorded session. The
// monitor and the recorder reach the driver only through a DriverSource:
// the device and its device-control calls, the registry values that the
// driver keeps and the recording flag, driver memory, and the passage of
// time while a program waits on the driver.
#pragma once

#include <cstddef>
#include <cstdint>

#include "decoder/driver_memory.h"
#include "driverlink/platform.h"

class DriverSource {
public:
    virtual ~DriverSource() = default;

    // True on the NT family (default device \\.\trvlmd), false on the 9x
    // platform (\\.\TRVLM).
    virtual bool nt_family() = 0;

    // The device by its \\.\NAME path; NO_HANDLE when it cannot be opened.
    virtual PlatformHandle open_device(const char *path) = 0;
    virtual void close_device(PlatformHandle device) = 0;
    // One synchronous device-control call; *returned receives the count the
    // driver reports (0 when the call fails).
    virtual bool device_control(PlatformHandle device, uint32_t code, const void *input,
                                uint32_t input_size, void *output, uint32_t output_size,
                                uint32_t *returned) = 0;

    // Registry keys and values under HKEY_LOCAL_MACHINE, as in platform.h.
    virtual PlatformHandle open_key(const char *key_path, unsigned access) = 0;
    virtual void close_key(PlatformHandle key) = 0;
    virtual ValueRead read_value(PlatformHandle key, const char *value_name, void *buffer,
                                 uint32_t *size) = 0;
    virtual bool write_value(PlatformHandle key, const char *value_name, const void *data,
                             uint32_t size) = 0;

    // Up to count bytes of driver memory at address; how many leading bytes
    // could be read.
    virtual size_t read_memory(uint32_t address, unsigned char *dest, size_t count) = 0;

    // Lets milliseconds pass while the program waits on the driver.
    virtual void sleep(unsigned milliseconds) = 0;

    // The device's capture lock: one program at a time reads a device's
    // capture data, since each read takes the data away from every other
    // reader (platform.h). NO_HANDLE when it cannot be taken, with
    // platform_capture_busy_error() as the last error when another holder
    // has it.
    virtual PlatformHandle lock_capture(const char *device_name) = 0;
    virtual void unlock_capture(PlatformHandle lock) = 0;
};

// The memory of this source's driver, to decode its records against. It
// reads through the source, which must outlive it.
DriverMemory driver_source_memory(DriverSource &source);

// The driver of the platform layer linked into the program.
class PlatformDriverSource final : public DriverSource {
public:
    bool nt_family() override;
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
};
