// Reading and writing the recording flag in TarvelSetup without losing bytes.
#include "driverlink/recording_flag.h"

#include <cstring>

#include "driverlink/device.h"

bool read_recording_flag(DriverSource &source, PlatformHandle key, SetupValue *value) {
    // The word starts at 0 with a size of 4, so a missing value becomes the
    // 4-byte word that has only the bits the caller sets.
    std::memset(value->bytes, 0, sizeof value->bytes);
    value->size = 4;
    uint32_t size = 4;
    ValueRead result = source.read_value(key, TARVEL_SETUP_VALUE, value->bytes, &size);
    if (result == VALUE_TOO_LARGE && size <= SETUP_VALUE_MAX) {
        // Longer than one word: read it whole so that it can be written back
        // byte for byte.
        result = source.read_value(key, TARVEL_SETUP_VALUE, value->bytes, &size);
    }
    switch (result) {
    case VALUE_READ:
        value->size = size <= SETUP_VALUE_MAX ? size : SETUP_VALUE_MAX;
        return size <= SETUP_VALUE_MAX;
    case VALUE_MISSING:
        return true;
    case VALUE_TOO_LARGE:
    case VALUE_FAILED:
        break;
    }
    // Writing anything back now would replace bytes that were never read.
    std::memset(value->bytes, 0, sizeof value->bytes);
    return false;
}

void change_recording_bit(SetupValue *value, bool on) {
    if (value->size == 0) {
        return;
    }
    if (on) {
        value->bytes[0] |= 0x01;
    } else {
        value->bytes[0] &= static_cast<unsigned char>(~0x01u);
    }
}

bool write_recording_flag(DriverSource &source, PlatformHandle key, const SetupValue &value) {
    return source.write_value(key, TARVEL_SETUP_VALUE, value.bytes, value.size);
}

bool set_recording_flag(DriverSource &source, PlatformHandle key, bool on) {
    SetupValue value;
    if (!read_recording_flag(source, key, &value)) {
        return false;
    }
    change_recording_bit(&value, on);
    return write_recording_flag(source, key, value);
}

bool set_program_recording_flag(DriverLink &link, bool on) {
    const PlatformHandle key = link.source->open_key(link.program_key, REGISTRY_QUERY | REGISTRY_SET);
    if (key == NO_HANDLE) {
        return false;
    }
    const bool done = set_recording_flag(*link.source, key, on);
    link.source->close_key(key);
    return done;
}
