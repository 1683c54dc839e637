#include "calls/trace_calls.h"

#include <algorithm>
#include <cstdint>
#include <memory>

#include "calls/call_watch.h"
#include "trace/sparse_memory.h"

namespace {

size_t read_memory(void *context, uint32_t address, unsigned char *dest, size_t count) {
    if (address == 0) return 0;
    return sparse_read(*static_cast<const SparseMemory *>(context), address, dest, count);
}

}  // namespace

void trace_calls_feed(CallWatch &watch, const TraceDirective &directive, int64_t time_us, int64_t start_wall_us) {
    const int64_t wall = start_wall_us < 0 ? int64_t(-1) : start_wall_us + time_us;
    switch (directive.op) {
    case TRACE_REC:
        call_watch_record(watch, directive.record, time_us, wall);
        break;
    case TRACE_ACTIVE:
        call_watch_presence(watch, directive.value > 2 ? 2 : static_cast<int>(directive.value), time_us, wall);
        break;
    case TRACE_EYE: {
        // The newest points of a directive that holds more than a tick's.
        EyeXY points[EYE_POINTS_MAX];
        const size_t n = directive.points.size();
        const size_t from = n > EYE_POINTS_MAX ? n - EYE_POINTS_MAX : 0;
        for (size_t i = from; i < n; ++i) points[i - from] = {directive.points[i].x, directive.points[i].y};
        call_watch_eye_tick(watch, directive.modem, points, n - from, time_us);
        break;
    }
    default:
        break;
    }
}

std::unique_ptr<CallWatch> trace_call_watch(const std::vector<TraceDirective> &trace, size_t capacity,
                                            int64_t start_wall_us) {
    SparseMemory memory;
    std::unique_ptr<CallWatch> watch(new CallWatch);
    call_watch_init(*watch, DriverMemoryAccess{read_memory, &memory}, capacity, {nullptr, nullptr});
    int64_t time_us = 0;
    // A session's own header gives the wall clock where the caller gave none.
    const bool header_clock = start_wall_us < 0;
    for (const TraceDirective &directive : trace) {
        switch (directive.op) {
        case TRACE_SESSION:
            if (header_clock && directive.time_ms >= 0 && directive.time_ms <= INT64_MAX / 1000 - time_us / 1000)
                start_wall_us = directive.time_ms * 1000 - time_us;
            break;
        case TRACE_MEM:
        case TRACE_STR:
            sparse_write(memory, directive.address, directive.bytes.data(), directive.bytes.size());
            break;
        case TRACE_UNREADABLE:
            // As the monitor met it: a caller-ID text there cannot be read.
            sparse_unmap(memory, directive.address, directive.value);
            break;
        case TRACE_WAIT:
            time_us += int64_t(directive.value) * 1000;
            break;
        default:
            trace_calls_feed(*watch, directive, time_us, start_wall_us);
            break;
        }
    }
    call_watch_finish(*watch);
    // The memory goes with this call; the finished trackers never read again.
    for (CallTracker &tracker : watch->tracker) tracker.memory = DriverMemoryAccess{nullptr, nullptr};
    return watch;
}

void trace_calls(const std::vector<TraceDirective> &trace, std::vector<Call> &calls, int64_t start_wall_us) {
    std::unique_ptr<CallWatch> watch = trace_call_watch(trace, TRACE_CALLS_MAX, start_wall_us);
    // The calls move out of the finished watch: no second copy of each.
    CallLog &log = watch->log;
    calls.reserve(calls.size() + log.count);
    for (size_t i = 0; i < log.count; ++i) {
        std::unique_ptr<Call> &call = log.calls[(log.first + i) % log.capacity];
        calls.push_back(std::move(*call));
        call.reset();
        // The lists were given room for a usual call; a kept call holds what it has.
        Call &kept = calls.back();
        for (std::vector<SeriesPoint> &points : kept.series_points) points.shrink_to_fit();
        kept.projected.shrink_to_fit();
        kept.events.shrink_to_fit();
        kept.eyes.shrink_to_fit();
        kept.anomalies.shrink_to_fit();
    }
    log.count = 0;
    std::stable_sort(calls.begin(), calls.end(), [](const Call &a, const Call &b) {
        if (a.start_us != b.start_us) return a.start_us < b.start_us;
        return a.modem < b.modem;
    });
}
