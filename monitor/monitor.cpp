// The monitor's state, start-up, ticks, commands and close.
#include "monitor/monitor.h"

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <new>

#include "calls/call_watch.h"
#include "capture/intake.h"
#include "monitor/clipboard_text.h"
#include "monitor/eye.h"
#include "monitor/monitor_internal.h"
#include "monitor/session_open.h"
#include "monitor/session_recording.h"
#include "session/session_writer.h"

int64_t monitor_wall_clock() {
    using namespace std::chrono;
    return duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
}

static void reset_state(Monitor &monitor) {
    for (int i = 0; i < 2; ++i) {
        MonitorBuffers &buffers = *monitor.buffers;
        line_store_init(&monitor.stores[i], buffers.text[i], buffers.bounds.text_bytes, buffers.offsets[i],
                        buffers.times[i], buffers.bounds.lines, buffers.codes[i]);
    }
    monitor.warning_open = 0;
    monitor.warnings_discarded = 0;
    reset_visibility(monitor.visible);
    activity_reset(monitor.activity);
    monitor.closed = false;
}

MonitorBuffers::~MonitorBuffers() {
    for (int i = 0; i < 2; ++i) {
        std::free(text[i]);
        std::free(offsets[i]);
        std::free(times[i]);
        std::free(codes[i]);
    }
}

Monitor *monitor_new_over(DriverSource &source, MonitorBuffers *buffers, bool follow_calls) {
    Monitor *monitor = new (std::nothrow) Monitor{};
    if (monitor == nullptr) {
        delete buffers;
        return nullptr;
    }
    monitor->buffers = buffers;
    monitor->clock = monitor_wall_clock;
    monitor->recording = nullptr;
    monitor->calls = nullptr;
    monitor->calls_since = 0;
    monitor->events = MonitorEvents{};
    monitor->session = nullptr;
    monitor->recorder = nullptr;
    monitor->main_ticks = 0;
    monitor->calls_seen = 0;
    driver_link_init(monitor->link, &source, MONITOR_KEY);
    capture_set_init(monitor->captures, monitor->link);
    reset_state(*monitor);
    if (follow_calls) {
        buffers->calls.reset(new (std::nothrow) CallWatch);
        if (buffers->calls == nullptr) {
            monitor_delete(monitor);
            return nullptr;
        }
        call_watch_init(*buffers->calls, monitor_memory_access(*monitor), 0, {nullptr, nullptr});
        monitor_watch_calls(*monitor, buffers->calls.get());
    }
    return monitor;
}

Monitor *monitor_new(DriverSource &source, const StoreBounds &bounds) {
    MonitorBuffers *buffers = new (std::nothrow) MonitorBuffers;
    if (buffers == nullptr) {
        return nullptr;
    }
    buffers->bounds = bounds;
    for (int i = 0; i < 2; ++i) {
        // Left uninitialised: the store writes before it reads, and untouched
        // pages of a big session store cost no memory.
        buffers->text[i] = static_cast<char *>(std::malloc(bounds.text_bytes));
        buffers->offsets[i] = static_cast<uint32_t *>(std::malloc(bounds.lines * sizeof(uint32_t)));
        buffers->times[i] = static_cast<int64_t *>(std::malloc(bounds.lines * sizeof(int64_t)));
        buffers->codes[i] = static_cast<uint32_t *>(std::malloc(bounds.lines * sizeof(uint32_t)));
        if (buffers->text[i] == nullptr || buffers->offsets[i] == nullptr || buffers->times[i] == nullptr ||
            buffers->codes[i] == nullptr) {
            delete buffers;
            return nullptr;
        }
    }
    return monitor_new_over(source, buffers, true);
}

void monitor_delete(Monitor *monitor) {
    if (monitor == nullptr) {
        return;
    }
    monitor_close(*monitor);
    monitor_record_stop(*monitor);
    monitor_forget_recording(*monitor);
    driver_link_close(monitor->link);
    delete monitor->buffers;
    delete monitor;
}

void monitor_set_events(Monitor &monitor, const MonitorEvents &events) { monitor.events = events; }

