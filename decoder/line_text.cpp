// Bounded writes into a StatusLine shared by the family handlers.
#include "decoder/line_text.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "decoder/driver_memory.h"
#include "formatting/formatting.h"

void write_line_format(StatusLine &line, const char *format, ...) {
    va_list args;
    va_start(args, format);
    vsnprintf(line, sizeof line, format, args);
    va_end(args);
}

void write_text_or_format(StatusLine &line, const char *text, const char *format, ...) {
    if (text != nullptr) {
        snprintf(line, sizeof line, "%s", text);
        return;
    }
    va_list args;
    va_start(args, format);
    vsnprintf(line, sizeof line, format, args);
    va_end(args);
}

void append_line_text(StatusLine &line, const char *text) {
    size_t used = strnlen(line, LINE_CAPACITY);
    snprintf(line + used, sizeof line - used, "%s", text);
}

// Largest dump that one call writes: a whole line of hex pairs.
constexpr size_t MAX_DUMP_BYTES = LINE_CAPACITY / 2;

void append_driver_hex(StatusLine &line, const DriverMemory &memory, uint32_t address, size_t count,
                       size_t reserve) {
    size_t used = strnlen(line, LINE_CAPACITY);
    size_t room = LINE_CAPACITY - used;
    room = room > reserve ? room - reserve : 0;
    if (count > room / 2) count = room / 2;
    if (count == 0) return;

    unsigned char bytes[MAX_DUMP_BYTES];
    if (!read_driver_block(memory, address, count, bytes)) {
        // The marker takes the dump's room, cut short when the room is smaller.
        snprintf(line + used, room + 1, "%s", UNREADABLE_TEXT);
        return;
    }
    // count <= room / 2, so the pairs and their NUL end inside the line.
    hex_string(line + used, bytes, count);
}
