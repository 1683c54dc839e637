#include "calls/call_summary.h"

#include <algorithm>
#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "calls/call_findings.h"
#include "decoder/fax_frames.h"
#include "formatting/formatting.h"

namespace {

const char UNKNOWN[] = "unknown";

[[gnu::format(printf, 3, 4)]]
void add_row(std::vector<SummaryRow> &rows, const char *key, const char *format, ...) {
    SummaryRow row;
    snprintf(row.key, sizeof row.key, "%s", key);
    va_list args;
    va_start(args, format);
    vsnprintf(row.value, sizeof row.value, format, args);
    va_end(args);
    rows.push_back(row);
}

void add_optional(std::vector<SummaryRow> &rows, const char *key, const std::optional<long> &value,
                  const char *unit) {
    if (value)
        add_row(rows, key, "%ld %s", *value, unit);
    else
        add_row(rows, key, "%s", UNKNOWN);
}


void add_series(std::vector<SummaryRow> &rows, const Call &call, const SeriesInfo &info) {
    const Series &s = call.series[info.kind];
    if (s.samples == 0) {
        add_row(rows, info.label, "%s", UNKNOWN);
        return;
    }
    // The lowest value of a level or ratio is its worst; of a delay, its best.
    char first[24], lowest[24], median[24], last[24];
    format_level(s.first, first, sizeof first);
    format_level(s.lowest, lowest, sizeof lowest);
    format_level(series_median(call.series_points[info.kind]).value_or(s.last), median, sizeof median);
    format_level(s.last, last, sizeof last);
    if (s.samples == 1)
        add_row(rows, info.label, "%s %s", first, info.unit);
    else
        add_row(rows, info.label, "first %s, lowest %s, median %s, last %s %s (%" PRIu64 " samples)", first,
                lowest, median, last, info.unit, s.samples);
}

void add_rates(std::vector<SummaryRow> &rows, const char *direction, const RateStats &r) {
    char key[SUMMARY_KEY_BYTES];
    const std::optional<long> *values[4] = {&r.initial, &r.final, &r.lowest, &r.highest};
    const char *names[4] = {"initial", "final", "lowest", "highest"};
    for (int i = 0; i < 4; ++i) {
        snprintf(key, sizeof key, "%s rate %s", direction, names[i]);
        add_optional(rows, key, *values[i], "bit/s");
    }
}

void add_error_control(std::vector<SummaryRow> &rows, const Call &call) {
    const ErrorControl &ec = call.ec;
    add_row(rows, "Error control", "%s", error_control_name(ec.protocol));
    char text[SUMMARY_VALUE_BYTES];
    compression_text(call, text, sizeof text);
    add_row(rows, "Compression", "%s", text);

    text[0] = '\0';
    const char *lapm_names[9] = {"window tx", "window rx", "info field tx", "info field rx", "test",
                                 "SREJ",      nullptr,     "dictionary",    "string"};
    for (int i = 0; i < 9; ++i) {
        if (!ec.lapm[i] || lapm_names[i] == nullptr) continue;
        text_append(text, sizeof text, "%s%s %d", text[0] ? ", " : "", lapm_names[i], *ec.lapm[i]);
    }
    if (text[0] != '\0') add_row(rows, "LAPM parameters", "%s", text);
    text[0] = '\0';
    const char *mnp_names[6] = {"level", "class", "optimisation", "compression", "info field", "window"};
    for (int i = 0; i < 6; ++i) {
        if (!ec.mnp[i]) continue;
        text_append(text, sizeof text, "%s%s %d", text[0] ? ", " : "", mnp_names[i], *ec.mnp[i]);
    }
    if (text[0] != '\0') add_row(rows, "MNP parameters", "%s", text);

    if (ec.tx_frames)
        add_row(rows, "Frames sent", "%" PRIu32 " (%" PRIu32 " retransmitted)", *ec.tx_frames, *ec.tx_retransmitted);
    else
        add_row(rows, "Frames sent", "%s", UNKNOWN);
    if (ec.rx_frames)
        add_row(rows, "Frames received", "%" PRIu32 " (%" PRIu32 " rejected)", *ec.rx_frames, *ec.rx_rejected);
    else
        add_row(rows, "Frames received", "%s", UNKNOWN);
    add_row(rows, "Link errors", "%" PRIu32 " (%" PRIu32 " time-outs)", ec.errors, ec.timeouts);
    if (ec.disconnect_reason)
        add_row(rows, "Link disconnect", "%s (%s)", disconnect_reason_name(*ec.disconnect_reason),
                ec.disconnect_code == 69 ? "LAPM" : ec.disconnect_code == 80 ? "MNP" : "V.80");
    else
        add_row(rows, "Link disconnect", "%s", UNKNOWN);
    if (ec.encoder_in)
        add_row(rows, "V.42bis encoder", "%" PRIu32 " bytes in, %" PRIu32 " out", *ec.encoder_in, *ec.encoder_out);
    if (ec.decoder_in)
        add_row(rows, "V.42bis decoder", "%" PRIu32 " bytes in, %" PRIu32 " out", *ec.decoder_in, *ec.decoder_out);
}

// "0.1262e-4 (31 in 2456000)": the ratio as the decoder shows it, and its counts.
void add_ratio(std::vector<SummaryRow> &rows, const char *key, uint32_t total, uint32_t errors) {
    add_row(rows, key, "%s (%" PRIu32 " in %" PRIu32 ")", format_error_rate(total, errors), errors, total);
}

void add_fax(std::vector<SummaryRow> &rows, const FaxInfo &fax) {
    char text[SUMMARY_VALUE_BYTES] = "";
    const char letters[] = "ABCDE";
    for (int i = 0; i < 5; ++i)
        if (fax.phases & (1u << i)) text_append(text, sizeof text, "%s%c", text[0] ? " " : "", letters[i]);
    add_row(rows, "Fax phases", "%s", text[0] ? text : "none");
    text[0] = '\0';
    for (uint8_t i = 0; i < fax.frame_count; ++i) {
        char name[16];
        fax_frame_text(fax.frames[i].fcf, name, sizeof name);
        text_append(text, sizeof text, "%s%s %s", i ? ", " : "", fax.frames[i].sent ? "sent" : "got", name);
    }
    if (fax.frames_seen > fax.frame_count) text_append(text, sizeof text, ", ... (%u in all)", fax.frames_seen);
    add_row(rows, "Fax frames", "%s", text[0] ? text : "none");
    add_row(rows, "Fax pages", "%u counted, %u confirmed (MCF), %u rejected (RTN), %u RTP", fax.pages_counted,
            fax.confirmed, fax.rejected, fax.retrain_positive);
    add_row(rows, "Fax training", "%u successful, %u failed", fax.training_ok, fax.failed_training);
    add_row(rows, "Fax errors", "%u bad frames, %u repeats", fax.bad_frames, fax.repeats);
    add_row(rows, "Fax disconnect", "%s",
            fax.dcn_sent && fax.dcn_received ? "DCN sent and received"
            : fax.dcn_sent                   ? "DCN sent"
            : fax.dcn_received               ? "DCN received"
                                             : "no DCN");
}

// The caller-ID errors the driver names (code 72, sub-code 0).
const char *caller_error_name(int32_t error) {
    switch (error) {
    case 1: return "mark signal error";
    case 2: return "too many mark bits between message words";
    case 3: return "message too long, truncated";
    case 4: return "checksum error";
    default: return nullptr;
    }
}

void add_caller_id(std::vector<SummaryRow> &rows, const CallerId &id) {
    if (id.time_known)
        add_row(rows, "Caller ID time", "%c%c/%c%c %c%c:%c%c", id.time[0], id.time[1], id.time[2], id.time[3],
                id.time[4], id.time[5], id.time[6], id.time[7]);
    else
        add_row(rows, "Caller ID time", "%s", UNKNOWN);
    add_row(rows, "Caller ID number", "%s", id.number_known ? id.number : UNKNOWN);
    add_row(rows, "Caller ID name", "%s", id.name_known ? id.name : UNKNOWN);
    if (id.last_error && caller_error_name(*id.last_error) != nullptr)
        add_row(rows, "Caller ID errors", "%u (last: %s)", id.errors, caller_error_name(*id.last_error));
    else if (id.last_error)
        add_row(rows, "Caller ID errors", "%u (last: error %d)", id.errors, *id.last_error);
    else
        add_row(rows, "Caller ID errors", "0");
    if (id.message_bytes)
        add_row(rows, "Caller ID message", "%d bytes, %u unknown, %s", *id.message_bytes, id.unknown_messages,
                id.finished ? "finished" : "not finished");
    else
        add_row(rows, "Caller ID message", "%u unknown, %s", id.unknown_messages,
                id.finished ? "finished" : "not finished");
}

}  // namespace

