// Reading whole traces: lines from an input, each parsed and folded into
// the directives read so far (fetch and shown into the record they belong
// to), with the report of the first malformed line or of a cut file.
//
// Standard input is named "<stdin>" in messages.
#include "trace/trace.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

#include <fcntl.h>
#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include "trace/trace_input.h"

namespace {

// How reading one line ended.
enum LineEnd {
    LINE_COMPLETE,      // up to its line feed
    LINE_UNTERMINATED,  // the input ended inside the line
    LINE_NONE,          // the input ended before the line
    LINE_TOO_LONG,      // longer than TRACE_LINE_MAX (what was read is dropped)
};

// Reads one line (without its line feed) into text. The length is counted,
// not found by a NUL, so a NUL inside is kept and seen.
template <class Input>
LineEnd read_line(Input &input, std::string &text) {
    text.clear();
    if constexpr (requires(const unsigned char *data, size_t length) { input.available(&data, &length); }) {
        // A buffered input: the line is cut out of the buffer with memchr.
        const unsigned char *data = nullptr;
        size_t length = 0;
        while (input.available(&data, &length)) {
            const void *feed = memchr(data, '\n', length);
            const size_t part = feed != nullptr ? static_cast<size_t>(static_cast<const unsigned char *>(feed) - data)
                                                : length;
            if (text.size() + part > TRACE_LINE_MAX) {
                input.take(TRACE_LINE_MAX - text.size() + 1);
                return LINE_TOO_LONG;
            }
            text.append(reinterpret_cast<const char *>(data), part);
            if (feed != nullptr) {
                input.take(part + 1);
                return LINE_COMPLETE;
            }
            input.take(part);
        }
        return text.empty() ? LINE_NONE : LINE_UNTERMINATED;
    }
    int c;
    while ((c = input.get()) != EOF) {
        if (c == '\n') return LINE_COMPLETE;
        if (text.size() >= TRACE_LINE_MAX) return LINE_TOO_LONG;
        text.push_back(static_cast<char>(c));
    }
    return text.empty() ? LINE_NONE : LINE_UNTERMINATED;
}

// What the directives read so far carry over to the ones that follow.
struct FoldState {
    int fetch_modem;      // of the latest fetch directive, 0 before any
    bool seen;            // a directive has been read
    bool session;         // the first directive opened a session
    bool shown_pending;   // a shown directive waits for its record
    int shown_line;       // the line of that shown directive
    uint64_t waited_ms;   // the sum of the waits so far
    std::vector<unsigned char> shown;
};

// Where the directives read go, one by one.
struct DirectiveOut {
    TraceDirectiveSink sink;
    void *context;
    bool stopped;  // the sink asked to stop
};

// Folds a parsed directive into the trace read so far: fetch sets the
// fetching modem of the records after it, shown belongs to the record right
// after it, session may only open the trace, and the waits must add up to a
// time that every reader can count in microseconds. Returns false with the
// message written for a directive out of place.
bool add_directive(TraceDirective &directive, DirectiveOut &out, uint64_t input_bytes, FoldState &state,
                   char *error, size_t error_size) {
    const bool first = !state.seen;
    state.seen = true;
    if (state.shown_pending && directive.op != TRACE_REC) {
        snprintf(error, error_size, "shown: not followed by its record");
        return false;
    }
    switch (directive.op) {
    case TRACE_SESSION:
        if (!first) {
            snprintf(error, error_size, "session: only as the first directive of a trace");
            return false;
        }
        state.session = true;
        break;
    case TRACE_FETCH:
        state.fetch_modem = directive.modem;
        return true;
    case TRACE_SHOWN:
        state.shown_pending = true;
        state.shown_line = directive.line_number;
        state.shown = std::move(directive.bytes);
        return true;
    case TRACE_REC:
        directive.fetched_by = state.fetch_modem;
        if (state.shown_pending) {
            directive.has_shown = true;
            directive.bytes = std::move(state.shown);
            state.shown_pending = false;
            state.shown.clear();
        }
        break;
    case TRACE_WAIT:
        // Refused rather than saturated: a total held at the limit would put
        // every later directive at one and the same moment, a replay and a
        // call timeline silently wrong, and no recording lasts that long.
        state.waited_ms += directive.value;
        if (state.waited_ms > TRACE_WAITS_MAX_MS) {
            constexpr uint64_t MS_PER_YEAR = 31557600000ull;  // 365.25 days
            snprintf(error, error_size, "wait: the waits add up to more than %llu ms (about %llu years)",
                     static_cast<unsigned long long>(TRACE_WAITS_MAX_MS),
                     static_cast<unsigned long long>((TRACE_WAITS_MAX_MS + MS_PER_YEAR / 2) / MS_PER_YEAR));
            return false;
        }
        break;
    default:
        break;
    }
    if (!out.sink(out.context, directive, input_bytes)) {
        out.stopped = true;
        return false;
    }
    return true;
}

// Says a reader's message: into the report when the caller keeps one,
// else on standard error.
[[gnu::format(printf, 3, 4)]] void say(TraceReport *report, bool warning, const char *format, ...) {
    char text[512];
    va_list arguments;
    va_start(arguments, format);
    vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    if (report == nullptr) {
        fprintf(stderr, "%s\n", text);
    } else {
        (warning ? report->warning : report->error) = text;
    }
}

template <class Input>
TraceReadResult read_lines(Input &input, const char *file_name, DirectiveOut &out, TraceReport *report) {
    if (file_name == nullptr) file_name = "<trace>";
    std::string text;
    std::string message;
    int line_number = 0;
    FoldState state{};
    // The last line that a cut file is read up to: a shown directive left
    // without its record goes with the cut.
    const auto kept_line = [&state](int last) { return state.shown_pending ? state.shown_line - 1 : last; };
    TraceReadResult result = TRACE_READ_OK;
    for (;;) {
        errno = 0;
        const LineEnd got = read_line(input, text);
        if (got == LINE_NONE) break;
        ++line_number;
        if (got == LINE_TOO_LONG) {
            say(report, false, "%s:%d: line longer than %lu bytes", file_name, line_number,
                static_cast<unsigned long>(TRACE_LINE_MAX));
            result = TRACE_READ_MALFORMED;
            break;
        }
        if (got == LINE_UNTERMINATED) {
            // A session's writer ends every line it writes; a compressed
            // stream that was cut ends wherever the cut fell. Either way the
            // last line may be a fragment and is left out.
            const TraceInputEnd end = input.end(&message);
            if (end == TRACE_INPUT_CUT || (end == TRACE_INPUT_CLEAN && state.session)) {
                say(report, true, "%s:%d: warning: file cut short inside this line (%s); read up to line %d",
                    file_name, line_number, end == TRACE_INPUT_CUT ? message.c_str() : "no line feed",
                    kept_line(line_number - 1));
                return TRACE_READ_OK;
            }
        }
        TraceDirective directive;
        char error[256];
        int parsed = parse_trace_line(text.data(), text.size(), &directive, error, sizeof error);
        if (parsed > 0) {
            directive.line_number = line_number;
            if (!add_directive(directive, out, input.consumed, state, error, sizeof error)) parsed = -1;
        }
        if (out.stopped) return TRACE_READ_FAILED;
        if (parsed < 0) {
            say(report, false, "%s:%d: %s", file_name, line_number, error);
            result = TRACE_READ_MALFORMED;
            break;
        }
    }
    if (result == TRACE_READ_OK) {
        switch (input.end(&message)) {
        case TRACE_INPUT_CLEAN:
            // A session ends where its writer stopped, possibly between a
            // shown line and its record (a full disk); a hand-written trace
            // that ends so is malformed.
            if (state.shown_pending && state.session) {
                say(report, true, "%s:%d: warning: file cut short after this line (shown without its record); "
                    "read up to line %d", file_name, state.shown_line, kept_line(line_number));
            } else if (state.shown_pending) {
                say(report, false, "%s:%d: shown: not followed by its record", file_name, state.shown_line);
                result = TRACE_READ_MALFORMED;
            }
            break;
        case TRACE_INPUT_CUT:
            say(report, true, "%s: warning: %s; read up to line %d", file_name, message.c_str(),
                kept_line(line_number));
            break;
        case TRACE_INPUT_FAILED:
            say(report, false, "%s: %s", file_name, message.c_str());
            result = TRACE_READ_FAILED;
            break;
        }
    }
    return result;
}

// The directives into a vector, which holds nothing when the read fails.
bool push_directive(void *context, TraceDirective &directive, uint64_t) {
    static_cast<std::vector<TraceDirective> *>(context)->push_back(std::move(directive));
    return true;
}

TraceReadResult into_vector(TraceReadResult result, std::vector<TraceDirective> *out) {
    if (result != TRACE_READ_OK) {
        out->clear();
        out->shrink_to_fit();
    }
    return result;
}

TraceReadResult read_descriptor_each(int descriptor, const char *file_name, DirectiveOut &out,
                                     TraceReport *report) {
    if (descriptor < 0) {
        say(report, false, "%s: %s", file_name, strerror(errno != 0 ? errno : EBADF));
        return TRACE_READ_FAILED;
    }
    TraceReadResult result;
    {
        TraceDescriptorInput input(descriptor);
        result = read_lines(input, file_name, out, report);
    }
#ifdef _WIN32
    _close(descriptor);
#else
    close(descriptor);
#endif
    return result;
}

}  // namespace

