#include "calls/call_findings.h"

#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <cstring>

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

[[gnu::format(printf, 4, 5)]]
void add(std::vector<Finding> &out, FindingId id, const RecordMark &at, const char *format, ...);

// Appends to text (size bytes in all) without running past its end.
[[gnu::format(printf, 3, 4)]]
void append(char *text, size_t size, const char *format, ...) {
    const size_t used = strlen(text);
    if (used + 1 >= size) return;
    va_list args;
    va_start(args, format);
    vsnprintf(text + used, size - used, format, args);
    va_end(args);
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
            append(text, size, "; %s %.1f %s", m.name, sixteenths(c.to), m.unit);
        else
            append(text, size, "; %s %s %.1f dB over %.1f s (%.1f to %.1f %s)", m.name, delta < 0 ? "fell" : "rose",
                   sixteenths(delta < 0 ? -delta : delta), seconds(c.span_us), sixteenths(c.from), sixteenths(c.to),
                   m.unit);
    }
    if (!any_point) append(text, size, "; no line measurement in the %.0f s before", seconds(MEASURE_WINDOW_US));
}

const CallEvent *first_event(const Call &call, CallEventKind kind) {
    for (const CallEvent &e : call.events)
        if (e.kind == kind) return &e;
    return nullptr;
}

RecordMark mark_of(const CallEvent &e) { return RecordMark{e.time_us, e.record, e.code}; }

double ratio(uint32_t errors, uint32_t total) { return total == 0 ? 0.0 : double(errors) / double(total); }

// ---- The rules' checks ----------------------------------------------------------------

void hangup(const Call &call, std::vector<Finding> &out, CleardownCause cause, FindingId id, const char *who) {
    if (call.cleardown != cause || !connected(call)) return;
    const CallEvent *e = first_event(call, EVENT_CLEARDOWN);
    const RecordMark at = e != nullptr ? mark_of(*e) : call.end_at;
    add(out, id, at, "%s (code %u) %.1f s into the call, after %.1f s connected", who, call.cleardown_code,
        seconds(at.time_us - call.start_us), seconds(at.time_us - *call.connected_us));
}

void check_hangup_local(const Call &call, std::vector<Finding> &out) {
    hangup(call, out, CLEARDOWN_LOCAL, FINDING_HANGUP_LOCAL, "cleardown by this end");
}

void check_hangup_remote(const Call &call, std::vector<Finding> &out) {
    hangup(call, out, CLEARDOWN_REMOTE, FINDING_HANGUP_REMOTE, "cleardown asked by the remote end");
}

void check_line_drop(const Call &call, std::vector<Finding> &out) {
    if (call.cleardown != CLEARDOWN_CARRIER_LOST) return;
    const RecordMark &at = call.last_carrier_lost;
    char before[FINDING_TEXT_BYTES] = "";
    measurements_before(call, at, before, sizeof before);
    add(out, FINDING_LINE_DROP, at, "carrier lost %.1f s into the call without cleardown%s",
        seconds(at.time_us - call.start_us), before);
}

// Evidence that the modems tried to train: a modulation, training reports,
// rates or a fax.
bool trained(const Call &call) {
    return call.trained || call.modulation_conflict || call.rx_rate.initial || call.tx_rate.initial ||
           call.fax.seen;
}

void check_training_failed(const Call &call, std::vector<Finding> &out) {
    if (!call.ended || connected(call) || duration_us(call) < CONNECT_TIME_MIN_US) return;
    if (trained(call)) {
        add(out, FINDING_TRAINING_FAILED, call.end_at, "training failed: no connection after %.1f s (modulation %s)",
            seconds(duration_us(call)), call.modulation ? modulation_name(*call.modulation) : "unknown");
    } else {
        add(out, FINDING_TRAINING_FAILED, call.end_at, "no carrier: no connection in %.1f s%s",
            seconds(duration_us(call)), call.off_hook ? " off hook" : "");
    }
}

void check_too_short(const Call &call, std::vector<Finding> &out) {
    if (!call.ended || connected(call) || duration_us(call) >= CONNECT_TIME_MIN_US) return;
    add(out, FINDING_TOO_SHORT, call.end_at, "the call lasted %.1f s, too short to have connected (a connection takes %.0f s at least)",
        seconds(duration_us(call)), seconds(CONNECT_TIME_MIN_US));
}