void monitor_set_clock(Monitor &monitor, int64_t (*clock)()) {
    monitor.clock = clock;
    monitor.calls_since = clock();
}

bool monitor_start(Monitor &monitor, const char *device_argument) {
    reset_captures(monitor.captures);
    reset_state(monitor);
    monitor.link.program_key = MONITOR_KEY;
    return choose_device_name(monitor.link, monitor.link.source->nt_family(), device_argument);
}

void monitor_add_line(Monitor &monitor, int modem, const char *line) {
    if (modem == 1 || modem == 2) {
        line_store_add(&monitor.stores[modem - 1], line, monitor.clock());
    }
}

void monitor_main_tick(Monitor &monitor) {
    if (monitor.closed) {
        return;
    }
    if (MonitorRecording *recording = monitor.recording) {
        const int64_t now = monitor.clock();
        recording->writer->begin_tick(now);
        recording->writer->flush_if_due(now);
        recording->status_ticks = 0;
    }
    drain_captures(monitor.captures);
    monitor_recording_tick(monitor);
}

void monitor_record(Monitor &monitor, MonitorRecording &recording, SessionWriter &writer) {
    // The log passes each read on to the reader of the link's driver.
    memory_read_log_init(recording.reads, driver_source_memory(*monitor.link.source));
    recording.writer = &writer;
    recording.status_ticks = 0;
    monitor.captures.memory_tap = logging_memory(recording.reads);
    monitor.recording = &recording;
}

void monitor_stop_recording(Monitor &monitor) {
    monitor.captures.memory_tap = NO_DRIVER_MEMORY;
    monitor.recording = nullptr;
}

// next_status_line, and the record it fetched written to the session with
// the memory its decoding read and the line shown when that is not the
// decoder's own.
static int next_recorded_line(Monitor &monitor, MonitorRecording &recording, int fetching_modem,
                              StatusLine &line, StatusRecord &record, int64_t *stamp) {
    bool delivered = false;
    memory_read_log_clear(recording.reads);
    const int modem = next_status_line(monitor.captures, line, &record, &delivered);
    if (delivered) {
        const bool own_line = line_is_intakes(record_kind(record));
        recording.writer->record(fetching_modem, record, &recording.reads, own_line ? line : nullptr);
        if (monitor.calls != nullptr) {
            const int64_t now = monitor.clock();
            call_watch_record(*monitor.calls, record, now - monitor.calls_since, now);
            *stamp = now;
        }
    }
    return modem;
}

void monitor_watch_calls(Monitor &monitor, CallWatch *watch) {
    monitor.calls = watch;
    monitor.calls_since = monitor.clock();
}

DriverMemoryAccess monitor_memory_access(Monitor &monitor) { return driver_source_memory(*monitor.link.source); }

// The next line, and the record behind it handed to the call watch. The
// time the watch gets is also the line's (*stamp): one clock read a record.
static int next_followed_line(Monitor &monitor, StatusLine &line, StatusRecord &record, int64_t *stamp) {
    bool delivered = false;
    const int modem = next_status_line(monitor.captures, line, &record, &delivered);
    if (delivered) {
        const int64_t now = monitor.clock();
        call_watch_record(*monitor.calls, record, now - monitor.calls_since, now);
        *stamp = now;
    }
    return modem;
}

