// The directives of the trace format as a writer formats them, each one
// line with its line feed, written at out; each function returns the end of
// what it wrote. The caller gives room for the most a directive can take
// (the *_MAX sizes below). What these write, the reader reads back as the
// same directive.
//
// Words of a record read best short: decimal up to 99999, 0x hexadecimal
// above (addresses, flags, negative values). Addresses are always 0x
// hexadecimal, counts and times decimal.
#pragma once

#include <cstddef>
#include <cstdint>

#include "decoder/status.h"
#include "driverlink/ioctl.h"
#include "trace/session_time.h"

// "rec ", ten words of at most ten characters with their blanks, the line feed.
constexpr size_t TRACE_REC_LINE_MAX = 4 + 10 * 11 + 1;
// "unreadable 0x", eight hex digits, a blank, ten digits, the line feed.
constexpr size_t TRACE_UNREADABLE_LINE_MAX = 13 + 8 + 1 + 10 + 1;
// "mem 0x", eight hex digits, a blank, two hex digits a byte, the line feed.
constexpr size_t trace_mem_line_max(size_t count) { return 6 + 8 + 1 + 2 * count + 1; }
// wait, active, fetch: the name and its blank (at most "active "), ten
// digits, the line feed.
constexpr size_t TRACE_SHORT_LINE_MAX = 7 + 10 + 1;
// A quoted text: its quotes, at most four characters a byte.
constexpr size_t trace_quoted_max(size_t length) { return 2 + 4 * length; }
constexpr size_t trace_shown_line_max(size_t length) { return 6 + trace_quoted_max(length) + 1; }
constexpr size_t trace_session_line_max(size_t length) {
    return 8 + SESSION_TIME_LENGTH + 1 + trace_quoted_max(length) + 1;
}
// "eyehex M " before the points; eight hex digits a point.
constexpr size_t TRACE_EYEHEX_HEAD_MAX = 9;
constexpr size_t TRACE_EYEHEX_POINT_CHARS = 8;

// Numbers: decimal; hexadecimal without leading zeros ("0" for zero); a
// record's word as described above; bytes as pairs of hex digits.
char *trace_append_decimal(char *out, uint64_t value);
char *trace_append_hex_word(char *out, uint32_t value);
char *trace_append_word(char *out, uint32_t value);
char *trace_append_hex_bytes(char *out, const unsigned char *bytes, size_t count);
// A quoted text: control bytes, bytes from 0x7f up, the quote and the
// backslash escaped, so the text reads back exactly.
char *trace_append_quoted(char *out, const char *text, size_t length);

// Directives. Parameters of a record that are 0 at the end go without saying.
char *trace_write_rec(char *out, const StatusRecord &record);
char *trace_write_mem(char *out, uint32_t address, const unsigned char *bytes, size_t count);
char *trace_write_unreadable(char *out, uint32_t address, uint32_t length);
char *trace_write_wait(char *out, uint32_t ms);
char *trace_write_active(char *out, uint32_t active_modems);
char *trace_write_fetch(char *out, int modem);  // modem 1 or 2
char *trace_write_shown(char *out, const char *text, size_t length);
char *trace_write_session(char *out, int64_t time_ms, const char *program, size_t length);
// An eyehex directive in pieces, for points that come in many: the head,
// the points (each its four bytes, little-endian x then y), then '\n'.
char *trace_write_eyehex_head(char *out, int modem);
char *trace_append_eye_points(char *out, const EyePoint *points, size_t count);
