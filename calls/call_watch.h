// The calls of both modems as a monitor (or an offline reader) follows them:
// one tracker per modem, the log of ended calls, and a sink told of every
// call as it ends. This is the one place a front end feeds:
//
//   call_watch_record    for every record fetched (modem 1 or 2; others are ignored)
//   call_watch_eye_tick  for every tick's eye points of a modem
//   call_watch_presence  for every count of active modems seen
//   call_watch_finish    at shutdown or at the end of a file
//
// Each call is handed to the sink once, when it ends (or, still running, at
// finish). The log keeps at most `capacity` calls; the oldest give way and
// are counted.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

#include "calls/call.h"
#include "calls/call_tracker.h"
#include "decoder/status.h"

// Told of each call when it ends; the call is valid only during the call.
struct CallEndSink {
    void *context;
    void (*call_ended)(void *context, const Call &call);
};

struct CallLog {
    // A ring that grows to capacity. (Not named "slots": Qt defines that word.)
    std::vector<std::unique_ptr<Call>> calls;
    size_t capacity = 0;
    size_t first = 0;         // slot of the oldest call
    size_t count = 0;
    uint64_t dropped = 0;     // calls that gave way to newer ones
};

constexpr size_t CALL_LOG_DEFAULT_CAPACITY = 1000;

struct CallWatch {
    Call *open[3] = {};  // by modem number: the call the common path updates (see call_tracker_open_call)
    CallTracker tracker[2];
    CallLog log;
    CallEndSink sink{nullptr, nullptr};
};

// Starts empty. capacity 0 takes CALL_LOG_DEFAULT_CAPACITY.
void call_watch_init(CallWatch &watch, DriverMemoryAccess memory, size_t capacity, CallEndSink sink);

// The records that start, end or follow a call (see call_watch_record).
void call_watch_record_other(CallWatch &watch, CallTracker &tracker, const StatusRecord &record, int64_t time_us,
                             int64_t wall_us);

// Feeds one fetched record; records of modem 0 (driver-internal errors) and
// of no modem are ignored. Inline, so that the records of a running call
// cost a test and the call's own update.
inline void call_watch_record(CallWatch &watch, const StatusRecord &record, int64_t time_us, int64_t wall_us) {
    const uint32_t modem = record.modem;
    if (modem != 1 && modem != 2) return;
    CallTracker &tracker = watch.tracker[modem - 1];
    if (call_tracker_feed_open(tracker, watch.open[modem], record, time_us, wall_us)) return;
    call_watch_record_other(watch, tracker, record, time_us, wall_us);
}
void call_watch_eye_tick(CallWatch &watch, int modem, const EyeXY *points, size_t count, int64_t time_us);
// active: the count of active modems (0 to 2); modem m is idle while it is below m.
void call_watch_presence(CallWatch &watch, int active, int64_t time_us, int64_t wall_us);
// Ends the watch: each running call goes to the log and the sink as it
// stands, marked as not ended.
void call_watch_finish(CallWatch &watch);

// The running call of modem 1 or 2, or nullptr.
const Call *call_watch_running(const CallWatch &watch, int modem);

// Ended calls in the order they ended: index 0 is the oldest kept.
size_t call_log_size(const CallLog &log);
const Call &call_log_at(const CallLog &log, size_t index);

// Appends the call's summary as one JSON line (no series points, no eye
// points) to file and flushes it. False when the write failed.
bool call_write_json_line(FILE *file, const Call &call);
// A CallEndSink function over call_write_json_line; context is the FILE *.
void call_json_line_sink(void *file, const Call &call);
