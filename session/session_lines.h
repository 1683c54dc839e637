// The lines of a trace, as tarvel-decode prints them and a monitor opening a
// session shows them: each record decoded against the driver memory that
// the trace has defined up to it. In a session (a trace opened by a session
// directive) a record's line is the one the monitor showed: its shown text
// where the session gives one, nothing for a modem above 2, else the
// decoder's line. In any other trace every record gets the decoder's line.
#pragma once

#include <vector>

#include "decoder/driver_memory.h"
#include "decoder/status.h"
#include "trace/trace.h"

// Called for each record in trace order; line is "" for a record that
// yields no line. Returns false to stop.
using TraceLineSink = bool (*)(void *context, const TraceDirective &record, const char *line);

// Each record is decoded against the driver memory that the trace has
// defined up to it.
void trace_lines(const std::vector<TraceDirective> &trace, TraceLineSink sink, void *context);

bool is_session(const std::vector<TraceDirective> &trace);

// The line of one record (TRACE_REC) as trace_lines gives it, decoded
// against `memory`; "" for none. `session`: the trace is a session.
void trace_record_line(const TraceDirective &record, bool session, const DriverMemory &memory, StatusLine &line);
