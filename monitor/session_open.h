// A recorded session (or any trace) opened for looking at: read in one walk
// of the file, each record decoded once into the line its modem's list
// shows, its calls followed in the same walk, the newest points of each eye
// moment kept, and nothing else of the file held. The opened session is a
// monitor of its own over a SessionDriverSource (which refuses every write),
// so a live monitor goes on beside it untouched; every front end opens
// sessions through monitor_open_session. Nothing here writes a file, starts
// a capture or touches the recording flag, and nothing here knows of a
// window: the open can run on any thread.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "monitor/line_time.h"
#include "monitor/monitor.h"
#include "monitor/replay.h"
#include "session/session_source.h"
#include "trace/trace.h"

struct CallWatch;

// A buffer that grows by doubling, through allocation that can fail
// (realloc: big blocks are remapped, not copied).
struct GrowBuffer {
    void *data = nullptr;
    size_t capacity = 0;  // bytes
    GrowBuffer() = default;
    GrowBuffer(const GrowBuffer &) = delete;
    GrowBuffer &operator=(const GrowBuffer &) = delete;
    GrowBuffer(GrowBuffer &&other) noexcept;
    GrowBuffer &operator=(GrowBuffer &&other) noexcept;
    ~GrowBuffer();
    // Takes the block away from the buffer; the caller frees it with free().
    void *release();
};

// One modem's lines as the walk read them, oldest first: their text (each
// followed by its NUL), text offsets and recorded times, the buffers a
// monitor's store takes over.
struct SessionLines {
    GrowBuffer text, offsets, times;
    GrowBuffer records;  // uint32_t: the trace index of each line's record
    GrowBuffer codes;    // uint32_t: the code of each line's record
    size_t count = 0;
    size_t text_bytes = 0;
};

// A line of another modem than 1 or 2: a driver-internal error (modem 0),
// or a record of a modem above 2 in a trace that is not a session.
struct OtherLine {
    uint32_t record;  // trace index of its record
    uint32_t modem;
    uint32_t offset;  // of its text in OpenedSession::other_text
};

struct OpenedSession {
    std::string path;
    int64_t start_us = 0;   // wall clock of the session's start; 0 for a trace without one
    int64_t length_ms = 0;  // the sum of its waits
    uint64_t directives = 0;
    uint64_t records = 0;
    uint64_t internal_errors = 0;  // records of modem 0 that showed a line
    SessionLines lines[2];
    ModemActivity activity[2];  // from the session's counts of active modems
    // Each modem's eye moments: the trace index of each, ascending, and its
    // newest EYE_POINTS_WANTED points.
    std::vector<uint32_t> eye_directives[2];
    std::vector<std::vector<EyePoint>> eyes[2];
    std::vector<OtherLine> other_lines;
    std::vector<char> other_text;
    // The calls of the whole file, finished, timed from the session's start.
    std::unique_ptr<CallWatch> calls;
    OpenedSession();
    OpenedSession(OpenedSession &&) noexcept;
    OpenedSession &operator=(OpenedSession &&) noexcept;
    ~OpenedSession();
};

// How an open went.
enum SessionOpenResult {
    SESSION_OPENED,
    SESSION_UNREADABLE,  // not a trace, or the file cannot be read: the error names the file (and line)
    SESSION_NO_MEMORY,   // "FILE: not enough memory to open the session"
    SESSION_CANCELLED,   // the cancel flag was set: nothing is kept
};

// What the caller of an open may watch and decide while it runs.
struct SessionOpenControl {
    void *context = nullptr;
    // Called now and then on the opening thread (every 64 Ki directives and
    // at the end): bytes of the file read so far, and the file's size (0
    // when unknown, as for a pipe).
    void (*progress)(void *context, uint64_t bytes_read, uint64_t file_bytes) = nullptr;
    // Set from any thread: the open stops at its next directive.
    const std::atomic<bool> *cancel = nullptr;
    // The most bytes the session's lines, index and eye points may take (0:
    // as much as the system gives). An open that needs more reports
    // SESSION_NO_MEMORY, as when the system refuses.
    size_t memory_limit = 0;
};

// Reads a session or any trace at path, plain or gzip, in one walk. False
// with the error holding the reader's message ("FILE:LINE: message" or
// "FILE: message") or the memory's, and *result (when given) saying which;
// the session then holds nothing. A cut file reads up to its last complete
// line and leaves its warning in `warning`.
bool opened_session_read(const char *path, OpenedSession &session, std::string &error, std::string &warning,
                         const SessionOpenControl &control = {}, SessionOpenResult *result = nullptr);

// An opened session as every front end shows it: its own monitor over its
// own source, whose stores hold every line with its recorded time and
// whose activity is the session's; the replay over the same monitor; the
// calls of the file in session.calls.
struct MonitorSession {
    OpenedSession session;
    SessionDriverSource source;
    Monitor *monitor = nullptr;
    Replay replay{};
    std::string warning;  // a cut file's warning, else empty
    ~MonitorSession();
};

// Opens the session at path: on SESSION_OPENED *out is the new session
// (free it with monitor_close_session), else null with `error` saying why.
// No monitor but the new one is touched.
SessionOpenResult monitor_open_session(const char *path, MonitorSession **out, std::string &error,
                                       const SessionOpenControl &control = {});
void monitor_close_session(MonitorSession *session);

// Store bounds that hold every line of the session: the live bounds, or
// more when the session has more lines.
StoreBounds opened_session_bounds(const OpenedSession &session);

// Empties the monitor's stores and fills them with a copy of every line of
// the session, each stamped with its recorded time, and the modems'
// activity from the session's counts of active modems. A store smaller
// than the session keeps the latest lines, as a live list does. From now on
// the monitor shows the session (which must outlive it): its calls and
// their time are the session's (monitor_calls, monitor_line_at), and it
// records nothing. (monitor_open_session gives the session's own monitor its
// lines without a copy.)
void monitor_show_session(Monitor &monitor, const OpenedSession &session);

// The trace index of the record behind a line of modem 1 or 2 (its running
// number in the list); SIZE_MAX for a number the session does not have.
size_t opened_session_line_record(const OpenedSession &session, int modem, uint64_t line_number);

// The recorded time of a line of modem 1 or 2 as opened_session_read left
// it (before a monitor took the lines over); -1 for a line it does not have.
int64_t opened_session_line_time(const OpenedSession &session, int modem, uint64_t line_number);

// The newest eye points (at most EYE_POINTS_WANTED) of modem 1 or 2
// recorded at or before a trace index, and the last ones of the session;
// null when there are none.
const std::vector<EyePoint> *opened_session_eye_at(const OpenedSession &session, int modem,
                                                   size_t trace_index);
const std::vector<EyePoint> *opened_session_last_eye(const OpenedSession &session, int modem);

// Each line of an opened session in trace order, with the modem of its
// record (0 for a driver-internal error), as the live console printed
// them: modem 1's and 2's from the monitor's stores, the others kept aside.
// The sink returns false to stop.
using SessionLineSink = bool (*)(void *context, int modem, const char *line);
void monitor_session_each_line(const MonitorSession &session, SessionLineSink sink, void *context);
