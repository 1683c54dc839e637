// A session recorded from a monitor: the writer and the monitor's tap over
// it, owned together, with what a window shows about it. A window starts it
// from its File menu, the console from --record; each looks at it once a
// tick (a write error stops it, monitoring goes on) and stops it at the end.
#pragma once

#include <cstddef>
#include <cstdint>

#include "monitor/monitor.h"
#include "session/session_writer.h"

struct WindowRecording {
    SessionWriter writer;
    MonitorRecording tap;
};

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
