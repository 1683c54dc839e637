// Opening a session: one walk of the file, every directive handled as it is
// read and then let go.
#include "monitor/session_open.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <new>
#include <system_error>

#include "calls/call_watch.h"
#include "calls/trace_calls.h"
#include "decoder/driver_memory.h"
#include "monitor/monitor_internal.h"
#include "session/session_lines.h"
#include "trace/sparse_memory.h"

GrowBuffer::GrowBuffer(GrowBuffer &&other) noexcept : data(other.data), capacity(other.capacity) {
    other.data = nullptr;
    other.capacity = 0;
}

GrowBuffer &GrowBuffer::operator=(GrowBuffer &&other) noexcept {
    if (this != &other) {
        std::free(data);
        data = other.data;
        capacity = other.capacity;
        other.data = nullptr;
        other.capacity = 0;
    }
    return *this;
}

GrowBuffer::~GrowBuffer() { std::free(data); }

void *GrowBuffer::release() {
    void *block = data;
    data = nullptr;
    capacity = 0;
    return block;
}

OpenedSession::OpenedSession() { activity_reset(activity); }
OpenedSession::OpenedSession(OpenedSession &&) noexcept = default;
OpenedSession &OpenedSession::operator=(OpenedSession &&) noexcept = default;
OpenedSession::~OpenedSession() = default;