void format_sixteenths(int32_t value, char *text, size_t size) {
    const int64_t v = value;
    const int64_t magnitude = v < 0 ? -v : v;
    char fraction[8];
    snprintf(fraction, sizeof fraction, "%04d", static_cast<int>((magnitude % 16) * 625));
    size_t digits = 4;
    while (digits > 0 && fraction[digits - 1] == '0') --digits;
    fraction[digits] = '\0';
    snprintf(text, size, "%s%" PRId64 "%s%s", v < 0 ? "-" : "", magnitude / 16, digits ? "." : "", fraction);
}

void text_append(char *text, size_t size, const char *format, ...) {
    const size_t used = strlen(text);
    if (used + 1 >= size) return;
    va_list args;
    va_start(args, format);
    vsnprintf(text + used, size - used, format, args);
    va_end(args);
}

void format_level(double sixteenths, char *text, size_t size) {
    const double value = sixteenths / 16;
    // Rounded to a tenth away from zero at the half, as printed by hand; never "-0.0".
    const double tenths = value < 0 ? -static_cast<double>(static_cast<int64_t>(-value * 10 + 0.5))
                                    : static_cast<double>(static_cast<int64_t>(value * 10 + 0.5));
    snprintf(text, size, "%.1f", tenths == 0 ? 0.0 : tenths / 10);
}

