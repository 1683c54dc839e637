// Playing traces into the simulated kernel driver: the directives take
// effect in real time, records, eye points and capture data go to the driver
// through its control device, ActiveModems and TarvelSetup to the registry
// under both programs' keys.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

#include "trace/trace.h"

struct PlayerOptions {
    bool loop;                  // replay the traces when they end
    bool stay;                  // keep serving after the traces end until Ctrl+C
    FILE *log;                  // one line per device-control call served, or nullptr
    uint32_t status_count;      // the fault options, as the trace's fault directives name them
    uint32_t eye_count;
    uint32_t capture_count;
    bool refuse_open;
    uint32_t setup_value_size;
};

// Opens the driver's control device, resets the driver, prepares the
// registry and plays the script. Returns the process exit status: 0, or 1
// when the driver or the registry cannot be reached.
int play_into_driver(const PlayerOptions &options, const std::vector<TraceDirective> &script);

// Asks a running player to finish; safe from a console control handler.
void stop_player();

// Line of the call log for one call the driver served: "NAME INPUT COUNT\n",
// NAME the call's IOCTL_TARVEL_ name or its code as 0x%08X, INPUT "-" for a
// call without an input word. Exposed for tests.
void format_log_line(uint32_t code, bool has_input, uint32_t input, uint32_t count, char *line,
                     size_t size);
