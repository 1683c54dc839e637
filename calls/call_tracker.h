// The call tracker of one modem: fed every record of that modem (with its
// time) and every tick of its eye points, it builds the modem's calls.
//
// A call starts at the first record of a session on an idle modem (off hook,
// ring, dialing, V.8 or training, or any link record when watching starts in
// the middle of a call); host-interface records (AT responses, driver texts,
// V.24 circuits, resets, capture control) start none. After a cleardown code
// (34, 35, 44) the call winds down: statistics and disconnect reports still
// belong to it, link records (rates, training, data mode, retrains) are noted
// as anomalies and change nothing. The call ends on hook, when the
// modulation becomes idle, when the modem is no longer active, or when the
// next call starts (off hook, ring or dialing after the cleardown).
//
// The tracker is pure: it reads driver memory (the caller-ID texts) only
// through the reader the caller supplies, and keeps no global state.
#pragma once

#include <cstddef>
#include <cstdint>

#include "calls/call.h"
#include "calls/eye_ring.h"
#include "decoder/driver_memory.h"
#include "decoder/status.h"

// How the tracker reads driver memory: the reader's shape is the decoder's
// (copies the readable prefix of a block, returns its length). A null reader
// reads nothing: the fields that need memory stay unknown.
struct DriverMemoryAccess {
    DriverMemoryReader read;
    void *context;
};

struct CallTracker {
    int modem = 0;
    bool in_call = false;
    Call call;                // the running call while in_call
    uint32_t calls_started = 0;
    uint64_t records_outside_calls = 0;  // records on an idle modem that started no call
    EyeRing eye;
    DriverMemoryAccess memory{nullptr, nullptr};
};

void call_tracker_init(CallTracker &tracker, int modem, DriverMemoryAccess memory);

// What feeding a record did, as bits.
enum CallFeedResult : unsigned {
    FEED_NONE = 0,
    FEED_ENDED = 1,    // the record ended the running call: it was moved to *ended
    FEED_STARTED = 2,  // the record started a call (it may also have ended one)
    FEED_STRAY = 4,    // a cleardown-type record on an idle modem: a note for the modem's last call
};

// Feeds one record of this modem, taken at time_us (since the session start)
// and wall_us (since the epoch, -1 when unknown). Codes 77 and 131 (capture
// control) are ignored.
unsigned call_tracker_feed(CallTracker &tracker, const StatusRecord &record, int64_t time_us,
                           int64_t wall_us, Call *ended);

// The modem is no longer active: ends the running call (true, moved to *ended).
bool call_tracker_idle(CallTracker &tracker, int64_t time_us, int64_t wall_us, Call *ended);

// The session ends (shutdown, end of a file): hands out the running call as
// it stands, still marked as not ended (true, moved to *out).
bool call_tracker_finish(CallTracker &tracker, Call *out);

// One tick of eye points (at most EYE_POINTS_MAX are kept; more are cut).
void call_tracker_eye_tick(CallTracker &tracker, const EyeXY *points, size_t count, int64_t time_us);

// Adds an anomaly note to a call (kept while there is room; always counted;
// a note equal to one already kept is not repeated).
void call_add_anomaly(Call &call, AnomalyKind kind, int64_t time_us, uint32_t value, uint32_t other);
