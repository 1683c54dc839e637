// A session recorded from a monitor: the writer and the monitor's tap over
// it, owned together by the monitor, with what a window shows about it. A
// window starts it from its File menu, the console from --record. The
// monitor looks at it on every main tick (a write error stops it and
// closes the file, monitoring goes on), tells its figures once a second,
// and completes it when it is stopped, closed or deleted; each change goes
// to the recording_changed event.
#pragma once

#include <cstddef>
#include <cstdint>

#include "monitor/monitor.h"
#include "session/session_writer.h"

struct WindowRecording {
    SessionWriter writer;
    MonitorRecording tap;
};

// Starts recording into `path` (created or replaced; compressed when it
// ends in ".gz"): every record, the driver memory it read, ActiveModems and
// the eye points of one tick in eye_every (0 none). False, with
// monitor_recording_error saying why, when the monitor cannot record (an
// opened session, or a recording already running) or the file cannot be
// created; nothing is recorded then.
bool monitor_record_start(Monitor &monitor, const char *path, uint32_t eye_every = 1);
// Stops and closes the file (RECORDING_STOPPED, or RECORDING_INCOMPLETE
// when what was pending could not be written: false then). True when
// nothing was recorded.
bool monitor_record_stop(Monitor &monitor);
bool monitor_recording(const Monitor &monitor);
// Why the last recording could not start, failed or ended incomplete
// ("" when none did).
const char *monitor_recording_error(const Monitor &monitor);
// The main tick's look at the recording: a failed write stops it (the
// file closed with what reached it: RECORDING_FAILED); every
// RECORDING_PROGRESS_TICKS main ticks the figures move on.
constexpr unsigned RECORDING_PROGRESS_TICKS = 10;
void monitor_recording_tick(Monitor &monitor);
// What the windows show of the recording: the caption "Line Watch -
// recording NAME (SIZE, H:MM:SS)" (MAIN_CAPTION, or "Line Watch - NAME" for
// an opened session, while nothing is recorded), and the status bar's
// "Recording NAME  SIZE  H:MM:SS" ("" while nothing is recorded). Always
// NUL-terminated within `size`.
void monitor_caption(const Monitor &monitor, char *text, size_t size);
void monitor_recording_status(const Monitor &monitor, char *text, size_t size);

// The same over a recording the caller owns (the monitor's own functions
// above are built on these).
// Creates (or replaces) the file at `path` and feeds it from the monitor's
// ticks from now on: every record, the driver memory it read, ActiveModems
// and the eye points of every tick (or of one tick in eye_every, 0 none).
// False when the file cannot be created: writer.error() says why and the
// monitor is untouched.
bool session_recording_start(Monitor &monitor, WindowRecording &recording, const char *path,
                             uint32_t eye_every = 1);

// Once a tick: true when a write has failed since the start. The recording
// has then been stopped and its file closed (what reached it stays);
// writer.error() says why. Nothing else changes: the monitoring goes on.
bool session_recording_failed(Monitor &monitor, WindowRecording &recording);

// Stops feeding the file and closes it. False when what was pending could
// not be written: writer.error() says why.
bool session_recording_stop(Monitor &monitor, WindowRecording &recording);

// A session file's size as the windows show it: "812 bytes", "47.3 KB",
// "12.0 MB" (kilo and mega in thousands, as a file manager counts them).
void session_size_text(uint64_t bytes, char *text, size_t size);

// What a caption shows while recording: "Line Watch - recording NAME
// (SIZE, H:MM:SS)", the size as of the last flush ("812 bytes", "40.1 KB",
// "3.2 MB"). Always NUL-terminated within `size`.
void session_recording_caption(const WindowRecording &recording, char *text, size_t size);

// The name a save dialog's choice is recorded under: as chosen when it
// already has an extension (a dot after its last folder separator), else
// with ".trace.gz" added (compressed) or ".trace" (plain). False when the
// result does not fit `size` (then text is "").
bool session_file_name(const char *chosen, bool compressed, char *text, size_t size);
