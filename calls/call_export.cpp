#include "calls/call_export.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <vector>

#include "calls/call_findings.h"
#include "calls/call_summary.h"
#include "formatting/formatting.h"

namespace {

// ---- CSV -------------------------------------------------------------------------

void csv_field(std::string &out, const char *text) {
    if (strpbrk(text, ",\"\r\n") == nullptr) {
        out += text;
        return;
    }
    out += '"';
    for (const char *p = text; *p != '\0'; ++p) {
        if (*p == '"') out += '"';
        out += *p;
    }
    out += '"';
}

void csv_row(std::string &out, std::initializer_list<const char *> fields) {
    bool first = true;
    for (const char *field : fields) {
        if (!first) out += ',';
        first = false;
        csv_field(out, field);
    }
    out += "\r\n";
}

void optional_text(const std::optional<long> &value, char *text, size_t size) {
    if (value)
        snprintf(text, size, "%ld", *value);
    else
        text[0] = '\0';
}

// The value of a series point as a number in its unit: levels, ratios and
// delays with one decimal, rates whole.
void series_value(const SeriesInfo &info, double value, char *text, size_t size) {
    if (info.sixteenths)
        format_level(value, text, size);
    else
        snprintf(text, size, "%.0f", value);
}

// ---- JSON ------------------------------------------------------------------------

void json_string(std::string &out, const char *text) {
    out += '"';
    for (const unsigned char *p = reinterpret_cast<const unsigned char *>(text); *p != 0; ++p) {
        switch (*p) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (*p < 0x20 || *p >= 0x7f) {
                // Bytes outside printable ASCII (driver texts have no declared
                // encoding) are written as the code point of the same value.
                char escaped[8];
                snprintf(escaped, sizeof escaped, "\\u%04x", *p);
                out += escaped;
            } else {
                out += static_cast<char>(*p);
            }
        }
    }
    out += '"';
}

// Writes "key": with a comma before every member but the first of an object.
struct JsonObject {
    std::string &out;
    bool first = true;
    explicit JsonObject(std::string &o) : out(o) { out += '{'; }
    void key(const char *name) {
        if (!first) out += ',';
        first = false;
        json_string(out, name);
        out += ':';
    }
    void text(const char *name, const char *value) {
        key(name);
        json_string(out, value);
    }
    void raw(const char *name, const char *value) {
        key(name);
        out += value;
    }
    void number(const char *name, int64_t value) {
        char text[24];
        snprintf(text, sizeof text, "%" PRId64, value);
        raw(name, text);
    }
    template <typename T>
    void optional(const char *name, const std::optional<T> &value) {
        if (value)
            number(name, static_cast<int64_t>(*value));
        else
            raw(name, "null");
    }
    void boolean(const char *name, bool value) { raw(name, value ? "true" : "false"); }
    void seconds(const char *name, int64_t us) {
        char text[32];
        format_seconds(us, text, sizeof text);
        raw(name, text);
    }
    void level(const char *name, int32_t sixteenths) {
        char text[24];
        format_level(sixteenths, text, sizeof text);
        raw(name, text);
    }
    void wall(const char *name, int64_t wall_us) {
        char text[40];
        format_wall(wall_us, text, sizeof text);
        if (text[0])
            this->text(name, text);
        else
            raw(name, "null");
    }
    void close() { out += '}'; }
};

void rate_json(JsonObject &o, const char *name, const RateStats &r) {
    o.key(name);
    JsonObject j(o.out);
    j.optional("initial", r.initial);
    j.optional("final", r.final);
    j.optional("lowest", r.lowest);
    j.optional("highest", r.highest);
    j.number("changes", r.changes);
    j.close();
}

