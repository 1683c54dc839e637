// Recording a window's session: the writer opened and tapped, checked once
// a tick, closed.
#include "monitor/session_recording.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "monitor/monitor_internal.h"
#include "monitor/session_open.h"
#include "monitor/window_tables.h"

bool session_recording_start(Monitor &monitor, WindowRecording &recording, const char *path,
                             uint32_t eye_every) {
    SessionOptions options;
    options.program = "LineWatch " TARVEL_VERSION;
    options.eye_every = eye_every;
    if (!recording.writer.open(path, monitor.clock(), options)) {
        return false;
    }
    monitor_record(monitor, recording.tap, recording.writer);
    return true;
}

bool session_recording_failed(Monitor &monitor, WindowRecording &recording) {
    if (monitor.recording != &recording.tap || !recording.writer.failed()) {
        return false;
    }
    monitor_stop_recording(monitor);
    recording.writer.close();
    return true;
}

bool session_recording_stop(Monitor &monitor, WindowRecording &recording) {
    if (monitor.recording == &recording.tap) {
        monitor_stop_recording(monitor);
    }
    return recording.writer.close();
}

// The last part of a path, after its last folder separator of either platform.
static const char *file_part(const char *path) {
    const char *name = path;
    for (const char *p = path; *p != '\0'; ++p) {
        if (*p == '/' || *p == '\\' || *p == ':') {
            name = p + 1;
        }
    }
    return name;
}

void session_size_text(uint64_t bytes, char *text, size_t size) {
    if (bytes < 1000) {
        std::snprintf(text, size, "%llu bytes", static_cast<unsigned long long>(bytes));
    } else if (bytes < 1000000) {
        std::snprintf(text, size, "%.1f KB", static_cast<double>(bytes) / 1e3);
    } else {
        std::snprintf(text, size, "%.1f MB", static_cast<double>(bytes) / 1e6);
    }
}

void session_recording_caption(const WindowRecording &recording, char *text, size_t size) {
    if (size == 0) {
        return;
    }
    char bytes[32];
    session_size_text(recording.writer.file_bytes(), bytes, sizeof bytes);
    const int64_t us = recording.writer.recorded_us();
    const long long seconds = us > 0 ? us / 1000000 : 0;
    std::snprintf(text, size, "%s - recording %s (%s, %lld:%02lld:%02lld)", MAIN_CAPTION,
                  file_part(recording.writer.path()), bytes, seconds / 3600, seconds / 60 % 60, seconds % 60);
}

bool session_file_name(const char *chosen, bool compressed, char *text, size_t size) {
    if (size == 0) {
        return false;
    }
    const char *added = std::strchr(file_part(chosen), '.') != nullptr ? "" : compressed ? ".trace.gz" : ".trace";
    const size_t length = std::strlen(chosen) + std::strlen(added);
    if (chosen[0] == '\0' || length >= size) {
        text[0] = '\0';
        return false;
    }
    std::snprintf(text, size, "%s%s", chosen, added);
    return true;
}

// --- The monitor's own recording ---------------------------------------------

static void tell(Monitor &monitor, RecordingChange change) {
    if (monitor.events.recording_changed != nullptr) {
        monitor.events.recording_changed(monitor.events.context, change);
    }
}

void monitor_forget_recording(Monitor &monitor) {
    delete monitor.recorder;
    monitor.recorder = nullptr;
}

bool monitor_recording(const Monitor &monitor) {
    return monitor.recorder != nullptr && monitor.recording == &monitor.recorder->tap;
}

bool monitor_record_start(Monitor &monitor, const char *path, uint32_t eye_every) {
    if (monitor.session != nullptr || monitor.recording != nullptr || monitor.closed) {
        return false;
    }
    monitor_forget_recording(monitor);
    monitor.recorder = new (std::nothrow) WindowRecording;
    if (monitor.recorder == nullptr) {
        return false;
    }
    if (!session_recording_start(monitor, *monitor.recorder, path, eye_every)) {
        monitor.recorder->writer.close();
        return false;
    }
    monitor.main_ticks = 0;
    tell(monitor, RECORDING_STARTED);
    return true;
}

bool monitor_record_stop(Monitor &monitor) {
    if (!monitor_recording(monitor)) {
        return true;
    }
    const bool complete = session_recording_stop(monitor, *monitor.recorder);
    tell(monitor, complete ? RECORDING_STOPPED : RECORDING_INCOMPLETE);
    return complete;
}

const char *monitor_recording_error(const Monitor &monitor) {
    if (monitor.recorder == nullptr) {
        return monitor.session != nullptr ? "an opened session is not recorded" : "";
    }
    return monitor.recorder->writer.error();
}

void monitor_recording_tick(Monitor &monitor) {
    if (!monitor_recording(monitor)) {
        return;
    }
    if (session_recording_failed(monitor, *monitor.recorder)) {
        tell(monitor, RECORDING_FAILED);
        return;
    }
    if (++monitor.main_ticks >= RECORDING_PROGRESS_TICKS) {
        monitor.main_ticks = 0;
        tell(monitor, RECORDING_PROGRESS);
    }
}

void monitor_caption(const Monitor &monitor, char *text, size_t size) {
    if (monitor_recording(monitor)) {
        session_recording_caption(*monitor.recorder, text, size);
    } else {
        session_caption(monitor.session != nullptr ? monitor.session->path.c_str() : nullptr, text, size);
    }
}

void monitor_recording_status(const Monitor &monitor, char *text, size_t size) {
    if (size == 0) {
        return;
    }
    text[0] = '\0';
    if (!monitor_recording(monitor)) {
        return;
    }
    const SessionWriter &writer = monitor.recorder->writer;
    char bytes[32];
    session_size_text(writer.file_bytes(), bytes, sizeof bytes);
    const int64_t us = writer.recorded_us();
    const long long seconds = us > 0 ? us / 1000000 : 0;
    std::snprintf(text, size, "Recording %s  %s  %lld:%02lld:%02lld", file_part(writer.path()), bytes,
                  seconds / 3600, seconds / 60 % 60, seconds % 60);
}
