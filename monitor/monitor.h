// The monitor: one value that holds everything a running LineWatch knows
// (its driver link and captures, both line stores, the warning state, the
// visibility of the five children, each modem's activity, the calls it
// follows, the session it records) and the operations every front end
// calls: the ticks in the order the core defines, the menu commands and
// their enabled state, recording, the copy of a selection, the line of a
// moment and the close. It tells its front end what happened through its
// events. The console loop, the Qt window and the Win32 windows only
// forward input to it and draw what it holds; several monitors can live in
// one process (a live one and any number of opened sessions).
#pragma once

#include <cstddef>
#include <cstdint>

#include "capture/capture.h"
#include "driverlink/device.h"
#include "driverlink/driver_source.h"
#include "monitor/line_store.h"
#include "monitor/line_time.h"
#include "monitor/window_tables.h"
#include "calls/call_tracker.h"
#include "calls/call_watch.h"
#include "session/memory_read_log.h"

class SessionWriter;

// What changed about the session being recorded.
enum RecordingChange {
    RECORDING_STARTED,     // a file is being recorded
    RECORDING_PROGRESS,    // its size and time have moved on (once a second)
    RECORDING_STOPPED,     // stopped as asked, the file complete and closed
    RECORDING_INCOMPLETE,  // stopped as asked, but what was pending could not be written
    RECORDING_FAILED,      // a write failed: stopped and closed, monitoring goes on
};

// What the monitor tells its front end. Every callback may be null.
struct MonitorEvents {
    void *context;
    // A line has been added to the store of modem 1 or 2.
    void (*line_added)(void *context, int modem, const char *line);
    // Shows a driver-internal error and returns when the user has closed
    // it. A window front end runs a message box here, whose own message
    // loop may run the ticks again (re-entry).
    void (*show_warning)(void *context, const char *line);
    // The recording started, moved on, stopped or failed; for the last two
    // monitor_recording_error says why.
    void (*recording_changed)(void *context, RecordingChange change);
    // The stores were filled or emptied at once (a session shown, a replay
    // started over): views of them start over.
    void (*session_shown)(void *context);
    // A call began or ended on either modem.
    void (*calls_changed)(void *context);
};

struct MonitorBuffers;
struct CallWatch;
struct OpenedSession;
struct WindowRecording;

// A session being recorded from a monitor: the writer it feeds and the log
// of the driver memory that decoding each record read. The front end owns
// both; see monitor_record.
struct MonitorRecording {
    SessionWriter *writer;
    MemoryReadLog reads;
    // Status ticks since the round's main tick: the first is modem 1's list,
    // the second modem 2's, as a round runs them.
    int status_ticks;
};

struct Monitor {
    DriverLink link;
    CaptureSet captures;
    LineStore stores[2];         // the status lists of modem 1 (index 0) and modem 2
    int warning_open;            // 1 while a warning is on screen: one box at a time
    uint64_t warnings_discarded; // driver-internal errors dropped while a box was open
    Visibility visible;
    ModemActivity activity[2];   // when each modem became active, for the lines' times
    bool closed;                 // the main window has been closed: nothing runs any more
    // The clock that stamps each line's arrival, in microseconds since the
    // epoch. Tests replace it.
    int64_t (*clock)();
    MonitorBuffers *buffers;     // the stores' text, offsets and times
    MonitorRecording *recording; // null while nothing is recorded
    CallWatch *calls;            // the calls the ticks follow (the monitor's own watch); null: none
    int64_t calls_since;         // clock time the calls are timed from
    MonitorEvents events;        // set by the front end (monitor_set_events)
    // The session this monitor shows (its own monitor, see
    // monitor_open_session, or one copied in by monitor_show_session), null
    // for a live monitor.
    const OpenedSession *session;
    WindowRecording *recorder;   // the recording the monitor started itself, kept for its error
    unsigned main_ticks;         // main ticks since the recording's figures were last told
    uint64_t calls_seen;         // calls begun and ended so far, for calls_changed
};

int64_t monitor_wall_clock();

// The clock that stamps the monitor's lines from now on (a test's or a
// tool's own time). The calls it follows are timed on it from now on, so
// that a moment of their time names the lines that clock stamped; given
// before the first tick.
void monitor_set_clock(Monitor &monitor, int64_t (*clock)());

// The bounds of each modem's store: a live monitor keeps the latest
// LINE_STORE_LINES lines; a monitor showing an opened session sizes its
// stores to the session.
struct StoreBounds {
    size_t lines;
    size_t text_bytes;
};
constexpr StoreBounds LIVE_STORE_BOUNDS{LINE_STORE_LINES, LINE_STORE_TEXT_BYTES};

// A monitor over `source`, with empty stores and the start state, and its
// own call watch that follows both modems from now on; its buffers (about
// 18 MiB at the live bounds) are allocated here, once. Null when they
// cannot be had. monitor_delete stops its captures (as a close does) and a
// recording (the file completed), and frees it.
Monitor *monitor_new(DriverSource &source, const StoreBounds &bounds = LIVE_STORE_BOUNDS);
void monitor_delete(Monitor *monitor);

// The monitor's events from now on (a copy of `events`).
void monitor_set_events(Monitor &monitor, const MonitorEvents &events);

// Start-up before any window or tick: log_counter 1, empty stores, every
// child shown, the monitor's registry key, the device name from the
// argument (null or empty for the platform's default). False when the
// argument is too long for a device name; nothing has touched the driver.
bool monitor_start(Monitor &monitor, const char *device_argument);

// Appends a line to the store of modem 1 or 2, stamped with the clock.
void monitor_add_line(Monitor &monitor, int modem, const char *line);