namespace {

// Directives between two looks at the headroom, and between two progress calls.
constexpr uint64_t HEADROOM_EVERY = 1024;
constexpr uint64_t PROGRESS_EVERY = 65536;
// What the reader and the walk may need for the directives up to the next
// look: a line at its longest (and the string that holds it), its parsed
// bytes, and what the calls and eye moments of a thousand directives take.
constexpr size_t HEADROOM_BYTES = 3 * TRACE_LINE_MAX + (size_t(16) << 20);

// The first capacities: those of a live store, so that a replay in the
// session's own monitor keeps as many lines as a live list does. Pages
// never written cost no memory.
constexpr size_t FIRST_TEXT_BYTES = LINE_STORE_TEXT_BYTES;
constexpr size_t FIRST_LINES = LINE_STORE_LINES;

struct Walk {
    OpenedSession *session;
    const SessionOpenControl *control;
    SparseMemory memory;
    CallWatch *calls;
    uint64_t file_bytes;
    size_t taken;         // bytes the buffers hold, against the control's limit
    bool is_session;
    bool out_of_memory;
    bool cancelled;
    int64_t now_ms;
};

size_t read_walk_memory(void *context, uint32_t address, unsigned char *dest, size_t count) {
    if (address == 0) return 0;
    return sparse_read(*static_cast<const SparseMemory *>(context), address, dest, count);
}

// Makes room for `need` bytes in the buffer, doubling its capacity from
// `first`; false (the walk out of memory) when the system or the limit
// refuses.
bool reserve(Walk &walk, GrowBuffer &buffer, size_t need, size_t first) {
    if (need <= buffer.capacity) return true;
    size_t capacity = buffer.capacity == 0 ? first : buffer.capacity;
    while (capacity < need) {
        if (capacity > SIZE_MAX / 2) {
            walk.out_of_memory = true;
            return false;
        }
        capacity *= 2;
    }
    const size_t more = capacity - buffer.capacity;
    const size_t limit = walk.control->memory_limit;
    if (limit != 0 && (walk.taken > limit || more > limit - walk.taken)) {
        walk.out_of_memory = true;
        return false;
    }
    void *grown = std::realloc(buffer.data, capacity);
    if (grown == nullptr) {
        walk.out_of_memory = true;
        return false;
    }
    buffer.data = grown;
    buffer.capacity = capacity;
    walk.taken += more;
    return true;
}

// Counts bytes held outside the grow buffers against the limit.
bool take(Walk &walk, size_t bytes) {
    const size_t limit = walk.control->memory_limit;
    if (limit != 0 && (walk.taken > limit || bytes > limit - walk.taken)) {
        walk.out_of_memory = true;
        return false;
    }
    walk.taken += bytes;
    return true;
}

// True while the system can still give what the next directives may need.
bool headroom(Walk &walk) {
    void *probe = std::malloc(HEADROOM_BYTES);
    if (probe == nullptr) {
        walk.out_of_memory = true;
        return false;
    }
    std::free(probe);
    return true;
}

bool add_line(Walk &walk, int modem, uint32_t record, uint32_t code, const char *line) {
    SessionLines &lines = walk.session->lines[modem - 1];
    const size_t length = std::strlen(line) + 1;
    if (lines.text_bytes + length > UINT32_MAX) {  // the store's offsets are 32-bit
        walk.out_of_memory = true;
        return false;
    }
    const size_t n = lines.count;
    if (!reserve(walk, lines.text, lines.text_bytes + length, FIRST_TEXT_BYTES) ||
        !reserve(walk, lines.offsets, (n + 1) * sizeof(uint32_t), FIRST_LINES * sizeof(uint32_t)) ||
        !reserve(walk, lines.times, (n + 1) * sizeof(int64_t), FIRST_LINES * sizeof(int64_t)) ||
        !reserve(walk, lines.records, (n + 1) * sizeof(uint32_t), FIRST_LINES * sizeof(uint32_t)) ||
        !reserve(walk, lines.codes, (n + 1) * sizeof(uint32_t), FIRST_LINES * sizeof(uint32_t))) {
        return false;
    }
    std::memcpy(static_cast<char *>(lines.text.data) + lines.text_bytes, line, length);
    static_cast<uint32_t *>(lines.offsets.data)[n] = static_cast<uint32_t>(lines.text_bytes);
    static_cast<int64_t *>(lines.times.data)[n] = walk.session->start_us + walk.now_ms * 1000;
    static_cast<uint32_t *>(lines.records.data)[n] = record;
    static_cast<uint32_t *>(lines.codes.data)[n] = code;
    lines.text_bytes += length;
    lines.count = n + 1;
    return true;
}

bool add_other_line(Walk &walk, uint32_t modem, uint32_t record, const char *line) {
    OpenedSession &session = *walk.session;
    const size_t length = std::strlen(line) + 1;
    if (session.other_text.size() + length > UINT32_MAX || !take(walk, length + sizeof(OtherLine))) {
        walk.out_of_memory = true;
        return false;
    }
    session.other_lines.push_back({record, modem, static_cast<uint32_t>(session.other_text.size())});
    session.other_text.insert(session.other_text.end(), line, line + length);
    return true;
}

bool add_eye(Walk &walk, TraceDirective &directive, uint32_t index) {
    const int modem = directive.modem;
    if (modem != 1 && modem != 2) return true;
    std::vector<EyePoint> &points = directive.points;
    // The newest points of a directive that holds more than a tick's.
    if (points.size() > EYE_POINTS_WANTED) {
        points.erase(points.begin(), points.end() - EYE_POINTS_WANTED);
        points.shrink_to_fit();
    }
    if (!take(walk, points.capacity() * sizeof(EyePoint) + sizeof points + sizeof index)) return false;
    walk.session->eye_directives[modem - 1].push_back(index);
    walk.session->eyes[modem - 1].push_back(std::move(points));
    return true;
}

bool walk_directive(void *context, TraceDirective &directive, uint64_t input_bytes) {
    Walk &walk = *static_cast<Walk *>(context);
    OpenedSession &session = *walk.session;
    const SessionOpenControl &control = *walk.control;
    const uint64_t index = session.directives++;
    if (index >= UINT32_MAX) {  // trace indexes are 32-bit
        walk.out_of_memory = true;
        return false;
    }
    if (control.cancel != nullptr && control.cancel->load(std::memory_order_relaxed)) {
        walk.cancelled = true;
        return false;
    }
    if (index % HEADROOM_EVERY == 0 && !headroom(walk)) return false;
    if (index % PROGRESS_EVERY == 0 && control.progress != nullptr) {
        control.progress(control.context, input_bytes, walk.file_bytes);
    }
    const uint32_t at = static_cast<uint32_t>(index);
    const int64_t time_us = walk.now_ms * 1000;
    switch (directive.op) {
    case TRACE_SESSION:
        walk.is_session = true;
        session.start_us = directive.time_ms * 1000;
        return true;
    case TRACE_MEM:
    case TRACE_STR:
        // The trace reader refuses blocks that would run past 0xFFFFFFFF.
        sparse_write(walk.memory, directive.address, directive.bytes.data(), directive.bytes.size());
        return true;
    case TRACE_UNREADABLE:
        sparse_unmap(walk.memory, directive.address, directive.value);
        return true;
    case TRACE_WAIT:
        walk.now_ms += directive.value;
        return true;
    case TRACE_ACTIVE:
        activity_note(session.activity, directive.value > 2 ? 2 : static_cast<int>(directive.value),
                      session.start_us + time_us);
        break;
    case TRACE_EYE:
        // The calls see the tick before its points move into the session.
        trace_calls_feed(*walk.calls, directive, time_us, walk.is_session ? session.start_us : -1);
        return add_eye(walk, directive, at);
    case TRACE_REC: {
        ++session.records;
        StatusLine line;
        trace_record_line(directive, walk.is_session, DriverMemory{read_walk_memory, &walk.memory}, line);
        const uint32_t modem = directive.record.modem;
        if (line[0] != '\0') {
            if (modem == 1 || modem == 2) {
                if (!add_line(walk, static_cast<int>(modem), at, directive.record.code, line)) return false;
            } else {
                session.internal_errors += modem == 0 ? 1 : 0;
                if (!add_other_line(walk, modem, at, line)) return false;
            }
        }
        break;
    }
    default:
        return true;
    }
    trace_calls_feed(*walk.calls, directive, time_us, walk.is_session ? session.start_us : -1);
    return true;
}

uint64_t size_of_file(const char *path) {
    std::error_code error;
    const uintmax_t size = std::filesystem::file_size(path, error);
    return error ? 0 : static_cast<uint64_t>(size);
}

}  // namespace

