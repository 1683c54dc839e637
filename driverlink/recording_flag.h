// The recording flag: bit 0 of the binary registry value TarvelSetup, which
// tells the driver to record session data. Both programs change only that bit
// and write every other byte of the value back exactly as they read it.
#pragma once

#include <cstdint>

#include "driverlink/device.h"
#include "driverlink/driver_source.h"
#include "driverlink/platform.h"

// The largest TarvelSetup value that is read and written back whole. A longer
// value is left untouched and the flag counts as not changeable.
constexpr uint32_t SETUP_VALUE_MAX = 1024;

// TarvelSetup as read: its bytes and the size to write back. A missing value
// reads as the 4-byte word 0. A value shorter than 4 bytes keeps its size.
struct SetupValue {
    unsigned char bytes[SETUP_VALUE_MAX];
    uint32_t size;
};

// Reads TarvelSetup under an open key. False when the value cannot be
// written back unchanged: it is longer than SETUP_VALUE_MAX bytes, or the read
// fails for another reason than a missing value. *value is then unusable.
bool read_recording_flag(DriverSource &source, PlatformHandle key, SetupValue *value);

// Sets or clears bit 0 of the value's first 32-bit little-endian word; all
// other bits and bytes stay as read. A value of size 0 has no bit to change.
void change_recording_bit(SetupValue *value, bool on);

// Writes the value back whole, with the size it was read with.
bool write_recording_flag(DriverSource &source, PlatformHandle key, const SetupValue &value);

// Reads, changes bit 0 and writes back under an open key. False when the
// value could not be read whole (then it is left untouched) or not written.
bool set_recording_flag(DriverSource &source, PlatformHandle key, bool on);

// The same under the link's own program key, opened for the change and
// closed again. False also when the key cannot be opened.
bool set_program_recording_flag(DriverLink &link, bool on);
