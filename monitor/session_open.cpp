// Opening a session: one pass over the trace for the lines and their times.
#include "monitor/session_open.h"

#include <algorithm>

#include "session/session_lines.h"

namespace {

struct IndexWalk {
    OpenedSession *session;
};

// Each record's line goes to the list of its modem, as the live monitor
// routed it; modem 0's lines are driver-internal errors.
bool index_line(void *context, const TraceDirective &record, const char *line) {
    OpenedSession &session = *static_cast<IndexWalk *>(context)->session;
    ++session.records;
    if (line[0] == '\0') return true;
    const uint32_t modem = record.record.modem;
    if (modem == 1 || modem == 2) {
        session.line_record[modem - 1].push_back(static_cast<uint32_t>(&record - session.trace.data()));
        session.text_bytes[modem - 1] += std::char_traits<char>::length(line) + 1;
    } else if (modem == 0) {
        ++session.internal_errors;
    }
    return true;
}

struct ShowWalk {
    Monitor *monitor;
    const OpenedSession *session;
};

bool show_line(void *context, const TraceDirective &record, const char *line) {
    const ShowWalk &walk = *static_cast<ShowWalk *>(context);
    const uint32_t modem = record.record.modem;
    if (line[0] == '\0' || (modem != 1 && modem != 2)) return true;
    const size_t index = static_cast<size_t>(&record - walk.session->trace.data());
    line_store_add(&walk.monitor->stores[modem - 1], line, opened_session_time_us(*walk.session, index));
    return true;
}

}  // namespace

bool opened_session_read(const char *path, OpenedSession &session, std::string &error,
                         std::string &warning) {
    session = OpenedSession{};
    TraceReport report;
    const TraceReadResult result = read_trace_path(path, &session.trace, &report);
    warning = report.warning;
    if (result != TRACE_READ_OK) {
        error = report.error.empty() ? std::string(path) + ": cannot be read" : report.error;
        session = OpenedSession{};
        return false;
    }
    error.clear();
    session.path = path;
    if (is_session(session.trace)) {
        session.start_us = session.trace.front().time_ms * 1000;
    }
    session.time_ms.reserve(session.trace.size());
    int64_t now_ms = 0;
    for (size_t i = 0; i < session.trace.size(); ++i) {
        const TraceDirective &directive = session.trace[i];
        session.time_ms.push_back(now_ms);
        if (directive.op == TRACE_WAIT) {
            now_ms += directive.value;
        } else if (directive.op == TRACE_EYE && (directive.modem == 1 || directive.modem == 2)) {
            session.eye_directives[directive.modem - 1].push_back(static_cast<uint32_t>(i));
        }
    }
    IndexWalk walk{&session};
    trace_lines(session.trace, index_line, &walk);
    return true;
}

StoreBounds opened_session_bounds(const OpenedSession &session) {
    StoreBounds bounds = LIVE_STORE_BOUNDS;
    for (int m = 0; m < 2; ++m) {
        bounds.lines = std::max(bounds.lines, session.line_record[m].size());
        bounds.text_bytes = std::max(bounds.text_bytes, session.text_bytes[m]);
    }
    return bounds;
}

void monitor_show_session(Monitor &monitor, const OpenedSession &session) {
    for (LineStore &store : monitor.stores) {
        line_store_init(&store, store.text, store.text_size, store.offsets, store.times, store.capacity);
    }
    activity_reset(monitor.activity);
    for (size_t i = 0; i < session.trace.size(); ++i) {
        const TraceDirective &directive = session.trace[i];
        if (directive.op == TRACE_ACTIVE) {
            const int count = directive.value > 2 ? 2 : static_cast<int>(directive.value);
            activity_note(monitor.activity, count, opened_session_time_us(session, i));
        }
    }
    ShowWalk walk{&monitor, &session};
    trace_lines(session.trace, show_line, &walk);
}

int64_t opened_session_time_us(const OpenedSession &session, size_t trace_index) {
    if (session.time_ms.empty()) return session.start_us;
    const size_t i = std::min(trace_index, session.time_ms.size() - 1);
    return session.start_us + session.time_ms[i] * 1000;
}

size_t opened_session_line_record(const OpenedSession &session, int modem, uint64_t line_number) {
    if (modem != 1 && modem != 2) return SIZE_MAX;
    const std::vector<uint32_t> &records = session.line_record[modem - 1];
    return line_number < records.size() ? records[line_number] : SIZE_MAX;
}

const std::vector<EyePoint> *opened_session_eye_at(const OpenedSession &session, int modem,
                                                   size_t trace_index) {
    if (modem != 1 && modem != 2) return nullptr;
    const std::vector<uint32_t> &eyes = session.eye_directives[modem - 1];
    // The last eye directive at or before the index.
    auto after = std::upper_bound(eyes.begin(), eyes.end(), trace_index,
                                  [](size_t index, uint32_t eye) { return index < eye; });
    if (after == eyes.begin()) return nullptr;
    return &session.trace[*(after - 1)].points;
}

const std::vector<EyePoint> *opened_session_last_eye(const OpenedSession &session, int modem) {
    if ((modem != 1 && modem != 2) || session.eye_directives[modem - 1].empty()) return nullptr;
    return &session.trace[session.eye_directives[modem - 1].back()].points;
}
