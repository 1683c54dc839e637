// The driver's device name and the modem presence check that opens and
// closes the device.
#include "driverlink/device.h"

#include <chrono>
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

void driver_link_init(DriverLink &link, DriverSource *source, const char *program_key) {
    link.source = source;
    snprintf(link.device_name, sizeof link.device_name, "%s", NAME_9X);
    link.device = NO_HANDLE;
    link.program_key = program_key;
    link.presence_key = NO_HANDLE;
    link.closing_hook = nullptr;
    link.closing_context = nullptr;
    link.last_count = 0;
    link.last_check_us = 0;
}

static int64_t steady_microseconds() {
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

void driver_link_close(DriverLink &link) {
    if (link.presence_key != NO_HANDLE) {
        link.source->close_key(link.presence_key);
        link.presence_key = NO_HANDLE;
    }
    if (link.device != NO_HANDLE) {
        link.source->close_device(link.device);
        link.device = NO_HANDLE;
    }
}

void set_presence_closing_hook(DriverLink &link, PresenceClosingHook hook, void *context) {
    link.closing_hook = hook;
    link.closing_context = context;
}

bool choose_device_name(DriverLink &link, bool nt_family, const char *argument) {
    snprintf(link.device_name, sizeof link.device_name, "%s", nt_family ? NAME_NT : NAME_9X);
    if (argument == nullptr || argument[0] == '\0') {
        return true;
    }
    // The argument is taken unchanged or not at all: a cut name would open
    // some other device.
    if (strnlen(argument, DEVICE_ARGUMENT_MAX + 1) > DEVICE_ARGUMENT_MAX) {
        return false;
    }
    snprintf(link.device_name, sizeof link.device_name, "%s%s", DEVICE_PREFIX, argument);
    return true;
}

// The count as the registry holds it: a 32-bit little-endian word. A value
// shorter than 4 bytes fills only its leading bytes; a missing key, a
// missing value or any read error leaves it 0.
static uint32_t active_modems_word(DriverLink &link) {
    unsigned char bytes[4] = {0, 0, 0, 0};
    if (link.presence_key == NO_HANDLE) {
        link.presence_key = link.source->open_key(link.program_key, REGISTRY_QUERY);
    }
    if (link.presence_key != NO_HANDLE) {
        uint32_t size = sizeof bytes;
        if (link.source->read_value(link.presence_key, ACTIVE_MODEMS_VALUE, bytes, &size) != VALUE_READ) {
            // The key may have gone with the driver: open it anew next time,
            // so that a key made again is seen.
            link.source->close_key(link.presence_key);
            link.presence_key = NO_HANDLE;
        }
    }
    return bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) | (uint32_t(bytes[3]) << 24);
}

static int presence_from_word(DriverLink &link, uint32_t word) {
    const int active = word == 1 ? 1 : 2;

    if (word != 0) {
        if (link.device != NO_HANDLE) {
            return active;
        }
        link.device = link.source->open_device(link.device_name);
        return link.device == NO_HANDLE ? 0 : active;
    }
    if (link.device != NO_HANDLE) {
        if (link.closing_hook != nullptr) {
            link.closing_hook(link.closing_context);
        }
        link.source->close_device(link.device);
        link.device = NO_HANDLE;
    }
    return 0;
}

int modem_presence(DriverLink &link) {
    const int count = presence_from_word(link, active_modems_word(link));
    link.last_count = count;
    link.last_check_us = steady_microseconds();
    return count;
}

int modem_presence_recent(DriverLink &link, int64_t max_age_us) {
    if (link.device != NO_HANDLE && link.last_count > 0 &&
        steady_microseconds() - link.last_check_us < max_age_us) {
        return link.last_count;
    }
    return modem_presence(link);
}

bool driver_control(DriverLink &link, uint32_t code, const void *input, uint32_t input_size,
                    void *output, uint32_t output_size, uint32_t *returned) {
    *returned = 0;
    return link.source->device_control(link.device, code, input, input_size, output, output_size,
                                       returned);
}
