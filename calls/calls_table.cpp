// The calls list's rows and cells.
#include "calls/calls_table.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <cctype>

#include "calls/call_findings.h"
#include "calls/call_summary.h"
#include "calls/call_watch.h"
#include "formatting/formatting.h"

const CallsColumnRow CALLS_COLUMN_ROWS[CALLS_COLUMNS] = {
    {CALLS_COLUMN_MODEM,          "Modem",        "Modem",                  true},
    {CALLS_COLUMN_START,          "Start (UTC)",  "2026-12-08 17:50:00",    false},
    {CALLS_COLUMN_DURATION,       "Duration",     "Duration",               true},
    {CALLS_COLUMN_MODULATION,     "Modulation",   "v.32/v.32bis/v.32terbo", false},
    {CALLS_COLUMN_RX_RATE,        "Rx bit/s",     "Rx bit/s",               true},
    {CALLS_COLUMN_TX_RATE,        "Tx bit/s",     "Tx bit/s",               true},
    {CALLS_COLUMN_RETRAINS,       "Retrains",     "12 (12 remote)",         true},
    {CALLS_COLUMN_RENEGOTIATIONS, "Reneg.",       "12 (12 remote)",         true},
    {CALLS_COLUMN_CLEARDOWN,      "Cleardown",    "carrier lost",           false},
    {CALLS_COLUMN_VERDICT,        "Verdict",      "went idle without cleardown", false},
};

namespace {

// "2026-12-08 17:50:00" from format_wall's "2026-12-08T17:50:00.123Z".
void wall_text(int64_t wall_us, char *text, size_t size) {
    char iso[40];
    format_wall(wall_us, iso, sizeof iso);
    if (strlen(iso) < 19) {
        snprintf(text, size, "%s", iso);
        return;
    }
    iso[10] = ' ';
    iso[19] = '\0';
    snprintf(text, size, "%s", iso);
}

void duration_text(int64_t us, char *text, size_t size) {
    if (us < 0) us = 0;
    const int64_t seconds = us / 1000000;
    if (seconds < 60)
        snprintf(text, size, "0:%02" PRId64 ".%" PRId64, seconds, (us / 100000) % 10);
    else if (seconds < 3600)
        snprintf(text, size, "%" PRId64 ":%02" PRId64, seconds / 60, seconds % 60);
    else
        snprintf(text, size, "%" PRId64 ":%02" PRId64 ":%02" PRId64, seconds / 3600, seconds / 60 % 60, seconds % 60);
}

void count_text(uint32_t all, uint32_t remote, char *text, size_t size) {
    if (remote == 0)
        snprintf(text, size, "%" PRIu32, all);
    else
        snprintf(text, size, "%" PRIu32 " (%" PRIu32 " remote)", all, remote);
}

void rate_text(const std::optional<long> &rate, char *text, size_t size) {
    if (rate)
        snprintf(text, size, "%ld", *rate);
    else
        snprintf(text, size, "-");
}


}  // namespace

void calls_cell(const Call &call, CallsColumn column, int64_t origin_us, int64_t now_us, char *text, size_t size) {
    if (size == 0) return;
    text[0] = '\0';
    switch (column) {
    case CALLS_COLUMN_MODEM:
        snprintf(text, size, "%d", call.modem);
        break;
    case CALLS_COLUMN_START: {
        const int64_t wall = call.start_wall_us >= 0 ? call.start_wall_us
                             : origin_us > 0         ? origin_us + call.start_us
                                                     : -1;
        if (wall >= 0) {
            wall_text(wall, text, size);
        } else {
            char seconds[32];
            format_seconds(call.start_us, seconds, sizeof seconds);
            snprintf(text, size, "+%s s", seconds);
        }
        break;
    }
    case CALLS_COLUMN_DURATION: {
        const int64_t end = !call.ended && now_us >= 0 ? std::max(now_us, call.end_us) : call.end_us;
        duration_text(end - call.start_us, text, size);
        break;
    }
    case CALLS_COLUMN_MODULATION:
        if (call.modulation)
            snprintf(text, size, "%s", modulation_name(*call.modulation));
        else
            snprintf(text, size, "%s", call.modulation_conflict ? "(two)" : "-");
        break;
    case CALLS_COLUMN_RX_RATE:
        rate_text(call.rx_rate.final, text, size);
        break;
    case CALLS_COLUMN_TX_RATE:
        rate_text(call.tx_rate.final, text, size);
        break;
    case CALLS_COLUMN_RETRAINS:
        count_text(call.retrains, call.retrains_remote, text, size);
        break;
    case CALLS_COLUMN_RENEGOTIATIONS:
        count_text(call.renegotiations, call.renegotiations_remote, text, size);
        break;
    case CALLS_COLUMN_CLEARDOWN:
        snprintf(text, size, "%s", cleardown_name(call.cleardown));
        break;
    case CALLS_COLUMN_VERDICT: {
        // Only the category: the verdict needs no texts for it.
        CallVerdict verdict;
        call_verdict(call, verdict);
        snprintf(text, size, "%s", termination_name(verdict.termination));
        break;
    }
    default:
        break;
    }
}

void calls_rows(const CallWatch &watch, std::vector<const Call *> &out) {
    out.clear();
    const size_t logged = call_log_size(watch.log);
    out.reserve(logged + 2);
    for (size_t i = 0; i < logged; ++i) out.push_back(&call_log_at(watch.log, i));
    for (int m = 1; m <= 2; ++m) {
        if (const Call *running = call_watch_running(watch, m)) out.push_back(running);
    }
    std::stable_sort(out.begin(), out.end(), [](const Call *a, const Call *b) {
        if (a->start_us != b->start_us) return a->start_us > b->start_us;
        if (a->modem != b->modem) return a->modem < b->modem;
        return a->number > b->number;
    });
}

CallsSignature calls_signature(const CallWatch &watch) {
    CallsSignature s;
    s.count = watch.log.count;
    s.first = watch.log.first;
    s.dropped = watch.log.dropped;
    for (int m = 1; m <= 2; ++m) s.running[m - 1] = call_watch_running(watch, m);
    return s;
}

bool calls_export_name(const char *chosen, bool json_filter, char *path, size_t size, CallsFileFormat *format) {
    if (size > 0) path[0] = '\0';
    const size_t length = chosen != nullptr ? strlen(chosen) : 0;
    if (length == 0 || size == 0) return false;
    const char *extension = "";
    if (ends_with_folded(chosen, length, ".json")) {
        *format = CALLS_FILE_JSON;
    } else if (ends_with_folded(chosen, length, ".csv")) {
        *format = CALLS_FILE_CSV;
    } else {
        *format = json_filter ? CALLS_FILE_JSON : CALLS_FILE_CSV;
        extension = json_filter ? ".json" : ".csv";
    }
    const int written = snprintf(path, size, "%s%s", chosen, extension);
    if (written < 0 || static_cast<size_t>(written) >= size) {
        path[0] = '\0';
        return false;
    }
    return true;
}