static SessionOpenResult read_session(const char *path, OpenedSession &session, std::string &error,
                                      std::string &warning, const SessionOpenControl &control) {
    session = OpenedSession{};
    error.clear();
    warning.clear();
    Walk walk{};
    walk.session = &session;
    walk.control = &control;
    walk.file_bytes = size_of_file(path);
    session.calls.reset(new (std::nothrow) CallWatch);
    if (session.calls == nullptr) {
        error = std::string(path) + ": not enough memory to open the session";
        return SESSION_NO_MEMORY;
    }
    walk.calls = session.calls.get();
    call_watch_init(*walk.calls, DriverMemoryAccess{read_walk_memory, &walk.memory}, 0, {nullptr, nullptr});
    // The records decode against the file's own memory.
    TraceReport report;
    const TraceReadResult result = read_trace_path_each(path, walk_directive, &walk, &report);
    if (result == TRACE_READ_OK) {
        call_watch_finish(*walk.calls);
        // The memory goes with the walk; the finished trackers never read again.
        for (CallTracker &tracker : walk.calls->tracker) tracker.memory = DriverMemoryAccess{nullptr, nullptr};
        session.path = path;
        session.length_ms = walk.now_ms;
        warning = report.warning;
        if (control.progress != nullptr) control.progress(control.context, walk.file_bytes, walk.file_bytes);
        return SESSION_OPENED;
    }
    SessionOpenResult outcome = SESSION_UNREADABLE;
    if (walk.cancelled) {
        outcome = SESSION_CANCELLED;
        error = std::string(path) + ": opening cancelled";
    } else if (walk.out_of_memory) {
        outcome = SESSION_NO_MEMORY;
        error = std::string(path) + ": not enough memory to open the session";
    } else {
        error = report.error.empty() ? std::string(path) + ": cannot be read" : report.error;
    }
    session = OpenedSession{};
    return outcome;
}

