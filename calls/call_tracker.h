// The call tracker of one modem: fed every record of that modem (with its
// time) and every tick of its eye points, it builds the modem's calls.
//
// A call starts at the first record of a session on an idle modem (off hook,
// ring, dialing, V.8 or training, or any link record when watching starts in
// the middle of a call); host-interface records (AT responses, driver texts,
// V.24 circuits, resets, capture control) start none. A call ends at its
// cleardown (codes 34, 35, 44: the time of the cleardown record), on hook,
// when the modulation becomes idle, or when the modem is no longer active.
// After a cleardown the ended call never changes: the records that wind it
// down (a second cleardown code, carrier lost, on hook, idle modulation) are
// expected, any other record that would have changed it is noted on it as an
// anomaly, and off hook, ring, dialing, V.8 or training start the next call.
// Cleardown records or link reports that come later still, on an idle modem,
// are noted on the last call as well.
//
// The tracker is pure: it reads driver memory (the caller-ID texts) only
// through the reader the caller supplies, and keeps no global state.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>

#include "calls/call.h"
#include "calls/eye_ring.h"
#include "decoder/driver_memory.h"
#include "decoder/status.h"

// How the tracker reads driver memory: the decoder's DriverMemory (a reader
// that copies the readable prefix of a block and returns its length). A null
// reader reads nothing: the fields that need memory stay unknown.
using DriverMemoryAccess = DriverMemory;

struct CallTracker {
    int modem = 0;
    std::unique_ptr<Call> call;   // the running call; null while the modem is idle
    std::unique_ptr<Call> spare;  // a retired call whose storage the next call reuses
    uint32_t calls_started = 0;
    uint64_t records_outside_calls = 0;  // records on an idle modem that started no call
    uint32_t records_fed = 0;  // the number of the latest record outside the running call (see RecordMark)
    bool winding_down = false;  // the last call cleared down; the modem is not yet on hook or idle
    EyeRing eye;
    DriverMemoryAccess memory{nullptr, nullptr};
};

void call_tracker_init(CallTracker &tracker, int modem, DriverMemoryAccess memory);

// What feeding a record did, as bits.
enum CallFeedResult : unsigned {
    FEED_NONE = 0,
    FEED_ENDED = 1,    // the record ended the running call: it was handed to *ended
    FEED_STARTED = 2,  // the record started a call (it may also have ended one)
    FEED_STRAY = 4,    // a cleardown or link report on an idle modem after a call: a note for that call
    FEED_AFTER_CLEARDOWN = 8,  // a record that would have changed the call that has just cleared down: a note for it
};

// Feeds one record of this modem, taken at time_us (since the session start)
// and wall_us (since the epoch, -1 when unknown). Capture requests
// (is_capture_request_code) are ignored.
unsigned call_tracker_feed(CallTracker &tracker, const StatusRecord &record, int64_t time_us,
                           int64_t wall_us, std::unique_ptr<Call> *ended);
// The same for a record that call_tracker_feed_open (below) did not take.
unsigned call_tracker_feed_other(CallTracker &tracker, const StatusRecord &record, int64_t time_us,
                                 int64_t wall_us, std::unique_ptr<Call> *ended);

// What a record does to the running call, by code: the part of feeding
// that follows once the call a record belongs to is settled. A null entry:
// the code only counts.
using CallApply = void (*)(CallTracker &tracker, Call &call, const StatusRecord &record, int64_t time_us,
                           int64_t wall_us);
extern const std::array<CallApply, 256> CALL_APPLY;

// A record of the running call, applied to it.
inline void call_tracker_apply(CallTracker &tracker, const StatusRecord &record, int64_t time_us, int64_t wall_us) {
    if (record.code < CALL_APPLY.size() && CALL_APPLY[record.code] != nullptr)
        CALL_APPLY[record.code](tracker, *tracker.call, record, time_us, wall_us);
}