void format_seconds(int64_t us, char *text, size_t size) {
    const char *sign = us < 0 ? "-" : "";
    const int64_t magnitude = us < 0 ? -us : us;
    snprintf(text, size, "%s%" PRId64 ".%03" PRId64, sign, magnitude / 1000000, magnitude / 1000 % 1000);
}

void format_wall(int64_t wall_us, char *text, size_t size) {
    if (wall_us < 0) {
        if (size > 0) text[0] = '\0';
        return;
    }
    // Days since 1970-01-01 to a civil date (proleptic Gregorian calendar).
    const int64_t seconds = wall_us / 1000000;
    const int64_t days = seconds / 86400;
    const int64_t day_seconds = seconds % 86400;
    const int64_t z = days + 719468;
    const int64_t era = z / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    const int64_t day = doy - (153 * mp + 2) / 5 + 1;
    const int64_t month = mp < 10 ? mp + 3 : mp - 9;
    const int64_t year = yoe + era * 400 + (month <= 2 ? 1 : 0);
    snprintf(text, size, "%04" PRId64 "-%02" PRId64 "-%02" PRId64 "T%02" PRId64 ":%02" PRId64 ":%02" PRId64
             ".%03" PRId64 "Z",
             year, month, day, day_seconds / 3600, day_seconds / 60 % 60, day_seconds % 60,
             wall_us / 1000 % 1000);
}