void series_json(JsonObject &o, const Call &call, bool with_points) {
    o.key("series");
    JsonObject all(o.out);
    for (const SeriesInfo &info : SERIES_INFO) {
        const Series &s = call.series[info.kind];
        all.key(info.key);
        if (s.samples == 0) {
            o.out += "null";
            continue;
        }
        JsonObject j(o.out);
        j.number("samples", static_cast<int64_t>(s.samples));
        char text[24];
        const std::vector<SeriesPoint> &points = call.series_points[info.kind];
        const double values[5] = {double(s.first), double(s.lowest), series_median(points).value_or(s.last),
                                  double(s.last), double(s.highest)};
        const char *names[5] = {"first", "lowest", "median", "last", "highest"};
        for (int i = 0; i < 5; ++i) {
            series_value(info, values[i], text, sizeof text);
            j.raw(names[i], text);
        }
        if (with_points) {
            j.key("points");
            o.out += '[';
            for (size_t i = 0; i < points.size(); ++i) {
                char t[32];
                format_seconds(points[i].time_us - call.start_us, t, sizeof t);
                series_value(info, points[i].value, text, sizeof text);
                o.out += i ? ",[" : "[";
                o.out += t;
                o.out += ',';
                o.out += text;
                o.out += ']';
            }
            o.out += ']';
        }
        j.close();
    }
    all.close();
}

void eye_json(std::string &out, const FrozenEye &eye) {
    out += '[';
    for (uint8_t t = 0; t < eye.ticks; ++t) {
        out += t ? ",[" : "[";
        const EyeTick &tick = eye.tick[t];
        for (uint16_t i = 0; i < tick.count; ++i) {
            char point[24];
            snprintf(point, sizeof point, "%s[%d,%d]", i ? "," : "", tick.points[i].x, tick.points[i].y);
            out += point;
        }
        out += ']';
    }
    out += ']';
}

void events_json(JsonObject &o, const Call &call, bool with_points) {
    o.key("events");
    o.out += '[';
    for (size_t i = 0; i < call.events.size(); ++i) {
        const CallEvent &e = call.events[i];
        if (i) o.out += ',';
        JsonObject j(o.out);
        j.seconds("time_s", e.time_us - call.start_us);
        j.text("kind", event_name(e.kind));
        j.text("origin", origin_name(e.origin));
        j.number("code", e.code);
        j.number("record", e.record);
        j.number("eye_ticks", e.frozen_eye >= 0 ? call.eyes[e.frozen_eye].ticks : 0);
        if (with_points && e.frozen_eye >= 0) {
            j.key("eye");
            eye_json(o.out, call.eyes[e.frozen_eye]);
        }
        j.close();
    }
    o.out += ']';
    o.number("events_seen", call.events_seen);
}

void error_control_json(JsonObject &o, const Call &call) {
    const ErrorControl &ec = call.ec;
    o.key("error_control");
    JsonObject j(o.out);
    j.text("protocol", error_control_name(ec.protocol));
    char text[SUMMARY_VALUE_BYTES];
    compression_text(call, text, sizeof text);
    j.text("compression", text);
    static const char *const lapm_keys[9] = {"tx_window", "rx_window", "tx_info_field", "rx_info_field",
                                             "test",      "srej",      "compression",   "dictionary",
                                             "max_string"};
    j.key("lapm");
    JsonObject lapm(o.out);
    for (int i = 0; i < 9; ++i) lapm.optional(lapm_keys[i], ec.lapm[i]);
    lapm.close();
    static const char *const mnp_keys[6] = {"level", "service_class", "optimisation", "compression",
                                            "info_field", "window"};
    j.key("mnp");
    JsonObject mnp(o.out);
    for (int i = 0; i < 6; ++i) mnp.optional(mnp_keys[i], ec.mnp[i]);
    mnp.close();
    j.optional("tx_frames", ec.tx_frames);
    j.optional("tx_retransmitted", ec.tx_retransmitted);
    j.optional("rx_frames", ec.rx_frames);
    j.optional("rx_rejected", ec.rx_rejected);
    j.number("errors", ec.errors);
    j.number("timeouts", ec.timeouts);
    if (ec.disconnect_reason)
        j.text("disconnect", disconnect_reason_name(*ec.disconnect_reason));
    else
        j.raw("disconnect", "null");
    j.optional("v42bis_encoder_in", ec.encoder_in);
    j.optional("v42bis_encoder_out", ec.encoder_out);
    j.optional("v42bis_decoder_in", ec.decoder_in);
    j.optional("v42bis_decoder_out", ec.decoder_out);
    j.close();
}

