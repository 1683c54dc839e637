// Recording a window's session: the writer opened and tapped, checked once
// a tick, closed.
#include "monitor/session_recording.h"

#include <cstdio>
#include <cstring>

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