const char *disconnect_reason_name(int32_t reason) {
    static const char *const names[] = {
        "remote requested disconnect", "local requested disconnect", "connection failed", "protocol error",
        "compression error",           "inactivity timer expired",   "retry failed",
    };
    if (reason < 0 || reason > 6) return UNKNOWN;
    return names[reason];
}

void compression_text(const Call &call, char *text, size_t size) {
    const ErrorControl &ec = call.ec;
    if (ec.protocol == EC_MNP || (ec.protocol == EC_UNKNOWN && ec.mnp[3])) {
        if (ec.mnp[3])
            snprintf(text, size, "%s", *ec.mnp[3] != 0 ? "MNP 5" : "none");
        else
            snprintf(text, size, "%s", UNKNOWN);
        return;
    }
    if (ec.lapm[6]) {
        static const char *const directions[] = {"none", "V.42bis transmit only", "V.42bis receive only",
                                                 "V.42bis both ways"};
        snprintf(text, size, "%s", directions[*ec.lapm[6] & 3]);
        if ((*ec.lapm[6] & 3) != 0 && ec.lapm[7])
            text_append(text, size, ", dictionary %d", *ec.lapm[7]);
        if ((*ec.lapm[6] & 3) != 0 && ec.lapm[8]) text_append(text, size, ", string %d", *ec.lapm[8]);
        return;
    }
    if (ec.v42bis_encoder >= 0 || ec.v42bis_decoder >= 0) {
        snprintf(text, size, "V.42bis encoder %s, decoder %s",
                 ec.v42bis_encoder < 0 ? UNKNOWN : ec.v42bis_encoder ? "compressed" : "transparent",
                 ec.v42bis_decoder < 0 ? UNKNOWN : ec.v42bis_decoder ? "compressed" : "transparent");
        return;
    }
    snprintf(text, size, "%s", UNKNOWN);
}

void fax_frame_text(uint8_t fcf, char *text, size_t size) {
    const char *name = fcf == FAX_TCF ? "TCF" : t30_frame_name(fcf);
    if (name != nullptr)
        snprintf(text, size, "%s", name);
    else
        snprintf(text, size, "0x%02x", fcf);
}

