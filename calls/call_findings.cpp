#include "calls/call_findings.h"

#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <optional>

#include "calls/call_summary.h"
#include "formatting/formatting.h"

namespace {

// ---- Small helpers ------------------------------------------------------------------

// Seconds with one decimal ("12.4").
double seconds(int64_t us) { return static_cast<double>(us) / 1e6; }
// A value in 1/16 units (dB, dBm) as a number.
double sixteenths(int32_t value) { return value / 16.0; }

bool connected(const Call &call) { return call.connected_us.has_value(); }
int64_t duration_us(const Call &call) { return call.end_us - call.start_us; }

// The frozen eye kept at the moment of a record, -1 when none.
int16_t eye_at(const Call &call, const RecordMark &at) {
    for (const CallEvent &e : call.events)
        if (e.record == at.record && e.time_us == at.time_us) return e.frozen_eye;
    return -1;
}


// What one series did over the MEASURE_WINDOW_US before a moment: from the
// value that stood at the window's start (the last point at or before it,
// else the first within it) to the last point at or before the moment.
struct Change {
    bool known = false;
    int32_t from = 0, to = 0;
    int64_t span_us = 0;
};

Change change_before(const std::vector<SeriesPoint> &points, const RecordMark &at) {
    Change c;
    const int64_t window_start = at.time_us - MEASURE_WINDOW_US;
    const SeriesPoint *from = nullptr, *to = nullptr;
    for (const SeriesPoint &p : points) {
        // Before the moment: earlier, or at the same time in an earlier record.
        if (p.time_us > at.time_us || (p.time_us == at.time_us && at.record != 0 && p.record >= at.record)) break;
        if (p.time_us <= window_start || from == nullptr) from = &p;
        to = &p;
    }
    if (from == nullptr || to == nullptr || to->time_us <= window_start) return c;
    c.known = true;
    c.from = from->value;
    c.to = to->value;
    c.span_us = to->time_us - from->time_us;
    return c;
}

// "; SNR fell 7.5 dB over 2.0 s (30.0 to 22.5); Rx level -30.0 dBm": what
// the measurements did in the window before a moment (a change, or the value
// that stood), or that there were none.
void measurements_before(const Call &call, const RecordMark &at, char *text, size_t size) {
    struct Measured {
        SeriesKind kind;
        const char *name;
        const char *unit;
    };
    static const Measured MEASURED[] = {
        {SERIES_SNR, "SNR", "dB"}, {SERIES_RX_LEVEL, "Rx level", "dBm"}, {SERIES_SIGNAL_ECHO, "signal/echo", "dB"}};
    bool any_point = false;
    for (const Measured &m : MEASURED) {
        const Change c = change_before(call.series_points[m.kind], at);
        if (!c.known) continue;
        any_point = true;
        const int32_t delta = c.to - c.from;
        if (delta < MEASURE_CHANGE_MIN16 && delta > -MEASURE_CHANGE_MIN16)
            text_append(text, size, "; %s %.1f %s", m.name, sixteenths(c.to), m.unit);
        else
            text_append(text, size, "; %s %s %.1f dB over %.1f s (%.1f to %.1f %s)", m.name, delta < 0 ? "fell" : "rose",
                   sixteenths(delta < 0 ? -delta : delta), seconds(c.span_us), sixteenths(c.from), sixteenths(c.to),
                   m.unit);
    }
    if (!any_point) text_append(text, size, "; no line measurement in the %.0f s before", seconds(MEASURE_WINDOW_US));
}

const CallEvent *first_event(const Call &call, CallEventKind kind) {
    for (const CallEvent &e : call.events)
        if (e.kind == kind) return &e;
    return nullptr;
}

RecordMark mark_of(const CallEvent &e) { return RecordMark{e.time_us, e.record, e.code}; }

double ratio(uint32_t errors, uint32_t total) { return total == 0 ? 0.0 : double(errors) / double(total); }

// ---- The rules: each condition, and the text with its numbers -----------------------

void add(CallVerdict &out, FindingId id, const RecordMark &at, uint8_t nth = 1, uint8_t part = 0);

void check_hangup(const Call &call, CallVerdict &out, CleardownCause cause, FindingId id) {
    if (call.cleardown != cause || !connected(call)) return;
    const CallEvent *e = first_event(call, EVENT_CLEARDOWN);
    add(out, id, e != nullptr ? mark_of(*e) : call.end_at);
}
void check_hangup_local(const Call &call, CallVerdict &out) { check_hangup(call, out, CLEARDOWN_LOCAL, FINDING_HANGUP_LOCAL); }
void check_hangup_remote(const Call &call, CallVerdict &out) { check_hangup(call, out, CLEARDOWN_REMOTE, FINDING_HANGUP_REMOTE); }

void text_hangup(const Call &call, const Finding &f, char *text, size_t size) {
    snprintf(text, size, "%s (code %u) %.1f s into the call, after %.1f s connected",
             f.id == FINDING_HANGUP_REMOTE ? "Cleardown asked by the remote end" : "Cleardown by this end",
             call.cleardown_code, seconds(f.at.time_us - call.start_us),
             seconds(f.at.time_us - call.connected_us.value_or(call.start_us)));
}

void check_line_drop(const Call &call, CallVerdict &out) {
    if (call.cleardown == CLEARDOWN_CARRIER_LOST) add(out, FINDING_LINE_DROP, call.last_carrier_lost);
}
void text_line_drop(const Call &call, const Finding &f, char *text, size_t size) {
    snprintf(text, size, "Carrier lost %.1f s into the call without cleardown", seconds(f.at.time_us - call.start_us));
    measurements_before(call, f.at, text, size);
}

// Evidence that the modems tried to train: a modulation, training reports,
// rates or a fax.
bool trained(const Call &call) {
    return call.trained || call.modulation_conflict || call.rx_rate.initial || call.tx_rate.initial ||
           call.fax.seen;
}

void check_training_failed(const Call &call, CallVerdict &out) {
    if (call.ended && !connected(call) && duration_us(call) >= CONNECT_TIME_MIN_US)
        add(out, FINDING_TRAINING_FAILED, call.end_at);
}
void text_training_failed(const Call &call, const Finding &, char *text, size_t size) {
    if (trained(call))
        snprintf(text, size, "Training failed: no connection after %.1f s (modulation %s)", seconds(duration_us(call)),
                 call.modulation ? modulation_name(*call.modulation) : "unknown");
    else
        snprintf(text, size, "No carrier: no connection in %.1f s%s", seconds(duration_us(call)),
                 call.off_hook ? " off hook" : "");
}

void check_too_short(const Call &call, CallVerdict &out) {
    if (call.ended && !connected(call) && duration_us(call) < CONNECT_TIME_MIN_US)
        add(out, FINDING_TOO_SHORT, call.end_at);
}
void text_too_short(const Call &call, const Finding &, char *text, size_t size) {
    snprintf(text, size, "The call lasted %.1f s, too short to have connected (a connection takes %.0f s at least)",
             seconds(duration_us(call)), seconds(CONNECT_TIME_MIN_US));
}

void check_retrains(const Call &call, CallVerdict &out, FindingId id, EventOrigin origin) {
    uint8_t n = 0;
    for (const CallEvent &e : call.events) {
        if (e.kind != EVENT_RETRAIN || e.origin != origin) continue;
        if (n == FINDINGS_PER_RULE_MAX) break;
        add(out, id, mark_of(e), ++n);
    }
}
void check_retrain_remote(const Call &call, CallVerdict &out) { check_retrains(call, out, FINDING_RETRAIN_REMOTE, ORIGIN_REMOTE); }
void check_retrain_local(const Call &call, CallVerdict &out) { check_retrains(call, out, FINDING_RETRAIN_LOCAL, ORIGIN_LOCAL); }

void text_retrain(const Call &call, const Finding &f, char *text, size_t size) {
    const bool remote = f.id == FINDING_RETRAIN_REMOTE;
    snprintf(text, size, "Retrain %u of %u asked by the %s end %.1f s into the call", f.nth,
             remote ? call.retrains_remote : call.retrains - call.retrains_remote, remote ? "remote" : "local",
             seconds(f.at.time_us - call.start_us));
    measurements_before(call, f.at, text, size);
}

const RateStats &rates_of(const Call &call, uint8_t part) { return part == 0 ? call.rx_rate : call.tx_rate; }

long fallback_percent(const RateStats &r) {
    if (!r.initial || !r.final || *r.initial <= 0 || *r.final >= *r.initial) return 0;
    return (*r.initial - *r.final) * 100 / *r.initial;
}

void check_rate_fallback(const Call &call, CallVerdict &out) {
    for (uint8_t part = 0; part < 2; ++part)
        if (fallback_percent(rates_of(call, part)) >= FALLBACK_PERCENT_MIN)
            add(out, FINDING_RATE_FALLBACK, rates_of(call, part).final_at, 1, part);
}
void text_rate_fallback(const Call &call, const Finding &f, char *text, size_t size) {
    const RateStats &r = rates_of(call, f.part);
    snprintf(text, size, "%s rate fell %ld %% (from %ld to %ld bit/s; retrains %u, renegotiations %u, fallbacks %u)",
             f.part == 0 ? "Rx" : "Tx", fallback_percent(r), r.initial.value_or(0), r.final.value_or(0), call.retrains,
             call.renegotiations, call.fallbacks);
}

bool ber_high(const ErrorStatistics &s) {
    return s.known && s.bits >= STATISTICS_BITS_MIN && ratio(s.bit_errors, s.bits) > BER_MAX;
}
bool bler_high(const ErrorStatistics &s) {
    return s.known && s.bits >= STATISTICS_BITS_MIN && s.blocks > 0 && ratio(s.block_errors, s.blocks) > BLER_MAX;
}

void check_noisy_line(const Call &call, CallVerdict &out) {
    const ErrorStatistics &s = call.stats;
    if (ber_high(s) || bler_high(s)) add(out, FINDING_NOISY_LINE, RecordMark{s.time_us, s.record, 128});
}
void text_noisy_line(const Call &call, const Finding &, char *text, size_t size) {
    const ErrorStatistics &s = call.stats;
    snprintf(text, size,
             "Noisy line: BER %.2g (%" PRIu32 " in %" PRIu32 " bits, bound %.0e), BLER %.2g (%" PRIu32 " in %" PRIu32
             " blocks, bound %.0e)",
             ratio(s.bit_errors, s.bits), s.bit_errors, s.bits, BER_MAX, ratio(s.block_errors, s.blocks),
             s.block_errors, s.blocks, BLER_MAX);
}

bool share_high(const std::optional<uint32_t> &part, const std::optional<uint32_t> &total) {
    return part && total && *total >= FRAMES_MIN && uint64_t(*part) * 1000 > uint64_t(*total) * RETRANSMIT_PERMILLE_MAX;
}

void check_retransmissions(const Call &call, CallVerdict &out) {
    const ErrorControl &ec = call.ec;
    if (share_high(ec.tx_retransmitted, ec.tx_frames) || share_high(ec.rx_rejected, ec.rx_frames))
        add(out, FINDING_RETRANSMISSIONS, ec.frames_at);
}
void text_retransmissions(const Call &call, const Finding &, char *text, size_t size) {
    const ErrorControl &ec = call.ec;
    const bool tx = share_high(ec.tx_retransmitted, ec.tx_frames);
    text[0] = '\0';
    if (tx)
        text_append(text, size, "%" PRIu32 " of %" PRIu32 " frames sent were retransmitted (%.1f %%)", *ec.tx_retransmitted,
               *ec.tx_frames, 100 * ratio(*ec.tx_retransmitted, *ec.tx_frames));
    if (share_high(ec.rx_rejected, ec.rx_frames))
        text_append(text, size, "%s%" PRIu32 " of %" PRIu32 " frames received were rejected (%.1f %%)", tx ? ", " : "",
               *ec.rx_rejected, *ec.rx_frames, 100 * ratio(*ec.rx_rejected, *ec.rx_frames));
    text_append(text, size, "; bound %.0f %%", RETRANSMIT_PERMILLE_MAX / 10.0);
}

// What the error-control disconnect reasons (0 to 6) name as a failure; null: no failure.
const char *const LINK_FAILURES[7] = {nullptr, nullptr, "the connection failed", "a protocol error",
                                      "a compression error", nullptr, "retries failed"};

void check_error_control_failed(const Call &call, CallVerdict &out) {
    const std::optional<int32_t> &reason = call.ec.disconnect_reason;
    if (reason && *reason >= 0 && *reason <= 6 && LINK_FAILURES[*reason] != nullptr)
        add(out, FINDING_ERROR_CONTROL_FAILED, call.ec.disconnect_at);
}
void text_error_control_failed(const Call &call, const Finding &, char *text, size_t size) {
    const ErrorControl &ec = call.ec;
    const int32_t reason = ec.disconnect_reason.value_or(0);
    snprintf(text, size, "Error control failed: %s disconnected after %s (%" PRIu32 " link errors, %" PRIu32 " time-outs)",
             ec.disconnect_code == 69 ? "LAPM" : ec.disconnect_code == 80 ? "MNP" : "V.80",
             reason >= 0 && reason <= 6 && LINK_FAILURES[reason] != nullptr ? LINK_FAILURES[reason] : "a failure",
             ec.errors, ec.timeouts);
}

bool line_noisy(const Call &call) { return ber_high(call.stats) || bler_high(call.stats); }

void check_error_control_absent(const Call &call, CallVerdict &out) {
    if (!connected(call) || call.ec.protocol != EC_UNKNOWN || call.fax.seen) return;
    if (line_noisy(call) || call.retrains > 0 || call.carrier_losses > 0)
        add(out, FINDING_ERROR_CONTROL_ABSENT, call.connected_at);
}
void text_error_control_absent(const Call &call, const Finding &, char *text, size_t size) {
    snprintf(text, size, "No error control on a line that needed it (");
    const char *sep = "";
    if (line_noisy(call)) {
        text_append(text, size, "BER %.2g, BLER %.2g", ratio(call.stats.bit_errors, call.stats.bits),
               ratio(call.stats.block_errors, call.stats.blocks));
        sep = ", ";
    }
    if (call.retrains > 0) {
        text_append(text, size, "%s%u retrains", sep, call.retrains);
        sep = ", ";
    }
    if (call.carrier_losses > 0) text_append(text, size, "%s%u carrier losses", sep, call.carrier_losses);
    text_append(text, size, ")");
}

void check_compression_off(const Call &call, CallVerdict &out) {
    const ErrorControl &ec = call.ec;
    bool off = false;
    if (ec.protocol == EC_LAPM)
        off = (ec.lapm[6] && (*ec.lapm[6] & 3) == 0) || (ec.v42bis_encoder == 0 && ec.v42bis_decoder == 0);
    if (ec.protocol == EC_MNP) off = ec.mnp[3] && *ec.mnp[3] == 0;
    if (off) add(out, FINDING_COMPRESSION_OFF, ec.established_at);
}
void text_compression_off(const Call &call, const Finding &, char *text, size_t size) {
    snprintf(text, size, "Compression off: %s without %s", error_control_name(call.ec.protocol),
             call.ec.protocol == EC_MNP ? "MNP 5" : "V.42bis");
}

void check_echo_limited(const Call &call, CallVerdict &out) {
    const Series &s = call.series[SERIES_SIGNAL_ECHO];
    if (s.samples > 0 && s.lowest < SIGNAL_ECHO_MIN16) add(out, FINDING_ECHO_LIMITED, s.lowest_at);
}
void text_echo_limited(const Call &call, const Finding &, char *text, size_t size) {
    snprintf(text, size, "Echo-limited line: signal/echo %.1f dB (bound %.1f dB)",
             sixteenths(call.series[SERIES_SIGNAL_ECHO].lowest), sixteenths(SIGNAL_ECHO_MIN16));
}

void check_rx_level_low(const Call &call, CallVerdict &out) {
    const Series &s = call.series[SERIES_RX_LEVEL];
    if (s.samples > 0 && s.lowest < RX_LEVEL_MIN16) add(out, FINDING_RX_LEVEL_LOW, s.lowest_at);
}
void check_rx_level_high(const Call &call, CallVerdict &out) {
    const Series &s = call.series[SERIES_RX_LEVEL];
    if (s.samples > 0 && s.highest > RX_LEVEL_MAX16) add(out, FINDING_RX_LEVEL_HIGH, s.highest_at);
}
void text_rx_level(const Call &call, const Finding &f, char *text, size_t size) {
    const Series &s = call.series[SERIES_RX_LEVEL];
    const bool low = f.id == FINDING_RX_LEVEL_LOW;
    snprintf(text, size, "Receive level too %s: %.1f dBm (bound %.1f dBm)", low ? "low" : "high",
             sixteenths(low ? s.lowest : s.highest), sixteenths(low ? RX_LEVEL_MIN16 : RX_LEVEL_MAX16));
}

void check_fax_training_failed(const Call &call, CallVerdict &out) {
    const FaxInfo &fax = call.fax;
    if (!fax.seen || (fax.failed_training == 0 && fax.rejected == 0 && fax.tcf_sent < 2)) return;
    add(out, FINDING_FAX_TRAINING_FAILED, fax.training_failed_at.record != 0 ? fax.training_failed_at : fax.last_at);
}
void text_fax_training_failed(const Call &call, const Finding &, char *text, size_t size) {
    const FaxInfo &fax = call.fax;
    snprintf(text, size, "Fax training failed: %u failed trainings (FTT), %u pages rejected (RTN), TCF sent %u times",
             fax.failed_training, fax.rejected, fax.tcf_sent);
}

void check_fax_pages_unconfirmed(const Call &call, CallVerdict &out) {
    const FaxInfo &fax = call.fax;
    if (!fax.seen || !call.ended) return;
    const bool message = fax.phases & FAX_PHASE_C;
    if (fax.pages_counted > fax.confirmed || (message && fax.confirmed == 0))
        add(out, FINDING_FAX_PAGES_UNCONFIRMED, fax.last_at);
}
void text_fax_pages_unconfirmed(const Call &call, const Finding &, char *text, size_t size) {
    snprintf(text, size, "Fax pages not confirmed: %u counted, %u confirmed (MCF)", call.fax.pages_counted,
             call.fax.confirmed);
}

void check_fax_no_dcn(const Call &call, CallVerdict &out) {
    const FaxInfo &fax = call.fax;
    if (!fax.seen || !call.ended || fax.dcn_sent || fax.dcn_received) return;
    if (fax.phases & (FAX_PHASE_B | FAX_PHASE_C | FAX_PHASE_D)) add(out, FINDING_FAX_NO_DCN, call.end_at);
}
void text_fax_no_dcn(const Call &call, const Finding &, char *text, size_t size) {
    snprintf(text, size, "The fax ended without DCN, %.1f s into the call", seconds(duration_us(call)));
}

// ---- The verdict -------------------------------------------------------------------------

const char *const TERMINATION_NAMES[TERMINATION_CATEGORIES] = {
    "running", "local hang-up", "remote hang-up", "line drop", "no connection", "link failure",
    "fax failure", "on hook without cleardown", "went idle without cleardown",
};

bool fired(const CallVerdict &v, FindingId id) {
    for (size_t i = 0; i < v.count; ++i)
        if (v.findings[i].id == id) return true;
    return false;
}

TerminationCategory termination_of(const Call &call, const CallVerdict &v) {
    if (!call.ended) return TERMINATION_RUNNING;
    if (call.cleardown == CLEARDOWN_CARRIER_LOST) return TERMINATION_LINE_DROP;
    if (!connected(call)) return TERMINATION_NO_CONNECTION;
    if (fired(v, FINDING_ERROR_CONTROL_FAILED)) return TERMINATION_LINK_FAILURE;
    if (fired(v, FINDING_FAX_TRAINING_FAILED) || fired(v, FINDING_FAX_PAGES_UNCONFIRMED))
        return TERMINATION_FAX_FAILURE;
    switch (call.cleardown) {
    case CLEARDOWN_LOCAL: return TERMINATION_LOCAL_HANGUP;
    case CLEARDOWN_REMOTE: return TERMINATION_REMOTE_HANGUP;
    case CLEARDOWN_ON_HOOK: return TERMINATION_ON_HOOK;
    default: return TERMINATION_IDLE;
    }
}

// The finding that explains the termination: the first error in the
// table's order, else the finding of how the call ended, else the first warning.
int primary_of(const CallVerdict &v) {
    for (size_t i = 0; i < v.count; ++i)
        if (v.findings[i].severity == SEVERITY_ERROR) return int(i);
    for (size_t i = 0; i < v.count; ++i) {
        const FindingId id = v.findings[i].id;
        if (id == FINDING_HANGUP_LOCAL || id == FINDING_HANGUP_REMOTE || id == FINDING_TOO_SHORT) return int(i);
    }
    for (size_t i = 0; i < v.count; ++i)
        if (v.findings[i].severity == SEVERITY_WARNING) return int(i);
    return -1;
}

}  // namespace

