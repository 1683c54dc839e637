// Arrival times of status lines as a list can show them beside the text:
// off, the wall-clock time of day, the seconds since the line's modem became
// active, or the time since the previous line of the same list. Also the
// record of when each modem became active, kept from the counts that
// modem_presence reports.
#pragma once

#include <cstddef>
#include <cstdint>

#include "monitor/line_store.h"

enum LineTimeFormat {
    LINE_TIME_OFF,
    LINE_TIME_WALL,          // hh:mm:ss.mmm, local time
    LINE_TIME_SINCE_ACTIVE,  // seconds with milliseconds since the modem became active
    LINE_TIME_DELTA,         // +seconds with milliseconds since the list's previous line
};
constexpr int LINE_TIME_FORMATS = 4;
// Menu texts, in the order of the formats.
extern const char *const LINE_TIME_NAMES[LINE_TIME_FORMATS];

constexpr size_t LINE_TIME_TEXT_BYTES = 32;

// The time text of a line that arrived at `time` (microseconds since the
// epoch). `previous` is the arrival of the list's line before it, and
// `active_since` the start of its modem's activity, each -1 when unknown.
// Empty when the format is off or has nothing to measure from.
void format_line_time(LineTimeFormat format, int64_t time, int64_t previous, int64_t active_since,
                      char text[LINE_TIME_TEXT_BYTES]);

// When each modem became active: a ring of the latest starts per modem.
constexpr size_t ACTIVATIONS_KEPT = 64;
struct ModemActivity {
    int64_t starts[ACTIVATIONS_KEPT];
    size_t first;  // ring index of the oldest start kept
    size_t count;
    bool active;
};
// The activity of modems 1 and 2 (index 0 and 1) is kept by the monitor.
void activity_reset(ModemActivity activity[2]);
// Takes note of a count of active modems (0 to 2) seen at `now`: modem m is
// active while the count is at least m, and each change from inactive to
// active starts a new activity.
void activity_note(ModemActivity activity[2], int active_count, int64_t now);
// The start of modem 1's or 2's activity in force at `time`: the latest
// start at or before it, or -1 when none is known.
int64_t activity_since(const ModemActivity activity[2], int modem, int64_t time);

// The time text of line i of modem m's store (index 0 the oldest).
void store_line_time(const LineStore &store, size_t i, const ModemActivity activity[2], int modem,
                     LineTimeFormat format, char text[LINE_TIME_TEXT_BYTES]);

// A line as a copy takes it: "time TAB line" when a time is shown (time_text
// not null), else the line as it stands. Cut at size - 1 bytes; always
// NUL-terminated.
void line_with_time(const char *time_text, const char *line, char *out, size_t size);