// What a record of a running call that has not cleared down asks for, by
// code: only its count and times (the codes and events call_tracker_apply
// ignores, nearly half of a usual session), call_tracker_apply, or
// call_tracker_feed (the codes that clear down or end a call, or belong to
// no call: 2, 22, 34, 35, 44, 77, 131). Codes whose events (param1) matter
// only in part look the event up in a mask of their own: training (64) for
// its rate reports, the error-control events (69, 80, 89) for connection,
// errors, statistics and disconnection.
enum RunningRecord : uint8_t { RUNNING_COUNT_ONLY, RUNNING_APPLY, RUNNING_FEED, RUNNING_BY_EVENT };
inline constexpr auto RUNNING_RECORD = [] {
    std::array<uint8_t, 256> table{};  // codes 130 to 255 (and above) only count
    for (uint32_t code : {3, 4, 11, 12, 13, 14, 26, 36, 37, 38, 39, 40, 41, 42, 43, 65, 66, 70, 71, 72, 81, 84, 88,
                          128, 129})
        table[code] = RUNNING_APPLY;
    for (uint32_t code : {2, 22, 34, 35, 44, 77, 131}) table[code] = RUNNING_FEED;
    for (uint32_t code : {64, 69, 80, 89}) table[code] = RUNNING_BY_EVENT;
    return table;
}();

inline constexpr uint64_t event_bits(std::initializer_list<uint32_t> events) {
    uint64_t bits = 0;
    for (uint32_t e : events) bits |= uint64_t(1) << e;
    return bits;
}

// The events that matter, as bits, of the codes looked up by event.
inline constexpr auto RUNNING_EVENTS = [] {
    std::array<uint64_t, 256> table{};
    table[64] = event_bits({38, 39, 40, 41, 42});  // training: rate reports
    table[69] = event_bits({0, 1, 8, 12, 13});     // LAPM
    table[80] = event_bits({0, 1, 3, 4, 10, 11});  // MNP
    table[89] = event_bits({0, 1, 2, 14, 15});     // V.80
    return table;
}();

inline RunningRecord running_record(const StatusRecord &record) {
    const uint32_t code = record.code;
    if (code >= RUNNING_RECORD.size()) return RUNNING_COUNT_ONLY;
    const RunningRecord kind = RunningRecord(RUNNING_RECORD[code]);
    if (kind != RUNNING_BY_EVENT) return kind;
    return record.param1 < 64 && ((RUNNING_EVENTS[code] >> record.param1) & 1) ? RUNNING_APPLY : RUNNING_COUNT_ONLY;
}

// The call that the common path may update: the running call while it has
// not cleared down, else nullptr.
inline Call *call_tracker_open_call(const CallTracker &tracker) {
    Call *call = tracker.call.get();
    return call != nullptr && !call->cleared ? call : nullptr;
}

// The common case, inline: a record of the open call (see
// call_tracker_open_call) that neither clears down, ends nor starts a call
// goes straight to the call. False when the record needs call_tracker_feed.
inline bool call_tracker_feed_open(CallTracker &tracker, Call *open, const StatusRecord &record, int64_t time_us,
                                   int64_t wall_us) {
    const RunningRecord kind = running_record(record);
    if (open == nullptr || kind == RUNNING_FEED) return false;
    ++open->records;
    open->end_us = time_us;
    open->end_wall_us = wall_us;
    if (kind == RUNNING_APPLY) CALL_APPLY[record.code](tracker, *open, record, time_us, wall_us);
    return true;
}

// The modem is no longer active: ends the running call (true, handed to *ended).
bool call_tracker_idle(CallTracker &tracker, int64_t time_us, int64_t wall_us, std::unique_ptr<Call> *ended);

// The session ends (shutdown, end of a file): hands out the running call as
// it stands, still marked as not ended (true, handed to *out).
bool call_tracker_finish(CallTracker &tracker, std::unique_ptr<Call> *out);

// One tick of eye points (at most EYE_POINTS_MAX are kept; more are cut).
void call_tracker_eye_tick(CallTracker &tracker, const EyeXY *points, size_t count, int64_t time_us);

// Adds an anomaly note to a call (kept while there is room; always counted;
// a note equal to one already kept is not repeated).
void call_add_anomaly(Call &call, AnomalyKind kind, int64_t time_us, uint32_t value, uint32_t other);