void call_summary(const Call &call, std::vector<SummaryRow> &rows) {
    rows.clear();
    char a[40], b[40];
    add_row(rows, "Modem", "%d", call.modem);
    add_row(rows, "Call", "%" PRIu32, call.number);
    add_row(rows, "Direction", "%s", direction_name(call.direction));
    format_seconds(call.start_us, a, sizeof a);
    format_wall(call.start_wall_us, b, sizeof b);
    add_row(rows, "Start", "%s s%s%s%s", a, b[0] ? " (" : "", b, b[0] ? ")" : "");
    if (call.ended) {
        format_seconds(call.end_us, a, sizeof a);
        format_wall(call.end_wall_us, b, sizeof b);
        add_row(rows, "End", "%s s%s%s%s", a, b[0] ? " (" : "", b, b[0] ? ")" : "");
    } else {
        format_seconds(call.end_us, a, sizeof a);
        add_row(rows, "End", "running (last record at %s s)", a);
    }
    format_seconds(call.end_us - call.start_us, a, sizeof a);
    add_row(rows, "Duration", "%s s%s", a, call.ended ? "" : " so far");
    if (call.connected_us) {
        format_seconds(*call.connected_us - call.start_us, a, sizeof a);
        add_row(rows, "Connected after", "%s s (code %u)", a, call.connected_at.code);
    } else {
        add_row(rows, "Connected after", "%s", UNKNOWN);
    }
    CallVerdict verdict;
    call_verdict(call, verdict);
    add_row(rows, "Termination", "%s", termination_name(verdict.termination));
    char cause[VERDICT_CAUSE_BYTES];
    verdict_cause(call, verdict, cause, sizeof cause);
    add_row(rows, "Verdict", "%s", cause);
    if (call.modulation)
        add_row(rows, "Modulation", "%s", modulation_name(*call.modulation));
    else
        add_row(rows, "Modulation", "%s", call.modulation_conflict ? "unknown (two modulations)" : UNKNOWN);
    add_optional(rows, "Rx symbol rate", call.rx_symbol_rate, "Bd");
    add_optional(rows, "Tx symbol rate", call.tx_symbol_rate, "Bd");
    add_rates(rows, "Rx", call.rx_rate);
    add_rates(rows, "Tx", call.tx_rate);
    add_optional(rows, "Max local Rx rate", call.max_local_rx, "bit/s");
    add_optional(rows, "Max local Tx rate", call.max_local_tx, "bit/s");
    add_optional(rows, "Max remote Rx rate", call.max_remote_rx, "bit/s");
    add_optional(rows, "Max remote Tx rate", call.max_remote_tx, "bit/s");
    for (size_t i = 0; i < call.projected.size(); ++i) {
        const ProjectedRate &p = call.projected[i];
        char key[SUMMARY_KEY_BYTES];
        snprintf(key, sizeof key, "Projected rate %u", static_cast<unsigned>(i + 1));
        format_level(p.snr16, a, sizeof a);
        if (p.symbol_rate)
            add_row(rows, key, "%ld Bd: %ld bit/s, in-band SNR %s dB", *p.symbol_rate, p.rate, a);
        else
            add_row(rows, key, "unknown Bd: %ld bit/s, in-band SNR %s dB", p.rate, a);
    }
    for (const SeriesInfo &info : SERIES_INFO)
        if (info.selector != 0) add_series(rows, call, info);
    add_row(rows, "Retrains", "%" PRIu32 " (%" PRIu32 " asked by the remote end)", call.retrains,
            call.retrains_remote);
    add_row(rows, "Renegotiations", "%" PRIu32 " (%" PRIu32 " asked by the remote end)", call.renegotiations,
            call.renegotiations_remote);
    add_row(rows, "Fallbacks", "%" PRIu32 " back, %" PRIu32 " forward", call.fallbacks, call.fallforwards);
    add_row(rows, "Carrier losses", "%" PRIu32, call.carrier_losses);
    add_error_control(rows, call);
    if (call.stats.known) {
        add_ratio(rows, "BER", call.stats.bits, call.stats.bit_errors);
        add_ratio(rows, "BLER", call.stats.blocks, call.stats.block_errors);
        if (call.stats.audio) {
            add_ratio(rows, "Audio SER", call.stats.audio_bits, call.stats.sync_errors);
            add_ratio(rows, "Audio BLER", call.stats.audio_blocks, call.stats.audio_block_errors);
        }
    } else {
        add_row(rows, "BER", "%s", UNKNOWN);
        add_row(rows, "BLER", "%s", UNKNOWN);
    }
    if (call.fax.seen) add_fax(rows, call.fax);
    if (call.caller.seen) add_caller_id(rows, call.caller);
    if (call.rings > 0) add_row(rows, "Rings", "%u", call.rings);
    if (call.cleardown == CLEARDOWN_NONE) {
        add_row(rows, "Cleardown", "none (call running)");
    } else if (call.cleardown_code != 0) {
        add_row(rows, "Cleardown", "%s (code %u)", cleardown_name(call.cleardown), call.cleardown_code);
    } else {
        add_row(rows, "Cleardown", "%s", cleardown_name(call.cleardown));
    }
    for (size_t i = 0; i < call.events.size(); ++i) {
        const CallEvent &e = call.events[i];
        char key[SUMMARY_KEY_BYTES];
        snprintf(key, sizeof key, "Event %u", static_cast<unsigned>(i + 1));
        format_seconds(e.time_us - call.start_us, a, sizeof a);
        b[0] = '\0';
        if (e.frozen_eye >= 0) snprintf(b, sizeof b, ", eye of %u ticks", call.eyes[e.frozen_eye].ticks);
        add_row(rows, key, "+%s s %s (%s, code %u)%s", a, event_name(e.kind), origin_name(e.origin), e.code, b);
    }
    if (call.events_seen > call.events.size())
        add_row(rows, "Events not listed", "%u", static_cast<unsigned>(call.events_seen - call.events.size()));
    for (size_t i = 0; i < verdict.count; ++i) {
        const Finding &f = verdict.findings[i];
        char key[SUMMARY_KEY_BYTES], text[FINDING_TEXT_BYTES];
        snprintf(key, sizeof key, "Finding %u", static_cast<unsigned>(i + 1));
        format_seconds(f.at.time_us - call.start_us, a, sizeof a);
        finding_text(call, f, text, sizeof text);
        add_row(rows, key, "+%s s %s %s: %s", a, severity_name(f.severity), finding_name(f.id), text);
    }
    add_row(rows, "Anomalies", "%" PRIu32, call.anomalies_seen);
    for (size_t i = 0; i < call.anomalies.size(); ++i) {
        char key[SUMMARY_KEY_BYTES];
        snprintf(key, sizeof key, "Anomaly %u", static_cast<unsigned>(i + 1));
        char text[SUMMARY_VALUE_BYTES];
        anomaly_text(call.anomalies[i], text, sizeof text);
        format_seconds(call.anomalies[i].time_us - call.start_us, a, sizeof a);
        add_row(rows, key, "+%s s %s", a, text);
    }
}

