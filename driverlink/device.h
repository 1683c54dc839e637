// The driver's device name and modem presence, shared by both programs.
#pragma once

#include <cstddef>
#include <cstdint>

#include "driverlink/driver_source.h"
#include "driverlink/platform.h"

constexpr size_t DEVICE_NAME_BYTES = 80;
constexpr size_t DEVICE_ARGUMENT_MAX = 75;  // 80 bytes less the \\.\ prefix and the NUL

// Registry keys of the two programs, under HKEY_LOCAL_MACHINE.
extern const char MONITOR_KEY[];   // "SOFTWARE\\Velmora\\Tarvel"
extern const char RECORDER_KEY[];  // "SOFTWARE\\Ostrand\\Tarvel"

// Registry value names.
extern const char ACTIVE_MODEMS_VALUE[];  // "ActiveModems"
extern const char TARVEL_SETUP_VALUE[];   // "TarvelSetup"

// Called by modem_presence when the count has fallen to 0, just before it
// closes the device: data that the driver queued in the last moments of a
// session can still be read.
using PresenceClosingHook = void (*)(void *context);

// One program's link to its driver: the source it talks to, the device
// name chosen at start, the device handle (open only while a modem is
// active) and the program's registry key.
struct DriverLink {
    DriverSource *source;
    char device_name[DEVICE_NAME_BYTES];
    PlatformHandle device;
    const char *program_key;  // MONITOR_KEY or RECORDER_KEY
    // The key that ActiveModems is read from, kept open between checks: a
    // presence check per status record must cost one value read, not a
    // walk of the key's path. Closed whenever a read through it fails.
    PlatformHandle presence_key;
    PresenceClosingHook closing_hook;
    void *closing_context;
    // The count the last registry read gave, and when (steady clock, µs).
    int last_count;
    int64_t last_check_us;
};

// A link over `source` for the program whose key is program_key, with the
// 9x default device name, the device closed and no hook.
void driver_link_init(DriverLink &link, DriverSource *source, const char *program_key);

// Closes what the link holds open (the device without running the hook,
// the presence key).
void driver_link_close(DriverLink &link);

// Chooses the device name: \\.\TRVLM, \\.\trvlmd on the NT family, or the
// \\.\ prefix and the argument when one is given and not empty. An argument longer than
// DEVICE_ARGUMENT_MAX characters is refused: the name keeps the platform's
// default and the result is false.
bool choose_device_name(DriverLink &link, bool nt_family, const char *argument);

// 0, 1 or 2 active modems from ActiveModems under the link's key; opens the
// device on the first call that sees a nonzero count (retrying while it
// cannot be opened) and closes it on the first call that sees 0.
int modem_presence(DriverLink &link);

// The count of a registry read at most max_age_us microseconds old, while
// the device is open and that read saw an active modem; otherwise a fresh
// modem_presence. A drain that checks before every record reads the
// registry about once a millisecond instead of once a record; opening and
// closing the device are always decided on a fresh read.
int modem_presence_recent(DriverLink &link, int64_t max_age_us);
// The age that the monitor's drain allows.
constexpr int64_t PRESENCE_REUSE_US = 1000;

// One hook per link (the capture code or the recorder registers it);
// nullptr removes it.
void set_presence_closing_hook(DriverLink &link, PresenceClosingHook hook, void *context);

// One device-control call on the link's device; *returned is set to 0
// first and receives the count the driver reports.
bool driver_control(DriverLink &link, uint32_t code, const void *input, uint32_t input_size,
                    void *output, uint32_t output_size, uint32_t *returned);