// An error ratio as numbers: {"errors":31,"total":2456000,"ratio":1.262e-05}; ratio null for no total.
void ratio_json(JsonObject &o, const char *name, uint32_t errors, uint32_t total) {
    o.key(name);
    JsonObject j(o.out);
    j.number("errors", errors);
    j.number("total", total);
    if (total == 0) {
        j.raw("ratio", "null");
    } else {
        char text[32];
        snprintf(text, sizeof text, "%.4g", double(errors) / double(total));
        j.raw("ratio", text);
    }
    j.close();
}

void statistics_json(JsonObject &o, const ErrorStatistics &s) {
    o.key("error_statistics");
    if (!s.known) {
        o.out += "null";
        return;
    }
    JsonObject j(o.out);
    j.number("bits", s.bits);
    j.number("blocks", s.blocks);
    j.number("bit_errors", s.bit_errors);
    j.number("block_errors", s.block_errors);
    ratio_json(j, "ber", s.bit_errors, s.bits);
    ratio_json(j, "bler", s.block_errors, s.blocks);
    if (s.audio) {
        j.number("audio_bits", s.audio_bits);
        j.number("audio_blocks", s.audio_blocks);
        j.number("sync_errors", s.sync_errors);
        j.number("audio_block_errors", s.audio_block_errors);
        ratio_json(j, "ser", s.sync_errors, s.audio_bits);
        ratio_json(j, "audio_bler", s.audio_block_errors, s.audio_blocks);
    }
    j.close();
}

void fax_json(JsonObject &o, const FaxInfo &fax) {
    o.key("fax");
    if (!fax.seen) {
        o.out += "null";
        return;
    }
    JsonObject j(o.out);
    char phases[8] = "";
    size_t letters = 0;
    for (int i = 0; i < 5; ++i)
        if (fax.phases & (1u << i)) phases[letters++] = "ABCDE"[i];
    j.text("phases", phases);
    j.key("frames");
    o.out += '[';
    for (uint8_t i = 0; i < fax.frame_count; ++i) {
        char name[16];
        fax_frame_text(fax.frames[i].fcf, name, sizeof name);
        if (i) o.out += ',';
        JsonObject f(o.out);
        f.text("direction", fax.frames[i].sent ? "sent" : "received");
        f.text("frame", name);
        f.close();
    }
    o.out += ']';
    j.number("frames_seen", fax.frames_seen);
    j.number("pages_counted", fax.pages_counted);
    j.number("confirmed", fax.confirmed);
    j.number("rejected", fax.rejected);
    j.number("retrain_positive", fax.retrain_positive);
    j.number("training_ok", fax.training_ok);
    j.number("training_failed", fax.failed_training);
    j.number("bad_frames", fax.bad_frames);
    j.number("repeats", fax.repeats);
    j.boolean("dcn_sent", fax.dcn_sent);
    j.boolean("dcn_received", fax.dcn_received);
    j.close();
}

void caller_json(JsonObject &o, const CallerId &id) {
    o.key("caller_id");
    if (!id.seen) {
        o.out += "null";
        return;
    }
    JsonObject j(o.out);
    // The eight characters MMDDhhmm as a date ("12-25", no year is sent) and a time ("18:30").
    if (id.time_known) {
        char date[8], time[8];
        snprintf(date, sizeof date, "%c%c-%c%c", id.time[0], id.time[1], id.time[2], id.time[3]);
        snprintf(time, sizeof time, "%c%c:%c%c", id.time[4], id.time[5], id.time[6], id.time[7]);
        j.text("date", date);
        j.text("time", time);
    } else {
        j.raw("date", "null");
        j.raw("time", "null");
    }
    if (id.number_known)
        j.text("number", id.number);
    else
        j.raw("number", "null");
    if (id.name_known)
        j.text("name", id.name);
    else
        j.raw("name", "null");
    j.optional("seizure_bytes", id.seizure_bytes);
    j.optional("mark_bytes", id.mark_bytes);
    j.number("errors", id.errors);
    j.optional("last_error", id.last_error);
    j.number("unknown_messages", id.unknown_messages);
    j.optional("message_bytes", id.message_bytes);
    j.boolean("finished", id.finished);
    j.close();
}

