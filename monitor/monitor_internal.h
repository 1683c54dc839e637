// What the monitor's own files share and front ends never touch: the
// buffers a monitor owns, and the making of a monitor over buffers already
// filled (an opened session's lines, taken over without a copy).
#pragma once

#include <memory>

#include "calls/call_watch.h"
#include "monitor/monitor.h"

struct MonitorBuffers {
    StoreBounds bounds{};
    // malloc'd; the stores' text, offsets, times and record codes of each modem.
    char *text[2] = {nullptr, nullptr};
    uint32_t *offsets[2] = {nullptr, nullptr};
    int64_t *times[2] = {nullptr, nullptr};
    uint32_t *codes[2] = {nullptr, nullptr};
    std::unique_ptr<CallWatch> calls;  // the monitor's own call watch
    MonitorBuffers() = default;
    MonitorBuffers(const MonitorBuffers &) = delete;
    MonitorBuffers &operator=(const MonitorBuffers &) = delete;
    ~MonitorBuffers();
};

// A monitor over `buffers` (taken over, freed with the monitor, or here
// when the monitor cannot be made), in the start state with empty stores;
// with follow_calls, its own call watch follows both modems. Null when
// memory runs out.
Monitor *monitor_new_over(DriverSource &source, MonitorBuffers *buffers, bool follow_calls);

// Frees the recording a stopped or failed recording left for its error.
void monitor_forget_recording(Monitor &monitor);
