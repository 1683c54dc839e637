// A bounded store of status lines, one per modem. The store keeps memory
// flat for days of monitoring: when it is full (in lines or in text bytes)
// it drops its oldest line for each new one, and a line that cannot be
// stored even in an empty store is dropped. Every line keeps its arrival
// time. Lines carry running numbers, so that a view can tell how many lines
// left at the front and arrived at the end since it last looked.
#pragma once

#include <cstddef>
#include <cstdint>

// The bound of each modem's list: 100,000 lines or 8 MiB of text, whichever
// is reached first.
constexpr size_t LINE_STORE_LINES = 100000;
constexpr size_t LINE_STORE_TEXT_BYTES = 8u << 20;

struct LineStore {
    char *text;             // ring of texts, each followed by its NUL
    size_t text_size;
    uint32_t *offsets;      // ring of the lines' text offsets
    int64_t *times;         // ring of the lines' arrival times (microseconds)
    uint32_t *codes;        // ring of the codes of the lines' records (0: not a record's); null: none kept
    size_t capacity;        // lines
    size_t first;           // ring index of the oldest line
    size_t count;           // lines stored
    size_t text_end;        // where the next line's text goes
    uint64_t first_number;  // running number of the oldest line
    uint64_t dropped;       // lines lost at the bound, old ones dropped or new ones refused
};

// Sets a store up over caller-owned buffers: text_size bytes of text and
// room for capacity offsets and times, and for as many record codes when
// `codes` is given. Text offsets are 32-bit, so text_size is at most 4 GiB.
void line_store_init(LineStore *store, char *text, size_t text_size, uint32_t *offsets,
                     int64_t *times, size_t capacity, uint32_t *codes = nullptr);

// The same over buffers that already hold `count` lines, oldest first, the
// first at offset 0, their text ending at text_end (an opened session's).
void line_store_init_filled(LineStore *store, char *text, size_t text_size, uint32_t *offsets, int64_t *times,
                            size_t capacity, size_t count, size_t text_end, uint32_t *codes = nullptr);

// Appends a line (its text up to the NUL) with its arrival time and the code
// of the record it decodes (0 for none), dropping the oldest lines until it
// fits. False when the line is too long for even an empty store; it is then
// dropped and counted.
bool line_store_add(LineStore *store, const char *line, int64_t time, uint32_t code = 0);

// Line i of the store, 0 the oldest; i must be below store.count.
const char *line_store_text(const LineStore &store, size_t i);
int64_t line_store_time(const LineStore &store, size_t i);
// The code of line i's record; 0 when not known.
uint32_t line_store_code(const LineStore &store, size_t i);
// The line of a moment: the newest line stored at or before `time` (times
// ascending, as lines arrive), or the oldest line when all came later.
// store.count when the store is empty.
size_t line_store_find_time(const LineStore &store, int64_t time);
// The line of a record with `code` stored nearest to `time`, no further
// than `window` from it (a record's line is stamped when it was fetched, a
// moment or two after the record was read); store.count when none is.
size_t line_store_find_code_near(const LineStore &store, int64_t time, int64_t window, uint32_t code);

// The running number one past the newest line.
inline uint64_t line_store_end_number(const LineStore &store) {
    return store.first_number + store.count;
}

// What a view of a store must do to catch up: it shows the lines numbered
// [*shown_first, *shown_end). It removes `removed` rows at its front, then
// appends `inserted` rows at its end; both numbers are then brought up to
// the store's.
struct ViewChange {
    size_t removed;
    size_t inserted;
};
ViewChange line_view_catch_up(const LineStore &store, uint64_t *shown_first, uint64_t *shown_end);