void retrains(const Call &call, std::vector<Finding> &out, FindingId id, EventOrigin origin) {
    const uint32_t total = origin == ORIGIN_REMOTE ? call.retrains_remote : call.retrains - call.retrains_remote;
    uint32_t n = 0;
    for (const CallEvent &e : call.events) {
        if (e.kind != EVENT_RETRAIN || e.origin != origin) continue;
        if (++n > FINDINGS_PER_RULE_MAX) break;
        char before[FINDING_TEXT_BYTES] = "";
        measurements_before(call, mark_of(e), before, sizeof before);
        add(out, id, mark_of(e), "retrain %u of %u asked by the %s end %.1f s into the call%s", n, total,
            origin == ORIGIN_REMOTE ? "remote" : "local", seconds(e.time_us - call.start_us), before);
    }
}

void check_retrain_remote(const Call &call, std::vector<Finding> &out) {
    retrains(call, out, FINDING_RETRAIN_REMOTE, ORIGIN_REMOTE);
}

void check_retrain_local(const Call &call, std::vector<Finding> &out) {
    retrains(call, out, FINDING_RETRAIN_LOCAL, ORIGIN_LOCAL);
}

void check_rate_fallback(const Call &call, std::vector<Finding> &out) {
    const RateStats *rates[2] = {&call.rx_rate, &call.tx_rate};
    const char *names[2] = {"Rx", "Tx"};
    for (int i = 0; i < 2; ++i) {
        const RateStats &r = *rates[i];
        if (!r.initial || !r.final || *r.initial <= 0 || *r.final >= *r.initial) continue;
        const long percent = (*r.initial - *r.final) * 100 / *r.initial;
        if (percent < FALLBACK_PERCENT_MIN) continue;
        add(out, FINDING_RATE_FALLBACK, r.final_at,
            "%s rate fell %ld %% (from %ld to %ld bit/s; retrains %u, renegotiations %u, fallbacks %u)",
            names[i], percent, *r.initial, *r.final, call.retrains, call.renegotiations, call.fallbacks);
    }
}

bool ber_high(const ErrorStatistics &s) {
    return s.known && s.bits >= STATISTICS_BITS_MIN && ratio(s.bit_errors, s.bits) > BER_MAX;
}
bool bler_high(const ErrorStatistics &s) {
    return s.known && s.bits >= STATISTICS_BITS_MIN && s.blocks > 0 && ratio(s.block_errors, s.blocks) > BLER_MAX;
}

void check_noisy_line(const Call &call, std::vector<Finding> &out) {
    const ErrorStatistics &s = call.stats;
    if (!ber_high(s) && !bler_high(s)) return;
    add(out, FINDING_NOISY_LINE, RecordMark{s.time_us, s.record, 128},
        "noisy line: BER %.2g (%" PRIu32 " in %" PRIu32 " bits, bound %.0e), BLER %.2g (%" PRIu32 " in %" PRIu32
        " blocks, bound %.0e)",
        ratio(s.bit_errors, s.bits), s.bit_errors, s.bits, BER_MAX, ratio(s.block_errors, s.blocks), s.block_errors,
        s.blocks, BLER_MAX);
}

bool share_high(const std::optional<uint32_t> &part, const std::optional<uint32_t> &total) {
    return part && total && *total >= FRAMES_MIN && uint64_t(*part) * 1000 > uint64_t(*total) * RETRANSMIT_PERMILLE_MAX;
}

void check_retransmissions(const Call &call, std::vector<Finding> &out) {
    const ErrorControl &ec = call.ec;
    const bool tx = share_high(ec.tx_retransmitted, ec.tx_frames);
    const bool rx = share_high(ec.rx_rejected, ec.rx_frames);
    if (!tx && !rx) return;
    char text[FINDING_TEXT_BYTES] = "";
    if (tx)
        append(text, sizeof text, "%" PRIu32 " of %" PRIu32 " frames sent were retransmitted (%.1f %%)",
               *ec.tx_retransmitted, *ec.tx_frames, 100 * ratio(*ec.tx_retransmitted, *ec.tx_frames));
    if (rx)
        append(text, sizeof text, "%s%" PRIu32 " of %" PRIu32 " frames received were rejected (%.1f %%)",
               tx ? ", " : "", *ec.rx_rejected, *ec.rx_frames, 100 * ratio(*ec.rx_rejected, *ec.rx_frames));
    add(out, FINDING_RETRANSMISSIONS, ec.frames_at, "%s; bound %.0f %%", text, RETRANSMIT_PERMILLE_MAX / 10.0);
}

