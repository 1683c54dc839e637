// Monitor state and lifecycle.
#include "monitor/monitor.h"

#include <chrono>

#include "capture/capture.h"
#include "driverlink/device.h"
#include "driverlink/platform.h"
#include "monitor/drain.h"
#include "monitor/windows.h"

// The stores' buffers, allocated once for the program's lifetime.
static char store_text[2][LINE_STORE_TEXT_BYTES];
static uint32_t store_offsets[2][LINE_STORE_LINES];
static int64_t store_times[2][LINE_STORE_LINES];

LineStore status_stores[2];

int64_t monitor_wall_clock() {
    using namespace std::chrono;
    return duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
}

int64_t (*monitor_clock)() = monitor_wall_clock;

bool monitor_start(const char *device_argument) {
    log_counter = 1;
    for (int i = 0; i < 2; ++i) {
        line_store_init(&status_stores[i], store_text[i], LINE_STORE_TEXT_BYTES, store_offsets[i],
                        store_times[i], LINE_STORE_LINES);
    }
    warning_open = 0;
    warnings_discarded = 0;
    reset_visibility();
    program_key = MONITOR_KEY;
    platform_attach_driver_memory();
    return choose_device_name(platform_is_nt_family(), device_argument);
}

void monitor_add_line(int modem, const char *line) {
    if (modem == 1 || modem == 2) {
        line_store_add(&status_stores[modem - 1], line, monitor_clock());
    }
}

void monitor_main_tick() { drain_captures(); }

void monitor_shutdown() {
    set_capture(false, 1);
    set_capture(false, 2);
}
