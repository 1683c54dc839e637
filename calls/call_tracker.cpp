#include "calls/call_tracker.h"

#include <array>
#include <cstring>
#include <utility>

#include "decoder/fax_frames.h"
#include "decoder/record_kind.h"
#include "formatting/formatting.h"

namespace {

// ---- Which records do what ----------------------------------------------------

// Records of the host interface (and the end of a session) that start no
// call on an idle modem; inside a call they count as its records.
bool starts_no_call(const StatusRecord &r) {
    switch (r.code) {
    case 2: return r.param1 == 0;   // modulation idle
    case 22: return r.param1 == 0;  // on hook
    case 21: case 32: case 33: case 73: case 75: case 76: case 78: case 87:
    case 91: case 92: case 93: case 94: case 97: case 130:
        return true;
    default:
        return false;
    }
}

// Records that end a link: on an idle modem they belong to the call that has
// just ended and are noted there.
bool is_cleardown_type(const StatusRecord &r) {
    switch (r.code) {
    case 34: case 35: case 37: case 44: return true;
    case 69: case 80: case 89: return r.param1 == 0;  // disconnected
    default: return false;
    }
}

// Reports about an established link (error control, compression,
// statistics, retrains and rate changes): on an idle modem that has had a
// call they came after that call's end; on a modem whose calls the tracker
// has not seen begin (watching started mid-call) they start the call.
bool is_link_report(uint32_t code) {
    switch (code) {
    case 38: case 39: case 40: case 41: case 42: case 43:
    case 69: case 70: case 71: case 80: case 81: case 89: case 128:
        return true;
    default:
        return false;
    }
}

// Records that begin the next call right after a cleardown: off hook, ring,
// dialing, a modulation, training or V.8 (64), V.8bis (79, 95, 96), caller ID
// (72, 88).
bool begins_call(const StatusRecord &r) {
    switch (r.code) {
    case 2: case 22: return r.param1 != 0;
    case 26: case 64: case 66: case 72: case 79: case 88: case 95: case 96: return true;
    default: return false;
    }
}

// Records that wind a cleared call down as expected: a second cleardown code
// and carrier lost change nothing; on hook and idle modulation end the wind-down.
bool winds_down(const StatusRecord &r) {
    switch (r.code) {
    case 34: case 35: case 37: case 44: return true;
    case 2: case 22: return r.param1 == 0;
    default: return false;
    }
}

// ---- Small helpers --------------------------------------------------------------

// Appends to one of a call's lists, giving an empty list room for a usual
// call at once rather than growing it one doubling at a time.
template <class T>
void append(std::vector<T> &list, const T &value, size_t first_room) {
    if (list.capacity() == 0) list.reserve(first_room);
    list.push_back(value);
}

// The mark of the record being applied to a call.
RecordMark mark_of(const Call &call, const StatusRecord &r, int64_t time_us) {
    return RecordMark{time_us, call_current_record(call), static_cast<uint16_t>(r.code)};
}

void series_add(Series &s, std::vector<SeriesPoint> &points, int64_t time_us, int32_t value, const RecordMark &at) {
    if (s.samples == 0) {
        s.first = s.lowest = s.highest = value;
        s.lowest_at = s.highest_at = at;
    } else {
        if (value < s.lowest) {
            s.lowest = value;
            s.lowest_at = at;
        }
        if (value > s.highest) {
            s.highest = value;
            s.highest_at = at;
        }
    }
    s.last = value;
    ++s.samples;
    if (++s.since_kept < s.stride) return;
    s.since_kept = 0;
    if (points.size() >= SERIES_POINTS_MAX) {
        // Thin to every other point, keeping the first: the points go on
        // spanning the whole call at half the density.
        size_t kept = 0;
        for (size_t i = 0; i < points.size(); i += 2) points[kept++] = points[i];
        points.resize(kept);
        s.stride *= 2;
    }
    append(points, SeriesPoint{time_us, value, at.record}, 64);
}

void rate_add(RateStats &stats, long bps, const RecordMark &at) {
    if (!stats.initial) {
        stats.initial = stats.lowest = stats.highest = bps;
        stats.final_at = at;
    } else {
        if (bps != *stats.final) {
            ++stats.changes;
            stats.final_at = at;
        }
        if (bps < *stats.lowest) stats.lowest = bps;
        if (bps > *stats.highest) stats.highest = bps;
    }
    stats.final = bps;
}


std::optional<long> symbol_rate_of(uint32_t index) {
    if (index < static_cast<uint32_t>(SYMBOL_RATE_COUNT)) return symbol_rates[index];
    return std::nullopt;
}

void add_direction(Call &call, CallDirection direction, int64_t time_us) {
    const uint8_t bit = direction == DIRECTION_ORIGINATE ? 1 : 2;
    if (call.direction_evidence & bit) return;
    call.direction_evidence |= bit;
    if (call.direction_evidence == 3) {
        call.direction = DIRECTION_UNKNOWN;
        call_add_anomaly(call, ANOMALY_DIRECTION_CONFLICT, time_us, 0, 0);
    } else {
        call.direction = direction;
    }
}

// Reads a caller-ID text of at most count characters (cut to the field's
// room) into dest: the characters before a NUL, or all count of them. False
// when the block cannot be read that far.
bool read_caller_text(const DriverMemoryAccess &memory, uint32_t address, int32_t count, char *dest,
                      size_t room) {
    size_t n = count > 0 ? static_cast<size_t>(count) : 0;
    if (n > room - 1) n = room - 1;
    if (n == 0) {
        dest[0] = '\0';
        return true;
    }
    if (memory.read == nullptr || address == 0) return false;
    unsigned char bytes[CALLER_NAME_BYTES];
    const size_t got = memory.read(memory.context, address, bytes, n);
    size_t length = 0;
    while (length < got && length < n && bytes[length] != 0) ++length;
    if (length == got && got < n) return false;  // ran into unreadable memory before a NUL
    std::memcpy(dest, bytes, length);
    dest[length] = '\0';
    return true;
}

// ---- The tracker's state changes ------------------------------------------------

// Empties a retired call for reuse: its plain values are set afresh with
// one copy, its lists emptied keeping their storage, so that a long session
// stops allocating once its call log is full.
void reset_call(Call &call) {
    static const CallData fresh{};
    static_cast<CallData &>(call) = fresh;
    for (std::vector<SeriesPoint> &points : call.series_points) points.clear();
    call.projected.clear();
    call.events.clear();
    call.eyes.clear();
    call.anomalies.clear();
}

void start_call(CallTracker &t, int64_t time_us, int64_t wall_us, uint32_t first_record) {
    if (t.spare) {
        reset_call(*t.spare);
        t.call = std::move(t.spare);
    } else {
        t.call.reset(new Call);
    }
    Call &call = *t.call;
    call.modem = t.modem;
    call.number = ++t.calls_started;
    call.start_us = call.end_us = time_us;
    call.start_wall_us = call.end_wall_us = wall_us;
    call.first_record = first_record;
}

// Ends the running call at time_us; code and record: what ended it (0 for
// the modem going idle).
void end_call(CallTracker &t, CleardownCause cause_without_cleardown, uint16_t code, uint32_t record,
              int64_t time_us, int64_t wall_us, std::unique_ptr<Call> *ended) {
    Call &call = *t.call;
    call.ended = true;
    call.end_us = time_us;
    call.end_wall_us = wall_us;
    call.end_at = RecordMark{time_us, record, code};
    if (call.records > 0) t.records_fed = call.first_record + call.records - 1;
    if (!call.cleared) {
        if (call.carrier_losses > 0 && !call.carrier) {
            call.cleardown = CLEARDOWN_CARRIER_LOST;
            call.cleardown_code = 37;
        } else {
            call.cleardown = cause_without_cleardown;
            call.cleardown_code = code;
        }
    }
    *ended = std::move(t.call);
}

void add_event(CallTracker &t, CallEventKind kind, EventOrigin origin, const StatusRecord &r,
               int64_t time_us, int64_t wall_us, bool freeze) {
    Call &call = *t.call;
    ++call.events_seen;
    int16_t eye_index = -1;
    if (freeze) {
        FrozenEye frozen;
        frozen.kind = kind;
        frozen.time_us = time_us;
        if (eye_ring_freeze(t.eye, call.start_us, frozen) > 0) {
            if (call.eyes.size() < FROZEN_EYES_MAX) {
                call.eyes.push_back(std::move(frozen));
            } else {
                // Full: the latest event takes the last slot from the event before it.
                for (CallEvent &e : call.events)
                    if (e.frozen_eye == static_cast<int16_t>(FROZEN_EYES_MAX - 1)) e.frozen_eye = -1;
                call.eyes.back() = std::move(frozen);
            }
            eye_index = static_cast<int16_t>(call.eyes.size() - 1);
        }
    }
    if (call.events.size() < CALL_EVENTS_MAX)
        append(call.events,
               CallEvent{time_us, wall_us, kind, origin, static_cast<uint16_t>(r.code), eye_index,
                         call_current_record(call)},
               16);
}

void on_modulation(Call &call, uint32_t modulation, int64_t time_us) {
    if (std::strcmp(modulation_name(modulation), "unknown") == 0) {
        call_add_anomaly(call, ANOMALY_MODULATION_UNKNOWN, time_us, modulation, 0);
        return;
    }
    if (call.modulation_conflict) return;
    if (!call.modulation) {
        call.modulation = modulation;
    } else if (*call.modulation != modulation) {
        call_add_anomaly(call, ANOMALY_MODULATION_CONFLICT, time_us, *call.modulation, modulation);
        call.modulation.reset();
        call.modulation_conflict = true;
    }
}

void on_rate(CallTracker &, Call &call, const StatusRecord &r, int64_t time_us, int64_t) {
    // rate_bps gives 33600 both for its own code and for every code without an entry.
    const long bps = rate_bps(r.param1);
    if (bps == 33600 && r.param1 != 0x40000) {
        call_add_anomaly(call, ANOMALY_RATE_UNKNOWN, time_us, r.code, r.param1);
        return;
    }
    if (!call.modulation && !call.modulation_conflict)
        call_add_anomaly(call, ANOMALY_RATE_BEFORE_MODULATION, time_us, r.code, 0);
    const bool rx = r.code == 11;
    const RecordMark at = mark_of(call, r, time_us);
    rate_add(rx ? call.rx_rate : call.tx_rate, bps, at);
    const SeriesKind kind = rx ? SERIES_RX_RATE : SERIES_TX_RATE;
    series_add(call.series[kind], call.series_points[kind], time_us, static_cast<int32_t>(bps), at);
}

void on_training(CallTracker &, Call &call, const StatusRecord &r, int64_t time_us, int64_t) {
    const int32_t value = static_cast<int32_t>(r.param2);
    call.trained = true;
    switch (r.param1) {
    case 38: call.max_local_rx = long(value) * 2400; break;
    case 39: call.max_local_tx = long(value) * 2400; break;
    case 40: call.max_remote_rx = long(value) * 2400; break;
    case 41: call.max_remote_tx = long(value) * 2400; break;
    case 42: {
        const uint32_t index = (r.param2 >> 24) & 0xF;
        ProjectedRate p{time_us, symbol_rate_of(index), long((r.param2 >> 16) & 0xFF) * 2400,
                        static_cast<int32_t>(r.param2 & 0xFFFF)};
        if (!p.symbol_rate) call_add_anomaly(call, ANOMALY_SYMBOL_RATE_INDEX, time_us, 64, index);
        if (call.projected.size() < PROJECTED_RATES_MAX) append(call.projected, p, PROJECTED_RATES_MAX);
        break;
    }
    default:
        break;
    }
}

// The series of each code-65 selector, -1 for none.
constexpr auto SERIES_OF_SELECTOR = [] {
    std::array<int8_t, 35> table{};
    table.fill(-1);
    for (const SeriesInfo &info : SERIES_INFO)
        if (info.selector != 0) table[info.selector] = static_cast<int8_t>(info.kind);
    return table;
}();

void on_measurement(CallTracker &, Call &call, const StatusRecord &r, int64_t time_us, int64_t) {
    if (r.param1 == 0 || r.param1 > 34) return;
    const int32_t value = static_cast<int32_t>(r.param2);
    call.measurement[r.param1] = value;
    const int kind = SERIES_OF_SELECTOR[r.param1];
    if (kind < 0) return;
    const SeriesInfo &info = SERIES_INFO[kind];
    // Negating the most negative value would overflow; a level that large is
    // no measurement to chart.
    if (info.negated && value == INT32_MIN) return;
    series_add(call.series[kind], call.series_points[kind], time_us, info.negated ? -value : value,
               mark_of(call, r, time_us));
}

// The first record that shows a connection.
void connected(Call &call, const StatusRecord &r, int64_t time_us) {
    if (call.connected_us) return;
    call.connected_us = time_us;
    call.connected_at = mark_of(call, r, time_us);
}

void establish(Call &call, const StatusRecord &r, uint8_t bit, int64_t time_us) {
    ErrorControl &ec = call.ec;
    connected(call, r, time_us);
    if (ec.established & bit) return;
    if (ec.established == 0) ec.established_at = mark_of(call, r, time_us);
    ec.established |= bit;
    if (ec.protocol == EC_CONFLICT) return;
    if (ec.protocol != EC_UNKNOWN) {
        call_add_anomaly(call, ANOMALY_ERROR_CONTROL_CONFLICT, time_us, ec.established, 0);
        ec.protocol = EC_CONFLICT;
        return;
    }
    ec.protocol = bit == 1 ? EC_LAPM : bit == 2 ? EC_MNP : EC_V80;
}

void frame_statistics(Call &call, bool tx, const StatusRecord &r, int64_t time_us) {
    ErrorControl &ec = call.ec;
    ec.frames_at = mark_of(call, r, time_us);
    if (tx) {
        ec.tx_frames = r.param2;
        ec.tx_retransmitted = r.param3;
    } else {
        ec.rx_frames = r.param2;
        ec.rx_rejected = r.param3;
    }
}

void disconnected(Call &call, const StatusRecord &r, uint32_t reasons, int64_t time_us) {
    ErrorControl &ec = call.ec;
    if (r.param2 >= reasons) return;  // a reason without a name: the decoder shows no line either
    ec.disconnect_at = mark_of(call, r, time_us);
    ec.disconnect_reason = static_cast<int32_t>(r.param2);
    ec.disconnect_code = static_cast<uint16_t>(r.code);
}

// Error control by protocol: LAPM (69), MNP (80), V.80 (89), their
// parameters (70, 81) and V.42bis (71).
void on_lapm(CallTracker &, Call &call, const StatusRecord &r, int64_t time_us, int64_t) {
    ErrorControl &ec = call.ec;
    switch (r.param1) {
    case 0: disconnected(call, r, 7, time_us); break;
    case 1: establish(call, r, 1, time_us); break;
    case 8: ++ec.errors; break;
    case 12: frame_statistics(call, true, r, time_us); break;
    case 13: frame_statistics(call, false, r, time_us); break;
    default: break;
    }
}

void on_lapm_parameter(CallTracker &, Call &call, const StatusRecord &r, int64_t, int64_t) {
    if (r.param1 < 9) call.ec.lapm[r.param1] = static_cast<int32_t>(r.param2);
}

void on_v42bis(CallTracker &, Call &call, const StatusRecord &r, int64_t, int64_t) {
    ErrorControl &ec = call.ec;
    switch (r.param1) {
    case 0: ec.v42bis_encoder = 0; break;
    case 1: ec.v42bis_encoder = 1; break;
    case 2: ec.v42bis_decoder = 0; break;
    case 3: ec.v42bis_decoder = 1; break;
    case 4: ++ec.errors; break;
    case 5: ec.encoder_in = r.param2; ec.encoder_out = r.param3; break;
    case 6: ec.decoder_in = r.param2; ec.decoder_out = r.param3; break;
    default: break;
    }
}

void on_mnp(CallTracker &, Call &call, const StatusRecord &r, int64_t time_us, int64_t) {
    ErrorControl &ec = call.ec;
    switch (r.param1) {
    case 0: disconnected(call, r, 7, time_us); break;
    case 1: establish(call, r, 2, time_us); break;
    case 3: ++ec.errors; break;
    case 4: ++ec.timeouts; break;
    case 10: frame_statistics(call, true, r, time_us); break;
    case 11: frame_statistics(call, false, r, time_us); break;
    default: break;
    }
}

void on_mnp_parameter(CallTracker &, Call &call, const StatusRecord &r, int64_t, int64_t) {
    if (r.param1 < 6) call.ec.mnp[r.param1] = static_cast<int32_t>(r.param2);
}

void on_v80(CallTracker &, Call &call, const StatusRecord &r, int64_t time_us, int64_t) {
    ErrorControl &ec = call.ec;
    switch (r.param1) {
    case 0: disconnected(call, r, 2, time_us); break;
    case 1: establish(call, r, 4, time_us); break;
    case 2: ++ec.errors; break;
    case 14: frame_statistics(call, true, r, time_us); break;
    case 15: frame_statistics(call, false, r, time_us); break;
    default: break;
    }
}

void on_error_statistics(CallTracker &, Call &call, const StatusRecord &r, int64_t time_us, int64_t) {
    ErrorStatistics &s = call.stats;
    s.known = true;
    s.bits = r.param1;
    s.blocks = r.param2;
    s.bit_errors = r.param3;
    s.block_errors = r.param4;
    s.audio = r.param5 != 0;
    s.audio_bits = r.param5;
    s.audio_blocks = r.param6;
    s.sync_errors = r.param7;
    s.audio_block_errors = r.param8;
    s.time_us = time_us;
    s.record = call_current_record(call);
}

// ---- Fax ---------------------------------------------------------------------------

// T.30 facsimile control fields the fax reports name.
constexpr uint8_t FCF_DIS = 0x01, FCF_CFR = 0x21, FCF_FTT = 0x22, FCF_MCF = 0x31, FCF_RTN = 0x32,
                  FCF_RTP = 0x33, FCF_DCS = 0x41, FCF_CRP = 0x58, FCF_DCN = 0x5F, FCF_EOM = 0x71,
                  FCF_MPS = 0x72, FCF_EOP = 0x74, FCF_DTC = 0x81;

uint8_t phase_of_frame(uint8_t fcf) {
    switch (fcf) {
    case FCF_DIS: case FCF_DCS: case FCF_DTC: case FCF_CFR: case FCF_FTT: case FAX_TCF:
        return FAX_PHASE_B;
    case FCF_DCN:
        return FAX_PHASE_E;
    case FCF_CRP:
        return 0;
    default:
        return FAX_PHASE_D;  // post-message commands and responses, partial-page frames
    }
}

void fax_frame(FaxInfo &fax, bool sent, uint8_t fcf) {
    ++fax.frames_seen;
    if (fax.frame_count < FAX_FRAMES_MAX) fax.frames[fax.frame_count++] = {sent, fcf};
    fax.phases |= phase_of_frame(fcf);
    switch (fcf) {
    case FCF_MCF: ++fax.confirmed; break;
    case FCF_RTN: ++fax.rejected; break;
    case FCF_RTP: ++fax.retrain_positive; break;
    case FCF_FTT: ++fax.failed_training; break;
    case FAX_TCF: if (sent) ++fax.tcf_sent; break;
    case FCF_CRP: ++fax.repeats; break;
    case FCF_DCN: (sent ? fax.dcn_sent : fax.dcn_received) = true; break;
    default: break;
    }
}

// Frames the FAX source reports as received, by its event code.
struct FaxReceived {
    uint32_t event;
    uint8_t fcf;
};
constexpr FaxReceived FAX_RECEIVED[] = {
    {4, FCF_DIS}, {5, FCF_DCS}, {6, FCF_DTC}, {7, FCF_CFR}, {8, FCF_FTT}, {15, FAX_TCF},
    {18, FCF_MCF}, {19, FCF_RTN}, {20, FCF_RTP}, {22, FCF_EOM}, {23, FCF_MPS}, {24, FCF_EOP},
    {29, FCF_DCN}, {31, FCF_CRP},
};
// The same rows by event code: the frame's FCF plus one, 0 for events that are no received frame.
constexpr auto FAX_RECEIVED_BY_EVENT = [] {
    std::array<uint16_t, 64> table{};
    for (const FaxReceived &row : FAX_RECEIVED) table[row.event] = uint16_t(row.fcf + 1);
    return table;
}();

void fax_event(Call &call, const StatusRecord &r, int64_t time_us) {
    FaxInfo &fax = call.fax;
    fax.seen = true;
    fax.last_at = mark_of(call, r, time_us);

    const uint32_t event = r.param3;
    if (r.param2 == 0) {  // the FAX layer
        if (event < FAX_RECEIVED_BY_EVENT.size() && FAX_RECEIVED_BY_EVENT[event] != 0) {
            fax_frame(fax, false, static_cast<uint8_t>(FAX_RECEIVED_BY_EVENT[event] - 1));
            return;
        }
        switch (event) {
        case 1: fax.phases |= FAX_PHASE_A; break;
        case 2: fax.phases |= FAX_PHASE_A; add_direction(call, DIRECTION_ORIGINATE, time_us); break;
        case 3: fax.phases |= FAX_PHASE_A; add_direction(call, DIRECTION_ANSWER, time_us); break;
        case 9: case 10: case 11: case 12: case 13: fax.phases |= FAX_PHASE_B; break;
        case 14: fax_frame(fax, true, FAX_TCF); break;
        case 16: case 21: case 33: case 34: case 41: case 42: fax.phases |= FAX_PHASE_C; break;
        case 17: case 25: case 26: case 27: fax.phases |= FAX_PHASE_D; break;
        case 28: fax.dcn_sent = true; fax.phases |= FAX_PHASE_E; break;
        case 32: case 59: ++fax.bad_frames; break;
        case 36: fax.phases |= FAX_PHASE_E; break;
        case 61: ++fax.training_ok; break;
        case 62: ++fax.failed_training; break;
        default: break;
        }
    } else if (r.param2 == 1) {  // the line monitor
        switch (event) {
        case 3: case 13: fax.phases |= FAX_PHASE_A; break;
        case 4: fax.phases |= FAX_PHASE_E; break;
        case 8: case 9: case 10: fax.phases |= FAX_PHASE_B; break;
        case 11: case 12: fax.phases |= FAX_PHASE_C; break;
        case 16: ++fax.training_ok; fax.phases |= FAX_PHASE_B; break;
        case 19: case 21: add_direction(call, DIRECTION_ORIGINATE, time_us); break;
        case 20: case 22: add_direction(call, DIRECTION_ANSWER, time_us); break;
        default: break;
        }
    } else {  // T.30
        switch (event) {
        case 19:
            if (r.param4 <= 0xFF && t30_frame_name(r.param4) != nullptr)
                fax_frame(fax, true, static_cast<uint8_t>(r.param4));
            break;
        case 20: ++fax.repeats; break;
        case 32: ++fax.pages_counted; break;
        default: break;
        }
    }
}

void on_fax(CallTracker &, Call &call, const StatusRecord &r, int64_t time_us, int64_t) {
    FaxInfo &fax = call.fax;
    const uint32_t failures = fax.failed_training + fax.rejected;
    const uint16_t cfr = fax.frames_seen;
    fax_event(call, r, time_us);
    // A training the receiver confirmed (CFR either way, or the line monitor's
    // training success) shows a connection as carrier or data mode do.
    bool confirmed = fax.training_ok > 0;
    for (uint16_t i = cfr; i < fax.frame_count && !confirmed; ++i) confirmed = fax.frames[i].fcf == FCF_CFR;
    if (confirmed) connected(call, r, time_us);
    // The first failed training (FTT, RTN, or the V.34 training's failure) is where the fax went wrong.
    if (fax.training_failed_at.record == 0 && fax.failed_training + fax.rejected > failures)
        fax.training_failed_at = fax.last_at;
}

// ---- Caller ID ---------------------------------------------------------------------

void on_caller_id(CallTracker &t, Call &call, const StatusRecord &r, int64_t time_us, int64_t) {
    CallerId &id = call.caller;
    id.seen = true;
    add_direction(call, DIRECTION_ANSWER, time_us);
    const int32_t p2 = static_cast<int32_t>(r.param2);
    switch (r.param1) {
    case 0: ++id.errors; id.last_error = p2; break;
    case 1: id.seizure_bytes = p2; break;
    case 2: id.mark_bytes = p2; break;
    case 3: {
        unsigned char bytes[8];
        if (t.memory.read != nullptr && r.param3 != 0 &&
            t.memory.read(t.memory.context, r.param3, bytes, 8) == 8) {
            std::memcpy(id.time, bytes, 8);
            id.time[8] = '\0';
            id.time_known = true;
        } else {
            call_add_anomaly(call, ANOMALY_DRIVER_MEMORY, time_us, r.code, r.param1);
        }
        break;
    }
    case 4:
        id.number_known = read_caller_text(t.memory, r.param3, p2, id.number, sizeof id.number);
        if (!id.number_known) call_add_anomaly(call, ANOMALY_DRIVER_MEMORY, time_us, r.code, r.param1);
        break;
    case 5:
        id.name_known = read_caller_text(t.memory, r.param3, p2, id.name, sizeof id.name);
        if (!id.name_known) call_add_anomaly(call, ANOMALY_DRIVER_MEMORY, time_us, r.code, r.param1);
        break;
    case 6: id.finished = true; break;
    case 7: ++id.unknown_messages; break;
    case 8: id.message_bytes = p2; break;
    default: break;
    }
}

// ---- One record of a running call ----------------------------------------------

// The records that list an event: cleardowns, carrier loss, retrains,
// renegotiations, fallbacks.
void on_cleardown(CallTracker &t, Call &call, const StatusRecord &r, int64_t time_us, int64_t wall_us) {
    const EventOrigin origin = r.code == 35 ? ORIGIN_REMOTE : ORIGIN_LOCAL;
    const bool first = !call.cleared;
    if (first) {
        call.cleared = true;
        call.cleardown = r.code == 35 ? CLEARDOWN_REMOTE : CLEARDOWN_LOCAL;
        call.cleardown_code = static_cast<uint16_t>(r.code);
        call.cleardown_us = time_us;
    }
    add_event(t, EVENT_CLEARDOWN, origin, r, time_us, wall_us, first);
}

void on_carrier_lost(CallTracker &t, Call &call, const StatusRecord &r, int64_t time_us, int64_t wall_us) {
    call.carrier = false;
    ++call.carrier_losses;
    call.last_carrier_lost = mark_of(call, r, time_us);
    add_event(t, EVENT_CARRIER_LOST, ORIGIN_UNKNOWN, r, time_us, wall_us, true);
}

void on_retrain(CallTracker &t, Call &call, const StatusRecord &r, int64_t time_us, int64_t wall_us) {
    const bool remote = r.code == 39;
    ++call.retrains;
    if (remote) ++call.retrains_remote;
    add_event(t, EVENT_RETRAIN, remote ? ORIGIN_REMOTE : ORIGIN_LOCAL, r, time_us, wall_us, true);
}

void on_renegotiation(CallTracker &t, Call &call, const StatusRecord &r, int64_t time_us, int64_t wall_us) {
    const bool remote = r.code == 41;
    ++call.renegotiations;
    if (remote) ++call.renegotiations_remote;
    add_event(t, EVENT_RENEGOTIATION, remote ? ORIGIN_REMOTE : ORIGIN_LOCAL, r, time_us, wall_us, true);
}

void on_fallback(CallTracker &t, Call &call, const StatusRecord &r, int64_t time_us, int64_t wall_us) {
    ++call.fallbacks;
    add_event(t, EVENT_FALLBACK, ORIGIN_UNKNOWN, r, time_us, wall_us, false);
}

void on_fallforward(CallTracker &t, Call &call, const StatusRecord &r, int64_t time_us, int64_t wall_us) {
    ++call.fallforwards;
    add_event(t, EVENT_FALLFORWARD, ORIGIN_UNKNOWN, r, time_us, wall_us, false);
}

// Host and line states: modulation, symbol rates, hook, rings, dialing.
void on_modulation_record(CallTracker &, Call &call, const StatusRecord &r, int64_t time_us, int64_t) {
    if (r.param1 == 0) return;  // idle ends the call (see the feed)
    call.trained = true;
    on_modulation(call, r.param1, time_us);
}

void on_symbol_rate(CallTracker &, Call &call, const StatusRecord &r, int64_t time_us, int64_t) {
    const std::optional<long> hz = symbol_rate_of(r.param1);
    if (!hz) {
        call_add_anomaly(call, ANOMALY_SYMBOL_RATE_INDEX, time_us, r.code, r.param1);
    } else {
        (r.code == 3 ? call.rx_symbol_rate : call.tx_symbol_rate) = hz;
    }
}

void on_hook(CallTracker &, Call &call, const StatusRecord &r, int64_t time_us, int64_t) {
    if (r.param1 == 0) return;  // on hook ends the call (see the feed)
    if (call.off_hook) call_add_anomaly(call, ANOMALY_OFF_HOOK_TWICE, time_us, 0, 0);
    call.off_hook = true;
}

void on_ring(CallTracker &, Call &call, const StatusRecord &, int64_t time_us, int64_t) {
    ++call.rings;
    add_direction(call, DIRECTION_ANSWER, time_us);
}

void on_dialing(CallTracker &, Call &call, const StatusRecord &, int64_t time_us, int64_t) {
    add_direction(call, DIRECTION_ORIGINATE, time_us);
}

void on_data_mode(CallTracker &, Call &call, const StatusRecord &r, int64_t time_us, int64_t) {
    call.data_mode = true;
    connected(call, r, time_us);
}

void on_carrier(CallTracker &, Call &call, const StatusRecord &r, int64_t time_us, int64_t) {
    call.carrier = true;
    connected(call, r, time_us);
}

void on_caller_circuit(CallTracker &, Call &call, const StatusRecord &, int64_t, int64_t) {
    call.caller.seen = true;
}

struct ApplyRow {
    std::initializer_list<uint32_t> codes;
    CallApply apply;
};

// One row per handler: the codes it takes.
constexpr auto CALL_APPLY_TABLE = [] {
    const ApplyRow rows[] = {
        {{2}, on_modulation_record},
        {{3, 4}, on_symbol_rate},
        {{11, 12}, on_rate},
        {{13, 14, 129}, on_data_mode},
        {{22}, on_hook},
        {{26}, on_ring},
        {{34, 35, 44}, on_cleardown},
        {{36}, on_carrier},
        {{37}, on_carrier_lost},
        {{38, 39}, on_retrain},
        {{40, 41}, on_renegotiation},
        {{42}, on_fallback},
        {{43}, on_fallforward},
        {{64}, on_training},
        {{65}, on_measurement},
        {{66}, on_dialing},
        {{69}, on_lapm},
        {{70}, on_lapm_parameter},
        {{71}, on_v42bis},
        {{72}, on_caller_id},
        {{80}, on_mnp},
        {{81}, on_mnp_parameter},
        {{84}, on_fax},
        {{88}, on_caller_circuit},
        {{89}, on_v80},
        {{128}, on_error_statistics},
    };
    std::array<CallApply, 256> table{};
    for (const ApplyRow &row : rows)
        for (uint32_t code : row.codes) table[code] = row.apply;
    return table;
}();

// Every code the running path hands to CALL_APPLY has a handler.
constexpr bool every_running_code_applies() {
    for (size_t code = 0; code < RUNNING_RECORD.size(); ++code) {
        const bool applied = RUNNING_RECORD[code] == RUNNING_APPLY || RUNNING_RECORD[code] == RUNNING_BY_EVENT;
        if (applied && CALL_APPLY_TABLE[code] == nullptr) return false;
    }
    return true;
}
static_assert(every_running_code_applies());

}  // namespace

