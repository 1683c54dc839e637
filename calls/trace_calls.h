// The calls of a trace: its records followed through the call tracker, as
// the offline decoder prints them and as tests check them.
#pragma once

#include <memory>
#include <vector>

#include "calls/call.h"
#include "calls/call_watch.h"
#include "trace/trace.h"

// The most calls kept of one trace: far beyond any session, and a bound on memory.
constexpr size_t TRACE_CALLS_MAX = 1000000;

// Follows the trace's records through a call watch: time is the sum of its
// waits, each eye directive one tick of its modem (its newest 512 points),
// each active directive a count of active modems; the records read the
// driver memory that the trace's mem and str directives wrote up to them.
// The wall clock is start_wall_us plus that time; when start_wall_us is
// negative, the time of the trace's session header plus that time, or
// unknown for a trace without one. A call
// still running at the end is kept as not ended. The calls come out in
// order of start, modem 1 first at the same moment.
void trace_calls(const std::vector<TraceDirective> &trace, std::vector<Call> &calls, int64_t start_wall_us = -1);

// One directive of a trace fed to a call watch as trace_call_watch feeds
// it: a record, a count of active modems or a tick's eye points, at
// `time_us` since the trace's start (the sum of the waits before it). The
// driver memory the watch reads is the caller's, written up to the
// directive. Other directives are ignored.
void trace_calls_feed(CallWatch &watch, const TraceDirective &directive, int64_t time_us, int64_t start_wall_us);

// The same calls in a call watch, as a window shows those of an opened
// session: the watch keeps up to `capacity` calls (0: the watch's default),
// in order of their end, and is finished (its trackers read no more memory;
// feed it nothing more).
std::unique_ptr<CallWatch> trace_call_watch(const std::vector<TraceDirective> &trace, size_t capacity,
                                            int64_t start_wall_us = -1);