void call_summary_text(const Call &call, std::string &out) {
    std::vector<SummaryRow> rows;
    call_summary(call, rows);
    size_t width = 0;
    for (const SummaryRow &row : rows) width = std::max(width, strlen(row.key));
    for (const SummaryRow &row : rows) {
        out += row.key;
        out.append(width + 2 - strlen(row.key), ' ');
        out += row.value;
        out += '\n';
    }
}

namespace {

// Lines the rows up: pair[j] is the row of a that row j of b goes with, or
// -1; rows of b without a partner stand after the row of a that the last
// paired row before them goes with (at the top when none does), so that
// rows only one call has keep their place.
void line_up(const std::vector<SummaryRow> &a, const std::vector<SummaryRow> &b, const std::vector<long> &pair,
             std::vector<CompareRow> &rows) {
    rows.clear();
    std::vector<long> partner(a.size(), -1);
    for (size_t j = 0; j < b.size(); ++j)
        if (pair[j] >= 0) partner[size_t(pair[j])] = long(j);
    // b's rows without a partner, by the row of a they follow (slot 0: before all).
    std::vector<std::vector<size_t>> after(a.size() + 1);
    long anchor = -1;
    for (size_t j = 0; j < b.size(); ++j) {
        if (pair[j] >= 0)
            anchor = pair[j];
        else
            after[size_t(anchor + 1)].push_back(j);
    }
    const auto only_b = [&](size_t slot) {
        for (size_t j : after[slot]) rows.push_back({b[j].key, "", b[j].value, true});
    };
    only_b(0);
    for (size_t i = 0; i < a.size(); ++i) {
        const char *vb = partner[i] >= 0 ? b[size_t(partner[i])].value : "";
        rows.push_back({a[i].key, a[i].value, vb, partner[i] < 0 || strcmp(a[i].value, vb) != 0});
        only_b(i + 1);
    }
}

// Pairs rows of the same key not yet paired (the first free one of a for each
// row of b), leaving rows b already has a partner for.
void pair_by_key(const std::vector<SummaryRow> &a, const std::vector<SummaryRow> &b, std::vector<long> &pair,
                 const std::vector<bool> &skip_b, std::vector<bool> &taken_a) {
    for (size_t j = 0; j < b.size(); ++j) {
        if (pair[j] >= 0 || skip_b[j]) continue;
        for (size_t i = 0; i < a.size(); ++i) {
            if (!taken_a[i] && strcmp(a[i].key, b[j].key) == 0) {
                taken_a[i] = true;
                pair[j] = long(i);
                break;
            }
        }
    }
}

long row_of_key(const std::vector<SummaryRow> &rows, const char *key) {
    for (size_t i = 0; i < rows.size(); ++i)
        if (strcmp(rows[i].key, key) == 0) return long(i);
    return -1;
}

}  // namespace

