// A recorded session (or any trace) opened for looking at: read whole, its
// lines shown in a monitor's stores at once with their recorded times, and
// the eye points of any moment found again. Every window front end opens
// sessions through this; nothing here writes a file, starts a capture or
// touches the recording flag.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "monitor/monitor.h"
#include "trace/trace.h"

struct OpenedSession {
    std::vector<TraceDirective> trace;  // the file as read
    std::string path;
    int64_t start_us = 0;  // wall clock of the session's start; 0 for a trace without one
    // The time of each directive since the start: the waits before it.
    std::vector<int64_t> time_ms;
    // By the running number of a line in modem 1's or 2's list (0 the
    // session's first line of that modem): the trace index of its record.
    std::vector<uint32_t> line_record[2];
    // The trace indexes of each modem's eye points, ascending.
    std::vector<uint32_t> eye_directives[2];
    size_t text_bytes[2] = {0, 0};  // the text of each modem's lines, with their NULs
    uint64_t records = 0;
    uint64_t internal_errors = 0;   // records of modem 0 that showed a line
};

// Reads a session or any trace at path, plain or gzip. False with `error`
// holding the reader's message ("FILE:LINE: message" or "FILE: message");
// session then holds nothing. A cut file reads up to its last complete line
// and leaves its warning in `warning`.
bool opened_session_read(const char *path, OpenedSession &session, std::string &error,
                         std::string &warning);

// Store bounds that hold every line of the session: the live bounds, or
// more when the session has more lines.
StoreBounds opened_session_bounds(const OpenedSession &session);

// Empties the monitor's stores and fills them with every line of the
// session, each stamped with its recorded time, and the modems' activity
// from the session's counts of active modems. A store smaller than the
// session keeps the latest lines, as a live list does. Driver-internal
// errors are counted in the session, not shown in boxes.
void monitor_show_session(Monitor &monitor, const OpenedSession &session);

// The wall-clock time (microseconds since 1970) of a trace index.
int64_t opened_session_time_us(const OpenedSession &session, size_t trace_index);

// The trace index of the record behind a line of modem 1 or 2 (its running
// number in the list); SIZE_MAX for a number the session does not have.
size_t opened_session_line_record(const OpenedSession &session, int modem, uint64_t line_number);

// The eye points of modem 1 or 2 recorded at or before a trace index, and
// the last ones of the session; null when there are none.
const std::vector<EyePoint> *opened_session_eye_at(const OpenedSession &session, int modem,
                                                   size_t trace_index);
const std::vector<EyePoint> *opened_session_last_eye(const OpenedSession &session, int modem);