const char *protocol_of_code(uint16_t code) { return code == 69 ? "LAPM" : code == 80 ? "MNP" : "V.80"; }

void check_error_control_failed(const Call &call, std::vector<Finding> &out) {
    const ErrorControl &ec = call.ec;
    if (!ec.disconnect_reason) return;
    static const char *const failures[7] = {nullptr,           nullptr, "the connection failed", "a protocol error",
                                            "a compression error", nullptr, "retries failed"};
    const int32_t reason = *ec.disconnect_reason;
    if (reason < 0 || reason > 6 || failures[reason] == nullptr) return;
    add(out, FINDING_ERROR_CONTROL_FAILED, ec.disconnect_at, "error control failed: %s disconnected after %s (%" PRIu32
        " link errors, %" PRIu32 " time-outs)",
        protocol_of_code(ec.disconnect_code), failures[reason], ec.errors, ec.timeouts);
}

void check_error_control_absent(const Call &call, std::vector<Finding> &out) {
    if (!connected(call) || call.ec.protocol != EC_UNKNOWN || call.fax.seen) return;
    const bool noisy = ber_high(call.stats) || bler_high(call.stats);
    if (!noisy && call.retrains == 0 && call.carrier_losses == 0) return;
    char text[FINDING_TEXT_BYTES] = "";
    if (noisy)
        append(text, sizeof text, "BER %.2g, BLER %.2g", ratio(call.stats.bit_errors, call.stats.bits),
               ratio(call.stats.block_errors, call.stats.blocks));
    if (call.retrains > 0) append(text, sizeof text, "%s%u retrains", text[0] ? ", " : "", call.retrains);
    if (call.carrier_losses > 0)
        append(text, sizeof text, "%s%u carrier losses", text[0] ? ", " : "", call.carrier_losses);
    add(out, FINDING_ERROR_CONTROL_ABSENT, call.connected_at, "no error control on a line that needed it (%s)", text);
}

void check_compression_off(const Call &call, std::vector<Finding> &out) {
    const ErrorControl &ec = call.ec;
    bool off = false;
    if (ec.protocol == EC_LAPM) off = (ec.lapm[6] && (*ec.lapm[6] & 3) == 0) || (ec.v42bis_encoder == 0 && ec.v42bis_decoder == 0);
    if (ec.protocol == EC_MNP) off = ec.mnp[3] && *ec.mnp[3] == 0;
    if (!off) return;
    add(out, FINDING_COMPRESSION_OFF, ec.established_at, "compression off: %s without %s",
        error_control_name(ec.protocol), ec.protocol == EC_MNP ? "MNP 5" : "V.42bis");
}

void check_echo_limited(const Call &call, std::vector<Finding> &out) {
    const Series &s = call.series[SERIES_SIGNAL_ECHO];
    if (s.samples == 0 || s.lowest >= SIGNAL_ECHO_MIN16) return;
    add(out, FINDING_ECHO_LIMITED, s.lowest_at, "echo-limited line: signal/echo %.1f dB (bound %.1f dB)",
        sixteenths(s.lowest), sixteenths(SIGNAL_ECHO_MIN16));
}

void check_rx_level_low(const Call &call, std::vector<Finding> &out) {
    const Series &s = call.series[SERIES_RX_LEVEL];
    if (s.samples == 0 || s.lowest >= RX_LEVEL_MIN16) return;
    add(out, FINDING_RX_LEVEL_LOW, s.lowest_at, "receive level too low: %.1f dBm (bound %.1f dBm)",
        sixteenths(s.lowest), sixteenths(RX_LEVEL_MIN16));
}

void check_rx_level_high(const Call &call, std::vector<Finding> &out) {
    const Series &s = call.series[SERIES_RX_LEVEL];
    if (s.samples == 0 || s.highest <= RX_LEVEL_MAX16) return;
    add(out, FINDING_RX_LEVEL_HIGH, s.highest_at, "receive level too high: %.1f dBm (bound %.1f dBm)",
        sixteenths(s.highest), sixteenths(RX_LEVEL_MAX16));
}

