// The driver's device name and modem presence, shared by both programs.
#pragma once

#include <cstddef>

#include "driverlink/platform.h"

constexpr size_t DEVICE_NAME_BYTES = 80;
constexpr size_t DEVICE_ARGUMENT_MAX = 75;  // 80 bytes less the \\.\ prefix and the NUL

// Registry keys of the two programs, under HKEY_LOCAL_MACHINE.
extern const char MONITOR_KEY[];   // "SOFTWARE\\Velmora\\Tarvel"
extern const char RECORDER_KEY[];  // "SOFTWARE\\Ostrand\\Tarvel"

// Registry value names.
extern const char ACTIVE_MODEMS_VALUE[];  // "ActiveModems"
extern const char TARVEL_SETUP_VALUE[];   // "TarvelSetup"

// Program-wide driver-link state.
extern char device_name[DEVICE_NAME_BYTES];  // the device path, chosen once at start
extern PlatformHandle device;                // open only while a modem is active
extern const char *program_key;              // MONITOR_KEY or RECORDER_KEY

// Chooses device_name: \\.\TRVLM, \\.\trvlmd on the NT family, or \\.\ and
// the argument when one is given and not empty. An argument longer than
// DEVICE_ARGUMENT_MAX characters is refused: device_name keeps the platform's
// default and the result is false.
bool choose_device_name(bool nt_family, const char *argument);

// 0, 1 or 2 active modems from ActiveModems under program_key; opens the
// device on the first call that sees a nonzero count (retrying while it
// cannot be opened) and closes it on the first call that sees 0.
int modem_presence();

// Called by modem_presence when the count has fallen to 0, just before it
// closes the device: data that the driver queued in the last moments of a
// session can still be read. One hook per program (the capture code or the
// recorder registers it); nullptr removes it.
using PresenceClosingHook = void (*)();
void set_presence_closing_hook(PresenceClosingHook hook);