// One row per rule: id, name, severity, the check of its condition (beside
// it in words) and its text.
constexpr FindingRule FINDING_RULES[FINDING_IDS] = {
    // cleardown 34/44 after a connection
    {FINDING_HANGUP_LOCAL, "hangup-local", SEVERITY_NOTE, check_hangup_local, text_hangup},
    // cleardown 35 after a connection
    {FINDING_HANGUP_REMOTE, "hangup-remote", SEVERITY_NOTE, check_hangup_remote, text_hangup},
    // carrier lost (37), ended without cleardown
    {FINDING_LINE_DROP, "line-drop", SEVERITY_ERROR, check_line_drop, text_line_drop},
    // never connected, lasted CONNECT_TIME_MIN_US or more
    {FINDING_TRAINING_FAILED, "training-failed", SEVERITY_ERROR, check_training_failed, text_training_failed},
    // never connected, ended within CONNECT_TIME_MIN_US
    {FINDING_TOO_SHORT, "too-short", SEVERITY_WARNING, check_too_short, text_too_short},
    // each retrain 39 (up to FINDINGS_PER_RULE_MAX), with the measurements before
    {FINDING_RETRAIN_REMOTE, "retrain-remote", SEVERITY_WARNING, check_retrain_remote, text_retrain},
    // each retrain 38 (up to FINDINGS_PER_RULE_MAX), with the measurements before
    {FINDING_RETRAIN_LOCAL, "retrain-local", SEVERITY_WARNING, check_retrain_local, text_retrain},
    // final rate FALLBACK_PERCENT_MIN % or more below the initial, per direction
    {FINDING_RATE_FALLBACK, "rate-fallback", SEVERITY_WARNING, check_rate_fallback, text_rate_fallback},
    // BER above BER_MAX or BLER above BLER_MAX, over STATISTICS_BITS_MIN bits or more
    {FINDING_NOISY_LINE, "noisy-line", SEVERITY_WARNING, check_noisy_line, text_noisy_line},
    // retransmitted or rejected above RETRANSMIT_PERMILLE_MAX of FRAMES_MIN or more
    {FINDING_RETRANSMISSIONS, "retransmissions", SEVERITY_WARNING, check_retransmissions, text_retransmissions},
    // disconnect reason 2, 3, 4 or 6
    {FINDING_ERROR_CONTROL_FAILED, "error-control-failed", SEVERITY_ERROR, check_error_control_failed,
     text_error_control_failed},
    // none established on a data call that was noisy, retrained or lost carrier
    {FINDING_ERROR_CONTROL_ABSENT, "error-control-absent", SEVERITY_WARNING, check_error_control_absent,
     text_error_control_absent},
    // LAPM without V.42bis, MNP without MNP 5
    {FINDING_COMPRESSION_OFF, "compression-off", SEVERITY_NOTE, check_compression_off, text_compression_off},
    // signal/echo below SIGNAL_ECHO_MIN16
    {FINDING_ECHO_LIMITED, "echo-limited", SEVERITY_WARNING, check_echo_limited, text_echo_limited},
    // Rx level below RX_LEVEL_MIN16
    {FINDING_RX_LEVEL_LOW, "rx-level-low", SEVERITY_WARNING, check_rx_level_low, text_rx_level},
    // Rx level above RX_LEVEL_MAX16
    {FINDING_RX_LEVEL_HIGH, "rx-level-high", SEVERITY_WARNING, check_rx_level_high, text_rx_level},
    // FTT, RTN, or TCF sent twice or more
    {FINDING_FAX_TRAINING_FAILED, "fax-training-failed", SEVERITY_ERROR, check_fax_training_failed,
     text_fax_training_failed},
    // pages counted beyond the MCFs, or a page sent or received and no MCF
    {FINDING_FAX_PAGES_UNCONFIRMED, "fax-pages-unconfirmed", SEVERITY_ERROR, check_fax_pages_unconfirmed,
     text_fax_pages_unconfirmed},
    // a fax past phase A ended without DCN either way
    {FINDING_FAX_NO_DCN, "fax-no-dcn", SEVERITY_WARNING, check_fax_no_dcn, text_fax_no_dcn},
};