void brief_json(JsonObject &o, const Call &call) {
    o.number("modem", call.modem);
    o.number("call", call.number);
    o.boolean("ended", call.ended);
    o.seconds("start_s", call.start_us);
    o.seconds("end_s", call.end_us);
    o.seconds("duration_s", call.end_us - call.start_us);
    o.wall("start_wall", call.start_wall_us);
    o.wall("end_wall", call.ended ? call.end_wall_us : -1);
    o.text("direction", direction_name(call.direction));
    if (call.modulation)
        o.text("modulation", modulation_name(*call.modulation));
    else
        o.raw("modulation", "null");
    o.optional("rx_rate_final", call.rx_rate.final);
    o.optional("tx_rate_final", call.tx_rate.final);
    o.number("retrains", call.retrains);
    o.number("renegotiations", call.renegotiations);
    o.text("cleardown", cleardown_name(call.cleardown));
    o.number("anomalies", call.anomalies_seen);
}

void verdict_json(JsonObject &o, const Call &call, const CallVerdict &v) {
    o.key("verdict");
    JsonObject j(o.out);
    j.text("termination", termination_name(v.termination));
    char text[VERDICT_CAUSE_BYTES];
    verdict_cause(call, v, text, sizeof text);
    j.text("cause", text);
    j.key("findings");
    o.out += '[';
    for (size_t i = 0; i < v.count; ++i) {
        const Finding &f = v.findings[i];
        if (i) o.out += ',';
        JsonObject k(o.out);
        k.text("id", finding_name(f.id));
        k.text("severity", severity_name(f.severity));
        k.seconds("time_s", f.at.time_us - call.start_us);
        if (f.at.record != 0) {
            k.number("record", f.at.record);
            k.number("code", f.at.code);
        } else {
            k.raw("record", "null");
            k.raw("code", "null");
        }
        if (f.frozen_eye >= 0)
            k.number("eye", f.frozen_eye);
        else
            k.raw("eye", "null");
        finding_text(call, f, text, sizeof text);
        k.text("text", text);
        k.close();
    }
    o.out += ']';
    j.close();
}

}  // namespace

void calls_list_csv(std::span<const Call *const> calls, std::string &out) {
    csv_row(out, {"modem", "call", "start_s", "start_wall", "end_s", "duration_s", "direction", "modulation",
                  "rx_rate_bps", "tx_rate_bps", "retrains", "renegotiations", "cleardown", "anomalies", "termination",
                  "verdict"});
    CallVerdict verdict;
    for (const Call *call : calls) {
        char modem[8], number[16], start[32], wall[40], end[32], duration[32], rx[16], tx[16], retrains[16],
            renegotiations[16], anomalies[16];
        snprintf(modem, sizeof modem, "%d", call->modem);
        snprintf(number, sizeof number, "%" PRIu32, call->number);
        format_seconds(call->start_us, start, sizeof start);
        format_wall(call->start_wall_us, wall, sizeof wall);
        format_seconds(call->end_us, end, sizeof end);
        if (!call->ended) end[0] = '\0';
        format_seconds(call->end_us - call->start_us, duration, sizeof duration);
        optional_text(call->rx_rate.final, rx, sizeof rx);
        optional_text(call->tx_rate.final, tx, sizeof tx);
        snprintf(retrains, sizeof retrains, "%" PRIu32, call->retrains);
        snprintf(renegotiations, sizeof renegotiations, "%" PRIu32, call->renegotiations);
        snprintf(anomalies, sizeof anomalies, "%" PRIu32, call->anomalies_seen);
        call_verdict(*call, verdict);
        char cause[VERDICT_CAUSE_BYTES];
        verdict_cause(*call, verdict, cause, sizeof cause);
        csv_row(out, {modem, number, start, wall, end, duration, direction_name(call->direction),
                      call->modulation ? modulation_name(*call->modulation) : "", rx, tx, retrains, renegotiations,
                      cleardown_name(call->cleardown), anomalies, termination_name(verdict.termination),
                      cause});
    }
}