// Each family's handler is reached through one table lookup, so that the
// frequent records pay for no more than their own work.
const std::array<CallApply, 256> CALL_APPLY = CALL_APPLY_TABLE;

void call_add_anomaly(Call &call, AnomalyKind kind, int64_t time_us, uint32_t value, uint32_t other) {
    ++call.anomalies_seen;
    for (const Anomaly &a : call.anomalies)
        if (a.kind == kind && a.value == value && a.other == other) return;
    if (call.anomalies.size() < ANOMALIES_MAX) append(call.anomalies, Anomaly{kind, time_us, value, other}, 8);
}

void call_tracker_init(CallTracker &tracker, int modem, DriverMemoryAccess memory) {
    tracker.modem = modem;
    tracker.call.reset();
    tracker.calls_started = 0;
    tracker.records_outside_calls = 0;
    tracker.records_fed = 0;
    tracker.winding_down = false;
    tracker.eye = EyeRing{};
    tracker.memory = memory;
}

unsigned call_tracker_feed(CallTracker &t, const StatusRecord &r, int64_t time_us, int64_t wall_us,
                           std::unique_ptr<Call> *ended) {
    if (call_tracker_feed_open(t, call_tracker_open_call(t), r, time_us, wall_us)) return FEED_NONE;
    return call_tracker_feed_other(t, r, time_us, wall_us, ended);
}