// Microseconds on a steady clock, for the drain's budget.
static int64_t steady_microseconds() {
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

// Tells calls_changed when a call began or ended since the last look.
static void note_calls(Monitor &monitor, const MonitorEvents &events) {
    if (monitor.calls == nullptr || events.calls_changed == nullptr) {
        return;
    }
    const CallWatch &watch = *monitor.calls;
    const uint64_t ended = watch.log.count + watch.log.dropped;
    const uint64_t seen = ended * 4 + (watch.open[1] != nullptr ? 2 : 0) + (watch.open[2] != nullptr ? 1 : 0);
    if (seen != monitor.calls_seen) {
        monitor.calls_seen = seen;
        events.calls_changed(events.context);
    }
}

uint64_t monitor_status_tick(Monitor &monitor, int64_t budget_us) {
    if (monitor.closed) {
        return 0;
    }
    // The events as they stand when the tick starts: a tick re-entered
    // under a warning box, or an event changing them, leaves this one's.
    const MonitorEvents events = monitor.events;
    MonitorRecording *const recording = monitor.recording;
    const int fetching_modem = recording != nullptr ? (++recording->status_ticks == 1 ? 1 : 2) : 0;
    const int present = modem_presence(monitor.link);
    activity_note(monitor.activity, present, monitor.clock());
    if (recording != nullptr) {
        recording->writer->active(static_cast<uint32_t>(present));
    }
    if (monitor.calls != nullptr) {
        const int64_t now = monitor.clock();
        call_watch_presence(*monitor.calls, present, now - monitor.calls_since, now);
    }
    const int64_t deadline = budget_us > 0 ? steady_microseconds() + budget_us : 0;
    uint64_t lines = 0;
    StatusLine line;
    // Presence before every record, from a registry read at most a
    // millisecond old: a burst costs one read a millisecond, not one a record.
    for (;;) {
        const int count = modem_presence_recent(monitor.link, PRESENCE_REUSE_US);
        if (recording != nullptr) {
            recording->writer->active(static_cast<uint32_t>(count));
        }
        if (count == 0) {
            break;
        }
        // The clock is asked before every record: far cheaper than a record,
        // and a slow driver cannot overrun the budget by more than one call.
        if (deadline != 0 && lines != 0 && steady_microseconds() >= deadline) {
            break;
        }
        int64_t stamp = INT64_MIN;  // the clock as read for the call watch, if it was
        StatusRecord record{};      // the record behind the line, whose code the store keeps
        const int modem = recording != nullptr ? next_recorded_line(monitor, *recording, fetching_modem, line, record, &stamp)
                          : monitor.calls != nullptr ? next_followed_line(monitor, line, record, &stamp)
                                                     : next_status_line(monitor.captures, line, &record);
        if (modem == -1) {
            break;
        }
        ++lines;
        if (modem == 1 || modem == 2) {
            line_store_add(&monitor.stores[modem - 1], line, stamp != INT64_MIN ? stamp : monitor.clock(), record.code);
            if (events.line_added != nullptr) {
                events.line_added(events.context, modem, line);
            }
        } else if (monitor.warning_open == 0 && events.show_warning != nullptr) {
            monitor.warning_open = 1;
            note_calls(monitor, events);
            events.show_warning(events.context, line);
            monitor.warning_open = 0;
            if (monitor.closed) {
                // Closed while the box held this drain: the records fetched
                // after the close may have started a capture again.
                set_capture(monitor.captures, false, 1);
                set_capture(monitor.captures, false, 2);
                break;
            }
        } else {
            ++monitor.warnings_discarded;
        }
    }
    note_calls(monitor, events);
    return lines;
}

int monitor_eye_tick(Monitor &monitor, int modem, EyePoint points[EYE_POINTS_WANTED]) {
    if (monitor.closed) {
        return -1;
    }
    const int count = eye_fetch(monitor.link, modem, points);
    if (monitor.recording != nullptr && count > 0) {
        monitor.recording->writer->eye(modem, points, static_cast<size_t>(count));
    }
    if (monitor.calls != nullptr && count > 0) {
        static_assert(sizeof(EyeXY) == sizeof(EyePoint), "one layout of a point");
        call_watch_eye_tick(*monitor.calls, modem, reinterpret_cast<const EyeXY *>(points),
                            static_cast<size_t>(count), monitor.clock() - monitor.calls_since);
    }
    return count;
}

void monitor_round(Monitor &monitor, int64_t budget_us, EyePoint (*eyes)[EYE_POINTS_WANTED], int *eye_counts) {
    EyePoint points[EYE_POINTS_WANTED];
    for (MonitorTick tick : MONITOR_TICKS) {
        switch (tick) {
        case TICK_MAIN:
            monitor_main_tick(monitor);
            break;
        case TICK_STATUS_1:
        case TICK_STATUS_2:
            monitor_status_tick(monitor, budget_us);
            break;
        case TICK_EYE_1:
        case TICK_EYE_2: {
            const int modem = tick == TICK_EYE_1 ? 1 : 2;
            EyePoint *into = eyes != nullptr ? eyes[modem - 1] : points;
            const int count = monitor_eye_tick(monitor, modem, into);
            if (eye_counts != nullptr && count >= 0) {
                eye_counts[modem - 1] = count;
            }
            break;
        }
        }
    }
}

CommandEffect monitor_command(Monitor &monitor, int id) { return menu_command(monitor.visible, id); }

bool monitor_command_enabled(const Monitor &monitor, int id) {
    switch (id) {
    case IDM_RECORD_SESSION:
        // One recording at a time, and only of a live monitor.
        return monitor.session == nullptr && !monitor.closed && !monitor_recording(monitor);
    case IDM_STOP_RECORDING:
        return monitor_recording(monitor);
    case IDM_PLAY:
    case IDM_PAUSE:
    case IDM_STEP:
    case IDM_SPEED_FIRST:
    case IDM_SPEED_FIRST + 1:
    case IDM_SPEED_FIRST + 2:
        // Only an opened session replays.
        return monitor.session != nullptr;
    default:
        return menu_row(id) != nullptr;
    }
}

const CallWatch *monitor_calls(const Monitor &monitor) {
    return monitor.session != nullptr ? monitor.session->calls.get() : monitor.calls;
}

int64_t monitor_calls_origin_us(const Monitor &monitor) {
    return monitor.session != nullptr ? monitor.session->start_us : monitor.calls_since;
}

int64_t monitor_calls_now_us(const Monitor &monitor) { return monitor.clock() - monitor.calls_since; }

void monitor_calls_to(Monitor &monitor, CallEndSink sink) {
    if (monitor.buffers->calls != nullptr) {
        monitor.buffers->calls->sink = sink;
    }
}

void monitor_finish_calls(Monitor &monitor) {
    if (CallWatch *watch = monitor.buffers->calls.get()) {
        if (monitor.calls == watch) {
            monitor_watch_calls(monitor, nullptr);
        }
        call_watch_finish(*watch);
    }
}

size_t monitor_line_at(const Monitor &monitor, int modem, int64_t time_us, int code) {
    if (modem != 1 && modem != 2) {
        return SIZE_MAX;
    }
    const LineStore &store = monitor.stores[modem - 1];
    const int64_t at = monitor_calls_origin_us(monitor) + time_us;
    size_t line = store.count;
    if (code != 0) {
        line = line_store_find_code_near(store, at, TIMER_PERIOD_MS * 1000, static_cast<uint32_t>(code));
    }
    return line < store.count ? line : line_store_find_time(store, at);
}

// The lines a copy takes from a store, with their time in `format`.
struct CopiedLines {
    const Monitor *monitor;
    int modem;
    LineTimeFormat format;
    // The line with its time: each is taken before the next is asked for.
    mutable char text[STATUS_LINE_BYTES + LINE_TIME_TEXT_BYTES];
};

// Line `index` of the store, null for an index it does not hold.
static const char *copied_line(const void *context, size_t index) {
    const CopiedLines &lines = *static_cast<const CopiedLines *>(context);
    const LineStore &store = lines.monitor->stores[lines.modem - 1];
    if (index >= store.count) {
        return nullptr;
    }
    const char *line = line_store_text(store, index);
    if (lines.format == LINE_TIME_OFF) {
        return line;
    }
    char time[LINE_TIME_TEXT_BYTES];
    store_line_time(store, index, lines.monitor->activity, lines.modem, lines.format, time);
    line_with_time(time, line, lines.text, sizeof lines.text);
    return lines.text;
}

size_t monitor_copy_lines(const Monitor &monitor, int modem, const size_t *indexes, size_t count,
                          char *block, size_t block_size, LineTimeFormat time) {
    if (modem != 1 && modem != 2) {
        count = 0;
    }
    CopiedLines lines{&monitor, modem, time, {}};
    return clipboard_text(copied_line, &lines, indexes, count, block, block_size);
}

void monitor_close(Monitor &monitor) {
    if (monitor.closed) {
        return;
    }
    monitor.closed = true;
    set_capture(monitor.captures, false, 1);
    set_capture(monitor.captures, false, 2);
}