// --- Ticks ---------------------------------------------------------------
// Every timer of the monitor ticks at TIMER_PERIOD_MS. The five ticks, in
// the order that a round runs them and that a window creates its timers:
// the capture drain first, so that capture data queued before a stop or
// restart request in the same round reaches its file before the request
// ends the capture; then both status lists and both eye displays (their
// points are fetched even when hidden, so that the driver's queue never
// backs up).
enum MonitorTick { TICK_MAIN, TICK_STATUS_1, TICK_STATUS_2, TICK_EYE_1, TICK_EYE_2 };
constexpr MonitorTick MONITOR_TICKS[5] = {TICK_MAIN, TICK_STATUS_1, TICK_STATUS_2, TICK_EYE_1, TICK_EYE_2};

// The longest a window's status tick drains before it lets the window
// answer again; what is left drains on the next ticks, in order. The
// console drains without a bound (0).
constexpr int64_t WINDOW_DRAIN_BUDGET_US = 30000;

// The capture drain of the main window's tick.
void monitor_main_tick(Monitor &monitor);

// A status list's tick: while a modem is active, fetches one record's line
// after another into the stores (or a driver-internal error to the warning
// box) until the driver has no line or, with a nonzero budget, the budget
// (microseconds) is spent. Each run (and each re-entry) has its own line
// buffer. Returns the number of records that gave a line.
// The monitor's events get the lines and warnings.
uint64_t monitor_status_tick(Monitor &monitor, int64_t budget_us);

// An eye display's tick for modem 1 or 2: -1 when no modem is active (the
// display is left as it is), else the number of points delivered into
// `points` (0 to 512).
int monitor_eye_tick(Monitor &monitor, int modem, EyePoint points[EYE_POINTS_WANTED]);

// One whole round of the five ticks, in MONITOR_TICKS order, as a front end
// without timers of its own runs it. With `eyes`, each eye tick's points go
// to eyes[modem - 1] and their count to eye_counts[modem - 1] (left as it
// is while no modem is active), for a front end that draws them.
void monitor_round(Monitor &monitor, int64_t budget_us, EyePoint (*eyes)[EYE_POINTS_WANTED] = nullptr,
                   int *eye_counts = nullptr);

// --- Recording a session ----------------------------------------------------
// Starts feeding `writer` (already open) from the ticks: each round's start
// (the main tick, which also lets the writer flush once a second), every
// record a status tick fetches with the modem of that tick, the driver
// memory its decoding read and the line shown when it is not the decoder's
// (a driver-internal error's text, a capture request's message, "" for none),
// the count of active modems that presence sees, and each eye tick's points.
// A window that runs its five timers on its own gets the same: its status
// ticks follow the main tick in the order of MONITOR_TICKS. `recording` must
// outlive the recording. While nothing is recorded a tick pays one null check.
void monitor_record(Monitor &monitor, MonitorRecording &recording, SessionWriter &writer);
// Stops feeding the writer, which its owner closes.
void monitor_stop_recording(Monitor &monitor);

// --- Calls -----------------------------------------------------------------
// The calls a front end shows: those the monitor follows live, or for an
// opened session those of its file (finished). Their time 0 is the wall
// clock monitor_calls_origin_us gives (the session's start for a session).
const CallWatch *monitor_calls(const Monitor &monitor);
int64_t monitor_calls_origin_us(const Monitor &monitor);
// The calls' time now (the live watch's clock), for a running call's length.
int64_t monitor_calls_now_us(const Monitor &monitor);
// Each call the live watch follows goes to `sink` as it ends (the console's
// --calls file); monitor_finish_calls hands it those still running.
void monitor_calls_to(Monitor &monitor, CallEndSink sink);
void monitor_finish_calls(Monitor &monitor);
// Follows the calls of both modems in `watch` (which must outlive it) in
// place of the monitor's own, timed from now. A null watch stops following.
void monitor_watch_calls(Monitor &monitor, CallWatch *watch);
// The driver memory of the monitor's source, as a call watch reads it
// (caller-ID texts).
DriverMemoryAccess monitor_memory_access(Monitor &monitor);

// --- Commands, selection, close -------------------------------------------
// Carries out a menu command on the visibility flags (the five children's,
// the Calls child's among them) and says what the window must do.
CommandEffect monitor_command(Monitor &monitor, int id);
// Whether a menu command can be chosen now: Record Session only in a live
// monitor that records nothing, Stop Recording only while it records, the
// replay's commands only in an opened session's monitor; the others always.
bool monitor_command_enabled(const Monitor &monitor, int id);

// The status line of modem 1 or 2 shown at a moment of the calls' time
// (microseconds since monitor_calls_origin_us): for a nonzero event code
// the line of that code's record within a tick of the moment, else (or
// when there is none) the newest line at or before it. An index into the
// modem's store; the store's count when it holds no such line, SIZE_MAX
// for a modem other than 1 or 2.
size_t monitor_line_at(const Monitor &monitor, int modem, int64_t time_us, int code = 0);

// The clipboard text of selected lines of modem 1 or 2's store, copied from
// the store itself: `indexes` ascending, 0 the oldest line held; an index
// the store does not hold is skipped. With a time format other than off,
// each line starts with its time in that format and a TAB, as the lists'
// time column shows it (the TAB stays when the time is unknown). Each line
// is followed by CR LF; the text always ends with a NUL inside the block.
// Returns the number of text bytes written.
size_t monitor_copy_lines(const Monitor &monitor, int modem, const size_t *indexes, size_t count,
                          char *block, size_t block_size, LineTimeFormat time = LINE_TIME_OFF);

// The close of the main window: both captures stopped (files closed,
// recording flag cleared), and no tick does anything afterwards. A status
// tick that a warning box held while the close came stops its drain when
// the box returns and stops the captures again, since records fetched
// under the box may have started one.
void monitor_close(Monitor &monitor);
