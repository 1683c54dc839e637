#include "calls/call_watch.h"

#include <string>
#include <utility>

#include "calls/call_export.h"

namespace {

// Adds a call; when the log is full, returns the oldest call, which gave way.
std::unique_ptr<Call> log_add(CallLog &log, std::unique_ptr<Call> call) {
    if (log.count < log.capacity) {
        if (log.calls.size() < log.capacity) {
            log.calls.push_back(std::move(call));
        } else {
            log.calls[(log.first + log.count) % log.capacity] = std::move(call);
        }
        ++log.count;
        return nullptr;
    }
    std::unique_ptr<Call> oldest = std::move(log.calls[log.first]);
    log.calls[log.first] = std::move(call);
    log.first = (log.first + 1) % log.capacity;
    ++log.dropped;
    return oldest;
}

void hand_out(CallWatch &watch, CallTracker &tracker, std::unique_ptr<Call> call) {
    if (watch.sink.call_ended != nullptr) watch.sink.call_ended(watch.sink.context, *call);
    std::unique_ptr<Call> oldest = log_add(watch.log, std::move(call));
    if (oldest && !tracker.spare) tracker.spare = std::move(oldest);
}

// The newest call of a modem in the log, for notes about records that came after it.
Call *last_call_of(CallLog &log, int modem) {
    for (size_t i = log.count; i-- > 0;) {
        Call &call = *log.calls[(log.first + i) % log.capacity];
        if (call.modem == modem) return &call;
    }
    return nullptr;
}

}  // namespace

void call_watch_init(CallWatch &watch, DriverMemoryAccess memory, size_t capacity, CallEndSink sink) {
    for (int m = 0; m < 2; ++m) call_tracker_init(watch.tracker[m], m + 1, memory);
    watch.open[0] = watch.open[1] = watch.open[2] = nullptr;
    watch.log = CallLog{};
    watch.log.capacity = capacity != 0 ? capacity : CALL_LOG_DEFAULT_CAPACITY;
    watch.sink = sink;
}

void call_watch_record_other(CallWatch &watch, CallTracker &tracker, const StatusRecord &record, int64_t time_us,
                             int64_t wall_us) {
    std::unique_ptr<Call> ended;
    const unsigned result = call_tracker_feed_other(tracker, record, time_us, wall_us, &ended);
    watch.open[tracker.modem] = call_tracker_open_call(tracker);
    if (result & FEED_ENDED) hand_out(watch, tracker, std::move(ended));
    if (result & (FEED_STRAY | FEED_AFTER_CLEARDOWN)) {
        Call *last = last_call_of(watch.log, static_cast<int>(record.modem));
        const AnomalyKind kind = result & FEED_STRAY ? ANOMALY_RECORD_WHILE_IDLE : ANOMALY_RECORD_AFTER_CLEARDOWN;
        if (last != nullptr) call_add_anomaly(*last, kind, time_us, record.code, record.param1);
    }
}

void call_watch_eye_tick(CallWatch &watch, int modem, const EyeXY *points, size_t count, int64_t time_us) {
    if (modem != 1 && modem != 2) return;
    call_tracker_eye_tick(watch.tracker[modem - 1], points, count, time_us);
}

void call_watch_presence(CallWatch &watch, int active, int64_t time_us, int64_t wall_us) {
    for (int m = 1; m <= 2; ++m) {
        if (active >= m) continue;
        std::unique_ptr<Call> ended;
        if (call_tracker_idle(watch.tracker[m - 1], time_us, wall_us, &ended))
            hand_out(watch, watch.tracker[m - 1], std::move(ended));
        watch.open[m] = nullptr;
    }
}

void call_watch_finish(CallWatch &watch) {
    for (CallTracker &tracker : watch.tracker) {
        std::unique_ptr<Call> running;
        if (call_tracker_finish(tracker, &running)) hand_out(watch, tracker, std::move(running));
        watch.open[tracker.modem] = nullptr;
    }
}

const Call *call_watch_running(const CallWatch &watch, int modem) {
    if (modem != 1 && modem != 2) return nullptr;
    const CallTracker &tracker = watch.tracker[modem - 1];
    return tracker.call.get();
}

size_t call_log_size(const CallLog &log) { return log.count; }

const Call &call_log_at(const CallLog &log, size_t index) {
    return *log.calls[(log.first + index) % log.capacity];
}

bool call_write_json_line(FILE *file, const Call &call) {
    std::string line;
    call_json(call, false, line);
    line += '\n';
    if (fwrite(line.data(), 1, line.size(), file) != line.size()) return false;
    return fflush(file) == 0;
}

void call_json_line_sink(void *file, const Call &call) {
    call_write_json_line(static_cast<FILE *>(file), call);
}