unsigned call_tracker_feed_other(CallTracker &t, const StatusRecord &r, int64_t time_us, int64_t wall_us,
                                 std::unique_ptr<Call> *ended) {
    // Capture control: taken by the status intake, never part of a call.
    if (is_capture_request_code(r.code)) return FEED_NONE;
    unsigned result = FEED_NONE;
    if (!t.call) {
        const uint32_t number = ++t.records_fed;
        if (t.winding_down) {
            if (winds_down(r)) {
                // On hook or idle modulation: the wind-down is over.
                if (r.code == 2 || r.code == 22) t.winding_down = false;
                ++t.records_outside_calls;
                return FEED_NONE;
            }
            if (!begins_call(r)) {
                ++t.records_outside_calls;
                return starts_no_call(r) ? FEED_NONE : FEED_AFTER_CLEARDOWN;
            }
            t.winding_down = false;
        } else if (is_cleardown_type(r) || (is_link_report(r.code) && t.calls_started > 0)) {
            ++t.records_outside_calls;
            return FEED_STRAY;
        } else if (starts_no_call(r)) {
            ++t.records_outside_calls;
            return FEED_NONE;
        }
        start_call(t, time_us, wall_us, number);
        result |= FEED_STARTED;
    }
    Call &call = *t.call;
    ++call.records;
    call.end_us = time_us;
    call.end_wall_us = wall_us;
    call_tracker_apply(t, r, time_us, wall_us);
    if (call.cleared) {
        end_call(t, CLEARDOWN_UNKNOWN, static_cast<uint16_t>(r.code), call_current_record(call), time_us, wall_us, ended);
        t.winding_down = true;
        result |= FEED_ENDED;
    } else if (r.code == 22 && r.param1 == 0) {
        end_call(t, CLEARDOWN_ON_HOOK, 22, call_current_record(call), time_us, wall_us, ended);
        result |= FEED_ENDED;
    } else if (r.code == 2 && r.param1 == 0) {
        end_call(t, CLEARDOWN_IDLE, 2, call_current_record(call), time_us, wall_us, ended);
        result |= FEED_ENDED;
    }
    return result;
}

bool call_tracker_idle(CallTracker &t, int64_t time_us, int64_t wall_us, std::unique_ptr<Call> *ended) {
    t.winding_down = false;
    if (!t.call) return false;
    end_call(t, CLEARDOWN_IDLE, 0, 0, time_us, wall_us, ended);
    return true;
}

bool call_tracker_finish(CallTracker &t, std::unique_ptr<Call> *out) {
    t.winding_down = false;
    if (!t.call) return false;
    if (t.call->records > 0) t.records_fed = t.call->first_record + t.call->records - 1;
    *out = std::move(t.call);
    (*out)->ended = false;
    return true;
}

void call_tracker_eye_tick(CallTracker &t, const EyeXY *points, size_t count, int64_t time_us) {
    eye_ring_add(t.eye, points, count, time_us);
}