bool opened_session_read(const char *path, OpenedSession &session, std::string &error, std::string &warning,
                         const SessionOpenControl &control, SessionOpenResult *result) {
    const SessionOpenResult outcome = read_session(path, session, error, warning, control);
    if (result != nullptr) *result = outcome;
    return outcome == SESSION_OPENED;
}

StoreBounds opened_session_bounds(const OpenedSession &session) {
    StoreBounds bounds = LIVE_STORE_BOUNDS;
    for (const SessionLines &lines : session.lines) {
        bounds.lines = std::max(bounds.lines, lines.count);
        bounds.text_bytes = std::max(bounds.text_bytes, lines.text_bytes);
    }
    return bounds;
}

void monitor_show_session(Monitor &monitor, const OpenedSession &session) {
    for (int m = 0; m < 2; ++m) {
        LineStore &store = monitor.stores[m];
        line_store_init(&store, store.text, store.text_size, store.offsets, store.times, store.capacity, store.codes);
        const SessionLines &lines = session.lines[m];
        const char *text = static_cast<const char *>(lines.text.data);
        for (size_t i = 0; i < lines.count; ++i) {
            line_store_add(&store, text + static_cast<const uint32_t *>(lines.offsets.data)[i],
                           static_cast<const int64_t *>(lines.times.data)[i],
                           static_cast<const uint32_t *>(lines.codes.data)[i]);
        }
    }
    std::memcpy(monitor.activity, session.activity, sizeof monitor.activity);
    // The calls shown and the moments of their time are the session's too,
    // so that a moment picks the line its own time names.
    monitor.session = &session;
    if (monitor.events.session_shown != nullptr) monitor.events.session_shown(monitor.events.context);
}

MonitorSession::~MonitorSession() { monitor_delete(monitor); }

SessionOpenResult monitor_open_session(const char *path, MonitorSession **out, std::string &error,
                                       const SessionOpenControl &control) {
    *out = nullptr;
    std::unique_ptr<MonitorSession> opened(new (std::nothrow) MonitorSession);
    if (opened == nullptr) {
        error = std::string(path) + ": not enough memory to open the session";
        return SESSION_NO_MEMORY;
    }
    const SessionOpenResult result = read_session(path, opened->session, error, opened->warning, control);
    if (result != SESSION_OPENED) return result;
    OpenedSession &session = opened->session;
    // The session's lines become the stores' own buffers, at least as big
    // as a live store's.
    const StoreBounds bounds = opened_session_bounds(session);
    MonitorBuffers *buffers = new (std::nothrow) MonitorBuffers;
    Walk sizing{};
    SessionOpenControl unlimited;
    sizing.control = &unlimited;
    bool room = buffers != nullptr;
    for (int m = 0; m < 2 && room; ++m) {
        SessionLines &lines = session.lines[m];
        room = reserve(sizing, lines.text, bounds.text_bytes, bounds.text_bytes) &&
               reserve(sizing, lines.offsets, bounds.lines * sizeof(uint32_t), bounds.lines * sizeof(uint32_t)) &&
               reserve(sizing, lines.times, bounds.lines * sizeof(int64_t), bounds.lines * sizeof(int64_t)) &&
               reserve(sizing, lines.codes, bounds.lines * sizeof(uint32_t), bounds.lines * sizeof(uint32_t));
    }
    if (!room) {
        delete buffers;
        error = std::string(path) + ": not enough memory to open the session";
        return SESSION_NO_MEMORY;
    }
    buffers->bounds = bounds;
    for (int m = 0; m < 2; ++m) {
        buffers->text[m] = static_cast<char *>(session.lines[m].text.release());
        buffers->offsets[m] = static_cast<uint32_t *>(session.lines[m].offsets.release());
        buffers->times[m] = static_cast<int64_t *>(session.lines[m].times.release());
        buffers->codes[m] = static_cast<uint32_t *>(session.lines[m].codes.release());
    }
    opened->monitor = monitor_new_over(opened->source, buffers, false);
    if (opened->monitor == nullptr) {
        error = std::string(path) + ": not enough memory to open the session";
        return SESSION_NO_MEMORY;
    }
    Monitor &monitor = *opened->monitor;
    monitor_start(monitor, nullptr);
    // Capture requests of a replay give their lines; no file is touched.
    monitor.captures.replaying = true;
    monitor.session = &session;
    for (int m = 0; m < 2; ++m) {
        line_store_init_filled(&monitor.stores[m], buffers->text[m], bounds.text_bytes, buffers->offsets[m],
                               buffers->times[m], bounds.lines, session.lines[m].count,
                               session.lines[m].text_bytes, buffers->codes[m]);
    }
    std::memcpy(monitor.activity, session.activity, sizeof monitor.activity);
    replay_init_file(opened->replay, monitor, opened->source, session.path.c_str(), session.start_us);
    *out = opened.release();
    return SESSION_OPENED;
}