namespace {

constexpr bool rules_in_id_order() {
    for (size_t i = 0; i < FINDING_IDS; ++i)
        if (FINDING_RULES[i].id != static_cast<FindingId>(i) || FINDING_RULES[i].check == nullptr ||
            FINDING_RULES[i].text == nullptr)
            return false;
    return true;
}
static_assert(rules_in_id_order(), "one row per finding, in the order of their ids");

void add(CallVerdict &out, FindingId id, const RecordMark &at, uint8_t nth, uint8_t part) {
    if (out.count >= FINDINGS_MAX) return;
    out.findings[out.count++] = Finding{id, FINDING_RULES[id].severity, at, -1, nth, part};
}

}  // namespace

void call_verdict(const Call &call, CallVerdict &out) {
    out.count = 0;
    for (const FindingRule &rule : FINDING_RULES) rule.check(call, out);
    for (size_t i = 0; i < out.count; ++i) out.findings[i].frozen_eye = eye_at(call, out.findings[i].at);
    out.termination = termination_of(call, out);
    out.primary = primary_of(out);
}

void finding_text(const Call &call, const Finding &finding, char *text, size_t size) {
    if (size == 0) return;
    text[0] = '\0';
    if (finding.id < FINDING_IDS) FINDING_RULES[finding.id].text(call, finding, text, size);
}