void compare_summaries(const std::vector<SummaryRow> &a, const std::vector<SummaryRow> &b,
                       std::vector<CompareRow> &rows) {
    std::vector<long> pair(b.size(), -1);
    std::vector<bool> skip(b.size(), false), taken(a.size(), false);
    pair_by_key(a, b, pair, skip, taken);
    line_up(a, b, pair, rows);
}

void compare_calls(const Call &ca, const Call &cb, const std::vector<SummaryRow> &a,
                   const std::vector<SummaryRow> &b, std::vector<CompareRow> &rows) {
    std::vector<long> pair(b.size(), -1);
    std::vector<bool> skip(b.size(), false), taken(a.size(), false);
    // Events pair by kind and by time since each call's start: each event of
    // the first call with the nearest free one of the same kind in the second.
    char key[SUMMARY_KEY_BYTES];
    std::vector<long> b_event_row(cb.events.size(), -1);
    for (size_t j = 0; j < cb.events.size(); ++j) {
        snprintf(key, sizeof key, "Event %u", static_cast<unsigned>(j + 1));
        b_event_row[j] = row_of_key(b, key);
        if (b_event_row[j] >= 0) skip[size_t(b_event_row[j])] = true;
    }
    std::vector<bool> b_event_taken(cb.events.size(), false);
    for (size_t i = 0; i < ca.events.size(); ++i) {
        snprintf(key, sizeof key, "Event %u", static_cast<unsigned>(i + 1));
        const long row_a = row_of_key(a, key);
        if (row_a < 0) continue;
        taken[size_t(row_a)] = true;
        const int64_t at = ca.events[i].time_us - ca.start_us;
        long best = -1;
        int64_t best_distance = 0;
        for (size_t j = 0; j < cb.events.size(); ++j) {
            if (b_event_taken[j] || b_event_row[j] < 0 || cb.events[j].kind != ca.events[i].kind) continue;
            const int64_t d = cb.events[j].time_us - cb.start_us - at;
            const int64_t distance = d < 0 ? -d : d;
            if (best < 0 || distance < best_distance) {
                best = long(j);
                best_distance = distance;
            }
        }
        if (best < 0) continue;
        b_event_taken[size_t(best)] = true;
        pair[size_t(b_event_row[size_t(best)])] = row_a;
    }
    pair_by_key(a, b, pair, skip, taken);
    line_up(a, b, pair, rows);
}

void calls_compare_text(const Call &a, const Call &b, std::string &out, const char *label_a, const char *label_b) {
    std::vector<SummaryRow> ra, rb;
    call_summary(a, ra);
    call_summary(b, rb);
    std::vector<CompareRow> rows;
    compare_calls(a, b, ra, rb, rows);
    if (label_a != nullptr && label_b != nullptr) rows.insert(rows.begin(), CompareRow{"", label_a, label_b, false});
    // The first call's column is as wide as its values, up to a cap: a
    // longer value (a parameter list) pushes only its own row's bar along.
    constexpr size_t A_WIDTH_MAX = 44;
    size_t key_width = 0, a_width = 0;
    for (const CompareRow &row : rows) {
        key_width = std::max(key_width, strlen(row.key));
        a_width = std::max(a_width, std::min(strlen(row.a), A_WIDTH_MAX));
    }
    for (const CompareRow &row : rows) {
        out += row.differs ? "* " : "  ";
        out += row.key;
        out.append(key_width + 2 - strlen(row.key), ' ');
        out += row.a;
        out.append(strlen(row.a) < a_width ? a_width - strlen(row.a) + 1 : 1, ' ');
        out += row.b[0] != '\0' ? "| " : "|";
        out += row.b;
        out += '\n';
    }
}
