// A call's summary as keys and values, in the form of a modem's last-call
// diagnostic report, and the side-by-side comparison of two calls.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "calls/call.h"

constexpr size_t SUMMARY_KEY_BYTES = 32;
constexpr size_t SUMMARY_VALUE_BYTES = 320;  // a finding's time, severity, name and text

struct SummaryRow {
    char key[SUMMARY_KEY_BYTES];
    char value[SUMMARY_VALUE_BYTES];
};

// The rows of a call's summary, in report order. Rows that repeat (projected
// rates, events, anomalies) carry their number in the key ("Event 2"), so
// that the rows of two calls line up by key. A value the records did not
// carry reads "unknown"; fax and caller-ID rows appear only for calls that
// had such records.
void call_summary(const Call &call, std::vector<SummaryRow> &rows);

// The summary as text: one "key  value" line per row, keys padded to one column.
void call_summary_text(const Call &call, std::string &out);

struct CompareRow {
    const char *key;  // points into one of the two row lists
    const char *a;    // "" when the first call has no such row
    const char *b;
    bool differs;
};

// Lines up the rows of two summaries by key, in the first call's order; a
// row only the second call has stands where it stands in its own summary
// (after the row its predecessor went with). Valid while both row lists live.
void compare_summaries(const std::vector<SummaryRow> &a, const std::vector<SummaryRow> &b,
                       std::vector<CompareRow> &rows);
// The same for the summaries of calls a and b, their events paired by kind
// and by time since each call's start (each of a's with the nearest free one
// of b's of the same kind) rather than by their numbers.
void compare_calls(const Call &a, const Call &b, const std::vector<SummaryRow> &rows_a,
                   const std::vector<SummaryRow> &rows_b, std::vector<CompareRow> &rows);

// The comparison as a text table: a marker column ("*" where the values
// differ), the key, the first call's value and, after a bar, the second's;
// the columns are padded to their widest entry (the first call's values up
// to 44 characters). Identity rows (modem, call, start, end) are
// compared like any other. With labels, a first line names the two columns
// (the calls as the user chose them: "call 3", "v90.trace call 1").
void calls_compare_text(const Call &a, const Call &b, std::string &out, const char *label_a = nullptr,
                        const char *label_b = nullptr);

// Appends to text (size bytes in all, already terminated) without running past its end.
[[gnu::format(printf, 3, 4)]] void text_append(char *text, size_t size, const char *format, ...);

// Number formats shared with the exports.
// A value in 1/16 units as a decimal without trailing zeros ("35.375", "-21.6875", "30").
void format_sixteenths(int32_t value, char *text, size_t size);
// A level or ratio in 1/16 units (dB, dBm, ms) with one decimal ("-21.7", "35.4", "30.0").
void format_level(double sixteenths, char *text, size_t size);
// Microseconds as seconds with three decimals ("12.345").
void format_seconds(int64_t us, char *text, size_t size);
// Microseconds since the epoch as UTC "2026-12-08T17:50:00.123Z"; "" when negative.
void format_wall(int64_t wall_us, char *text, size_t size);
// The name of an error-control disconnect reason (0 to 6), or "unknown".
const char *disconnect_reason_name(int32_t reason);
// The compression the records negotiated, as text ("V.42bis both ways", "MNP 5", "none", "unknown").
void compression_text(const Call &call, char *text, size_t size);
// A T.30 frame's name, "TCF" for the training check, or its code in hex.
void fax_frame_text(uint8_t fcf, char *text, size_t size);