void verdict_cause(const Call &call, const CallVerdict &v, char *text, size_t size) {
    if (size == 0) return;
    char name[40];
    snprintf(name, sizeof name, "%s", termination_name(v.termination));
    name[0] = static_cast<char>(name[0] - 'a' + 'A');
    if (v.primary >= 0 && size_t(v.primary) < v.count) {
        // "Line drop: carrier lost ...": the finding's text goes on in lower case, its abbreviations kept.
        char finding[FINDING_TEXT_BYTES];
        finding_text(call, v.findings[v.primary], finding, sizeof finding);
        if (finding[0] >= 'A' && finding[0] <= 'Z' && finding[1] >= 'a' && finding[1] <= 'z')
            finding[0] = static_cast<char>(finding[0] - 'A' + 'a');
        snprintf(text, size, "%s: %s", name, finding);
    } else if (call.ended) {
        snprintf(text, size, "%s %.1f s into the call; no finding", name, seconds(duration_us(call)));
    } else {
        snprintf(text, size, "%s; no finding so far", name);
    }
}

const char *finding_name(FindingId id) { return id < FINDING_IDS ? FINDING_RULES[id].name : "unknown"; }

const char *severity_name(FindingSeverity severity) {
    switch (severity) {
    case SEVERITY_NOTE: return "note";
    case SEVERITY_WARNING: return "warning";
    case SEVERITY_ERROR: return "error";
    default: return "unknown";
    }
}

const char *termination_name(TerminationCategory category) {
    return category < TERMINATION_CATEGORIES ? TERMINATION_NAMES[category] : "unknown";
}
