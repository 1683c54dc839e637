// The driver's device name and the modem presence check that opens and
// closes the device.
#include "driverlink/device.h"

#include <cstdio>
#include <cstring>

const char MONITOR_KEY[] = "SOFTWARE\\Velmora\\Tarvel";
const char RECORDER_KEY[] = "SOFTWARE\\Ostrand\\Tarvel";
const char ACTIVE_MODEMS_VALUE[] = "ActiveModems";
const char TARVEL_SETUP_VALUE[] = "TarvelSetup";

namespace {
const char DEVICE_PREFIX[] = "\\\\.\\";  // the four characters \\.\ (backslash)
const char NAME_9X[] = "\\\\.\\TRVLM";
const char NAME_NT[] = "\\\\.\\trvlmd";
}  // namespace

char device_name[DEVICE_NAME_BYTES] = "\\\\.\\TRVLM";
PlatformHandle device = NO_HANDLE;
const char *program_key = MONITOR_KEY;

static PresenceClosingHook closing_hook = nullptr;

void set_presence_closing_hook(PresenceClosingHook hook) {
    closing_hook = hook;
}

bool choose_device_name(bool nt_family, const char *argument) {
    snprintf(device_name, sizeof device_name, "%s", nt_family ? NAME_NT : NAME_9X);
    if (argument == nullptr || argument[0] == '\0') {
        return true;
    }
    // The argument is taken unchanged or not at all: a cut name would open
    // some other device.
    if (strnlen(argument, DEVICE_ARGUMENT_MAX + 1) > DEVICE_ARGUMENT_MAX) {
        return false;
    }
    snprintf(device_name, sizeof device_name, "%s%s", DEVICE_PREFIX, argument);
    return true;
}

int modem_presence() {
    // The count as the registry holds it: a 32-bit little-endian word. A
    // value shorter than 4 bytes fills only its leading bytes; a missing key,
    // a missing value or any read error leaves it 0.
    unsigned char bytes[4] = {0, 0, 0, 0};
    const PlatformHandle key = platform_open_key(program_key, REGISTRY_QUERY);
    if (key != NO_HANDLE) {
        uint32_t size = sizeof bytes;
        platform_read_value(key, ACTIVE_MODEMS_VALUE, bytes, &size);
        platform_close_key(key);
    }
    const uint32_t word = bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) | (uint32_t(bytes[3]) << 24);
    const int active = word == 1 ? 1 : 2;

    if (word != 0) {
        if (device != NO_HANDLE) {
            return active;
        }
        device = platform_open_device(device_name);
        return device == NO_HANDLE ? 0 : active;
    }
    if (device != NO_HANDLE) {
        if (closing_hook != nullptr) {
            closing_hook();
        }
        platform_close_device(device);
        device = NO_HANDLE;
    }
    return 0;
}
