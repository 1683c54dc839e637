// The monitor program's state and lifecycle, shared by every front end: the
// two status stores, start-up, the main tick and the shutdown.
#pragma once

#include <cstdint>

#include "monitor/line_store.h"

// The status lists of modem 1 (index 0) and modem 2 (index 1).
extern LineStore status_stores[2];

// The clock that stamps each line's arrival, in microseconds since the
// epoch. Tests replace it.
extern int64_t (*monitor_clock)();
int64_t monitor_wall_clock();

// Start-up before any window or tick: log_counter 1, empty stores, the
// monitor's registry key, the device name from the argument (null or empty
// for the platform's default) and the driver memory reader. False when the
// argument is too long for a device name; nothing has touched the driver.
bool monitor_start(const char *device_argument);

// Appends a line to the store of modem 1 or 2, stamped with monitor_clock.
void monitor_add_line(int modem, const char *line);

// The main window's tick: moves recorded session data into the capture files.
void monitor_main_tick();

// The shutdown: both captures stopped (files closed, recording flag cleared).
void monitor_shutdown();