void check_fax_training_failed(const Call &call, std::vector<Finding> &out) {
    const FaxInfo &fax = call.fax;
    if (!fax.seen || (fax.failed_training == 0 && fax.rejected == 0 && fax.tcf_sent < 2)) return;
    const RecordMark &at = fax.training_failed_at.record != 0 ? fax.training_failed_at : fax.last_at;
    add(out, FINDING_FAX_TRAINING_FAILED, at, "fax training failed: %u failed trainings (FTT), %u pages rejected (RTN), TCF sent %u times",
        fax.failed_training, fax.rejected, fax.tcf_sent);
}

void check_fax_pages_unconfirmed(const Call &call, std::vector<Finding> &out) {
    const FaxInfo &fax = call.fax;
    if (!fax.seen || !call.ended) return;
    const bool message = fax.phases & FAX_PHASE_C;
    if (fax.pages_counted <= fax.confirmed && !(message && fax.confirmed == 0)) return;
    add(out, FINDING_FAX_PAGES_UNCONFIRMED, fax.last_at, "fax pages not confirmed: %u counted, %u confirmed (MCF)",
        fax.pages_counted, fax.confirmed);
}

void check_fax_no_dcn(const Call &call, std::vector<Finding> &out) {
    const FaxInfo &fax = call.fax;
    if (!fax.seen || !call.ended || fax.dcn_sent || fax.dcn_received) return;
    if (!(fax.phases & (FAX_PHASE_B | FAX_PHASE_C | FAX_PHASE_D))) return;
    add(out, FINDING_FAX_NO_DCN, call.end_at, "the fax ended without DCN, %.1f s into the call",
        seconds(call.end_us - call.start_us));
}

// ---- Naming and the verdict ------------------------------------------------------------

const char *const TERMINATION_NAMES[TERMINATION_CATEGORIES] = {
    "running", "local hang-up", "remote hang-up", "line drop", "no connection", "link failure",
    "fax failure", "on hook without cleardown", "went idle without cleardown",
};

bool fired(const CallVerdict &v, FindingId id) {
    for (const Finding &f : v.findings)
        if (f.id == id) return true;
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

}  // namespace

namespace {

void add(std::vector<Finding> &out, FindingId id, const RecordMark &at, const char *format, ...) {
    Finding f;
    f.id = id;
    f.severity = FINDING_RULES[id].severity;
    f.at = at;
    f.frozen_eye = -1;
    va_list args;
    va_start(args, format);
    vsnprintf(f.text, sizeof f.text, format, args);
    va_end(args);
    if (f.text[0] >= 'a' && f.text[0] <= 'z') f.text[0] = static_cast<char>(f.text[0] - 'a' + 'A');
    out.push_back(f);
}

}  // namespace

