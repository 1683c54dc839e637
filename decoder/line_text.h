// Small pieces shared by the family handlers: {value, text} tables and
// bounded writes into a StatusLine, including hex dumps of driver blocks.
#pragma once

#include <cstddef>
#include <cstdint>

#include "decoder/status.h"

// One row of a code-to-text table.
struct TextRow {
    uint32_t value;
    const char *text;
};

// The text of value in rows, or nullptr when no row holds it.
template <size_t N>
const char *find_text(const TextRow (&rows)[N], uint32_t value) {
    for (const TextRow &row : rows) {
        if (row.value == value) return row.text;
    }
    return nullptr;
}

// Most characters a StatusLine holds besides its terminator.
constexpr size_t LINE_CAPACITY = STATUS_LINE_BYTES - 1;

// Replaces the line with the formatted text, cut at the line's end. For
// formats held in tables; call sites with a literal format use snprintf.
void write_line_format(StatusLine &line, const char *format, ...);

// Writes text when there is one (a row found in a table), else the
// formatted fallback, which usually prints the number no row holds.
[[gnu::format(printf, 3, 4)]]
void write_text_or_format(StatusLine &line, const char *text, const char *format, ...);

// Appends text behind what the line holds, cut at the line's end.
void append_line_text(StatusLine &line, const char *text);

// Appends the first count bytes of the driver block at address of memory as pairs of
// lower-case hex digits. The count is first cut to the whole bytes that fit
// while leaving `reserve` characters of the line free for what follows, and
// only that many bytes are read. A block that cannot be read appends
// UNREADABLE_TEXT instead, cut to the same room. A count of 0 reads and
// appends nothing.
void append_driver_hex(StatusLine &line, const DriverMemory &memory, uint32_t address, size_t count,
                       size_t reserve);