void monitor_close_session(MonitorSession *session) { delete session; }

size_t opened_session_line_record(const OpenedSession &session, int modem, uint64_t line_number) {
    if (modem != 1 && modem != 2) return SIZE_MAX;
    const SessionLines &lines = session.lines[modem - 1];
    return line_number < lines.count ? static_cast<const uint32_t *>(lines.records.data)[line_number] : SIZE_MAX;
}

int64_t opened_session_line_time(const OpenedSession &session, int modem, uint64_t line_number) {
    if (modem != 1 && modem != 2) return -1;
    const SessionLines &lines = session.lines[modem - 1];
    if (line_number >= lines.count || lines.times.data == nullptr) return -1;
    return static_cast<const int64_t *>(lines.times.data)[line_number];
}

const std::vector<EyePoint> *opened_session_eye_at(const OpenedSession &session, int modem,
                                                   size_t trace_index) {
    if (modem != 1 && modem != 2) return nullptr;
    const std::vector<uint32_t> &eyes = session.eye_directives[modem - 1];
    // The last eye directive at or before the index.
    auto after = std::upper_bound(eyes.begin(), eyes.end(), trace_index,
                                  [](size_t index, uint32_t eye) { return index < eye; });
    if (after == eyes.begin()) return nullptr;
    return &session.eyes[modem - 1][static_cast<size_t>(after - eyes.begin()) - 1];
}

const std::vector<EyePoint> *opened_session_last_eye(const OpenedSession &session, int modem) {
    if ((modem != 1 && modem != 2) || session.eyes[modem - 1].empty()) return nullptr;
    return &session.eyes[modem - 1].back();
}

void monitor_session_each_line(const MonitorSession &opened, SessionLineSink sink, void *context) {
    const OpenedSession &session = opened.session;
    size_t next[2] = {0, 0};
    size_t other = 0;
    const LineStore *stores = opened.monitor->stores;
    for (;;) {
        // The line whose record comes first in the file.
        size_t best_record = SIZE_MAX;
        int from = -1;
        for (int m = 0; m < 2; ++m) {
            if (next[m] < stores[m].count) {
                const size_t record = opened_session_line_record(session, m + 1, stores[m].first_number + next[m]);
                if (record < best_record) {
                    best_record = record;
                    from = m;
                }
            }
        }
        if (other < session.other_lines.size() && session.other_lines[other].record < best_record) {
            const OtherLine &line = session.other_lines[other++];
            if (!sink(context, static_cast<int>(line.modem), session.other_text.data() + line.offset)) return;
        } else if (from >= 0) {
            if (!sink(context, from + 1, line_store_text(stores[from], next[from]++))) return;
        } else {
            return;
        }
    }
}