// One row per rule: id, name, severity and the check of its condition.
constexpr FindingRule FINDING_RULES[FINDING_IDS] = {
    {FINDING_HANGUP_LOCAL,          "hangup-local",          SEVERITY_NOTE,    check_hangup_local},           // cleardown 34/44 after a connection
    {FINDING_HANGUP_REMOTE,         "hangup-remote",         SEVERITY_NOTE,    check_hangup_remote},          // cleardown 35 after a connection
    {FINDING_LINE_DROP,             "line-drop",             SEVERITY_ERROR,   check_line_drop},              // carrier lost (37), ended without cleardown
    {FINDING_TRAINING_FAILED,       "training-failed",       SEVERITY_ERROR,   check_training_failed},        // never connected, lasted CONNECT_TIME_MIN_US or more
    {FINDING_TOO_SHORT,             "too-short",             SEVERITY_WARNING, check_too_short},              // never connected, ended within CONNECT_TIME_MIN_US
    {FINDING_RETRAIN_REMOTE,        "retrain-remote",        SEVERITY_WARNING, check_retrain_remote},         // each retrain 39, with the measurements before
    {FINDING_RETRAIN_LOCAL,         "retrain-local",         SEVERITY_WARNING, check_retrain_local},          // each retrain 38, with the measurements before
    {FINDING_RATE_FALLBACK,         "rate-fallback",         SEVERITY_WARNING, check_rate_fallback},          // final rate FALLBACK_PERCENT_MIN % or more below the initial
    {FINDING_NOISY_LINE,            "noisy-line",            SEVERITY_WARNING, check_noisy_line},             // BER above BER_MAX or BLER above BLER_MAX
    {FINDING_RETRANSMISSIONS,       "retransmissions",       SEVERITY_WARNING, check_retransmissions},        // retransmitted or rejected above RETRANSMIT_PERMILLE_MAX
    {FINDING_ERROR_CONTROL_FAILED,  "error-control-failed",  SEVERITY_ERROR,   check_error_control_failed},   // disconnect reason 2, 3, 4 or 6
    {FINDING_ERROR_CONTROL_ABSENT,  "error-control-absent",  SEVERITY_WARNING, check_error_control_absent},   // none established; noisy, retrained or carrier lost
    {FINDING_COMPRESSION_OFF,       "compression-off",       SEVERITY_NOTE,    check_compression_off},        // LAPM without V.42bis, MNP without MNP 5
    {FINDING_ECHO_LIMITED,          "echo-limited",          SEVERITY_WARNING, check_echo_limited},           // signal/echo below SIGNAL_ECHO_MIN16
    {FINDING_RX_LEVEL_LOW,          "rx-level-low",          SEVERITY_WARNING, check_rx_level_low},           // Rx level below RX_LEVEL_MIN16
    {FINDING_RX_LEVEL_HIGH,         "rx-level-high",         SEVERITY_WARNING, check_rx_level_high},          // Rx level above RX_LEVEL_MAX16
    {FINDING_FAX_TRAINING_FAILED,   "fax-training-failed",   SEVERITY_ERROR,   check_fax_training_failed},    // FTT, RTN, or TCF sent twice or more
    {FINDING_FAX_PAGES_UNCONFIRMED, "fax-pages-unconfirmed", SEVERITY_ERROR,   check_fax_pages_unconfirmed},  // pages counted beyond MCF, or a page and no MCF
    {FINDING_FAX_NO_DCN,            "fax-no-dcn",            SEVERITY_WARNING, check_fax_no_dcn},             // fax past phase A, no DCN either way
};

namespace {
constexpr bool rules_in_id_order() {
    for (size_t i = 0; i < FINDING_IDS; ++i)
        if (FINDING_RULES[i].id != static_cast<FindingId>(i) || FINDING_RULES[i].check == nullptr) return false;
    return true;
}
static_assert(rules_in_id_order(), "one row per finding, in the order of their ids");
}  // namespace

void call_verdict(const Call &call, CallVerdict &out) {
    out.findings.clear();
    for (const FindingRule &rule : FINDING_RULES) rule.check(call, out.findings);
    for (Finding &f : out.findings) f.frozen_eye = eye_at(call, f.at);
    out.termination = termination_of(call, out);

    // The cause: the first error in the table's order, else the finding of
    // how the call ended, else the first warning.
    const Finding *primary = nullptr;
    for (const Finding &f : out.findings)
        if (f.severity == SEVERITY_ERROR) {
            primary = &f;
            break;
        }
    if (primary == nullptr)
        for (const Finding &f : out.findings)
            if (f.id == FINDING_HANGUP_LOCAL || f.id == FINDING_HANGUP_REMOTE || f.id == FINDING_TOO_SHORT) {
                primary = &f;
                break;
            }
    if (primary == nullptr)
        for (const Finding &f : out.findings)
            if (f.severity == SEVERITY_WARNING) {
                primary = &f;
                break;
            }
    char name[40];
    snprintf(name, sizeof name, "%s", TERMINATION_NAMES[out.termination]);
    if (name[0] >= 'a' && name[0] <= 'z') name[0] = static_cast<char>(name[0] - 'a' + 'A');
    if (primary != nullptr) {
        // "Line drop: carrier lost ...": the finding's text goes on in lower case, its abbreviations kept.
        char first = primary->text[0];
        if (first >= 'A' && first <= 'Z' && primary->text[1] >= 'a' && primary->text[1] <= 'z')
            first = static_cast<char>(first - 'A' + 'a');
        snprintf(out.cause, sizeof out.cause, "%s: %c%s", name, first, primary->text[0] ? primary->text + 1 : "");
    }
    else if (call.ended)
        snprintf(out.cause, sizeof out.cause, "%s %.1f s into the call; no finding", name,
                 seconds(call.end_us - call.start_us));
    else
        snprintf(out.cause, sizeof out.cause, "%s; no finding so far", name);
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