void call_detail_csv(const Call &call, std::string &out) {
    csv_row(out, {"section", "key", "time_s", "value"});
    std::vector<SummaryRow> rows;
    call_summary(call, rows);
    for (const SummaryRow &row : rows) csv_row(out, {"summary", row.key, "", row.value});
    char time[32], value[32];
    for (const CallEvent &e : call.events) {
        format_seconds(e.time_us - call.start_us, time, sizeof time);
        csv_row(out, {"event", event_name(e.kind), time, origin_name(e.origin)});
    }
    for (const SeriesInfo &info : SERIES_INFO) {
        for (const SeriesPoint &p : call.series_points[info.kind]) {
            format_seconds(p.time_us - call.start_us, time, sizeof time);
            series_value(info, p.value, value, sizeof value);
            csv_row(out, {"series", info.key, time, value});
        }
    }
}

void calls_list_json(std::span<const Call *const> calls, std::string &out) {
    out += '[';
    bool first = true;
    for (const Call *call : calls) {
        if (!first) out += ',';
        first = false;
        JsonObject o(out);
        brief_json(o, *call);
        CallVerdict verdict;
        call_verdict(*call, verdict);
        o.text("termination", termination_name(verdict.termination));
        char cause[VERDICT_CAUSE_BYTES];
        verdict_cause(*call, verdict, cause, sizeof cause);
        o.text("verdict", cause);
        o.close();
    }
    out += ']';
}

void call_json(const Call &call, bool with_points, std::string &out) {
    JsonObject o(out);
    brief_json(o, call);
    o.number("records", call.records);
    if (call.connected_us) {
        o.seconds("connected_after_s", *call.connected_us - call.start_us);
        o.number("connected_code", call.connected_at.code);
    } else {
        o.raw("connected_after_s", "null");
        o.raw("connected_code", "null");
    }
    CallVerdict verdict;
    call_verdict(call, verdict);
    verdict_json(o, call, verdict);
    o.optional("modulation_code", call.modulation);
    o.optional("rx_symbol_rate_bd", call.rx_symbol_rate);
    o.optional("tx_symbol_rate_bd", call.tx_symbol_rate);
    rate_json(o, "rx_rate", call.rx_rate);
    rate_json(o, "tx_rate", call.tx_rate);
    o.key("offered");
    {
        JsonObject j(out);
        j.optional("max_local_rx", call.max_local_rx);
        j.optional("max_local_tx", call.max_local_tx);
        j.optional("max_remote_rx", call.max_remote_rx);
        j.optional("max_remote_tx", call.max_remote_tx);
        j.close();
    }
    o.key("projected");
    out += '[';
    for (size_t i = 0; i < call.projected.size(); ++i) {
        const ProjectedRate &p = call.projected[i];
        if (i) out += ',';
        JsonObject j(out);
        j.seconds("time_s", p.time_us - call.start_us);
        j.optional("symbol_rate_bd", p.symbol_rate);
        j.number("rate_bps", p.rate);
        j.level("snr_db", p.snr16);
        j.close();
    }
    out += ']';
    series_json(o, call, with_points);
    o.number("retrains_remote", call.retrains_remote);
    o.number("renegotiations_remote", call.renegotiations_remote);
    o.number("fallbacks", call.fallbacks);
    o.number("fallforwards", call.fallforwards);
    o.number("carrier_losses", call.carrier_losses);
    events_json(o, call, with_points);
    error_control_json(o, call);
    statistics_json(o, call.stats);
    fax_json(o, call.fax);
    caller_json(o, call.caller);
    o.key("cleardown_detail");
    {
        JsonObject j(out);
        j.text("cause", cleardown_name(call.cleardown));
        j.number("code", call.cleardown_code);
        if (call.cleardown_us)
            j.seconds("time_s", *call.cleardown_us - call.start_us);
        else
            j.raw("time_s", "null");
        j.close();
    }
    o.key("anomaly_notes");
    out += '[';
    for (size_t i = 0; i < call.anomalies.size(); ++i) {
        char text[SUMMARY_VALUE_BYTES];
        anomaly_text(call.anomalies[i], text, sizeof text);
        if (i) out += ',';
        json_string(out, text);
    }
    out += ']';
    o.close();
}