bool read_trace(FILE *input, const char *file_name, std::vector<TraceDirective> *out) {
    out->clear();
    TraceStreamInput stream{input};
    DirectiveOut sink{push_directive, out, false};
    return into_vector(read_lines(stream, file_name, sink, nullptr), out) == TRACE_READ_OK;
}

TraceReadResult read_trace_descriptor(int descriptor, const char *file_name,
                                      std::vector<TraceDirective> *out, TraceReport *report) {
    out->clear();
    DirectiveOut sink{push_directive, out, false};
    return into_vector(read_descriptor_each(descriptor, file_name, sink, report), out);
}

TraceReadResult read_trace_path_each(const char *path, TraceDirectiveSink sink, void *context,
                                     TraceReport *report) {
    DirectiveOut out{sink, context, false};
    if (strcmp(path, "-") == 0) {
#ifdef _WIN32
        _setmode(_fileno(stdin), _O_BINARY);
        return read_descriptor_each(_dup(_fileno(stdin)), "<stdin>", out, report);
#else
        return read_descriptor_each(dup(fileno(stdin)), "<stdin>", out, report);
#endif
    }
#ifdef _WIN32
    const int descriptor = _open(path, _O_RDONLY | _O_BINARY);
#else
    const int descriptor = open(path, O_RDONLY);
#endif
    if (descriptor < 0) {
        say(report, false, "%s: %s", path, strerror(errno));
        return TRACE_READ_FAILED;
    }
    return read_descriptor_each(descriptor, path, out, report);
}

TraceReadResult read_trace_path(const char *path, std::vector<TraceDirective> *out, TraceReport *report) {
    out->clear();
    return into_vector(read_trace_path_each(path, push_directive, out, report), out);
}

bool read_trace_file(const char *path, std::vector<TraceDirective> *out) {
    return read_trace_path(path, out) == TRACE_READ_OK;
}

bool read_trace_files(const std::vector<const char *> &paths, std::vector<TraceDirective> *out) {
    for (const char *path : paths) {
        std::vector<TraceDirective> directives;
        if (!read_trace_file(path, &directives)) {
            return false;
        }
        out->insert(out->end(), directives.begin(), directives.end());
    }
    return true;
}
