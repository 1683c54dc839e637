// Reader of Tarvel trace files: one directive per line (rec, mem, str,
// active, eye, eyehex, cap, wait, the simulator's own fault directive, and
// the session directives session, unreadable, fetch and shown). Used by the
// simulated driver, which plays traces, and by the offline decoder, which
// decodes their records. Files are read plain or gzip-compressed alike.
//
// The library's files: trace_tokens (tokens and operands), trace_parse (each
// directive's parser), trace_input (plain or gzip input), trace_read (whole
// traces), session_time (the session header's time), trace_write (the
// directives as a writer formats them), count_argument (counts on a command
// line).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "decoder/status.h"
#include "driverlink/ioctl.h"
#include "trace/count_argument.h"
#include "trace/session_time.h"

enum TraceOp {
    TRACE_REC,       // record: StatusRecord with modem, code, param1..param8
    TRACE_MEM,       // driver memory: address, bytes
    TRACE_STR,       // driver memory: address, bytes of the text and its NUL
    TRACE_ACTIVE,    // ActiveModems: value
    TRACE_EYE,       // eye points: modem, points
    TRACE_CAP,       // capture data: modem, bytes
    TRACE_CAP_FILL,  // capture data: modem, value = count, fill_byte
    TRACE_WAIT,      // pause: value = milliseconds
    TRACE_FAULT,     // simulator fault: fault, value
    TRACE_SESSION,   // session header: time_ms = start (ms since 1970, UTC), bytes = writer's text
    TRACE_UNREADABLE,  // driver memory that cannot be read: address, value = length
    // Only parse_trace_line returns these two; read_trace folds them into
    // the record they belong to (fetched_by, has_shown and bytes of a TRACE_REC).
    TRACE_FETCH,     // the status tick that fetches the records that follow: modem
    TRACE_SHOWN,     // the line the monitor showed for the record right after: bytes
};

// Faults that the simulated driver can be told to commit, as a trace names
// them: "fault status-count N", "fault eye-count N", "fault capture-count N",
// "fault refuse-open 1|0", "fault setup-size N", "fault off" (clears all).
enum TraceFault {
    FAULT_STATUS_COUNT,
    FAULT_EYE_COUNT,
    FAULT_CAPTURE_COUNT,
    FAULT_REFUSE_OPEN,
    FAULT_SETUP_SIZE,
    FAULT_OFF,
};

struct TraceDirective {
    TraceOp op;
    int line_number;             // 1-based line of the trace
    StatusRecord record;         // TRACE_REC
    uint32_t address;            // TRACE_MEM, TRACE_STR, TRACE_UNREADABLE
    int modem;                   // TRACE_EYE, TRACE_CAP, TRACE_CAP_FILL, TRACE_FETCH
    uint32_t value;              // TRACE_ACTIVE, TRACE_WAIT, TRACE_CAP_FILL (count), TRACE_FAULT,
                                 // TRACE_UNREADABLE (length)
    unsigned char fill_byte;     // TRACE_CAP_FILL
    TraceFault fault;            // TRACE_FAULT
    // TRACE_REC: the modem whose status tick fetched the record (1 or 2, from
    // the latest fetch directive), 0 when the trace does not say.
    int fetched_by;
    // TRACE_REC: a shown directive just before it gave the line the monitor
    // showed for this record (in bytes, without NUL; empty: no line), in place of the line
    // that decoding the record gives.
    bool has_shown;
    int64_t time_ms;             // TRACE_SESSION
    std::vector<unsigned char> bytes;  // TRACE_MEM, TRACE_STR, TRACE_CAP, TRACE_SESSION, TRACE_SHOWN,
                                       // TRACE_REC with has_shown
    std::vector<EyePoint> points;      // TRACE_EYE
};

// Parses one line of a trace. Returns 1 and fills *out for a directive, 0 for
// a blank or comment-only line, -1 for a malformed line (error then holds the
// message, without the FILE:LINE: prefix).
int parse_trace_line(const char *text, size_t length, TraceDirective *out,
                     char *error, size_t error_size);

// The longest line a trace may have (a mem line of about five million
// bytes); a longer one, such as endless input without line feeds, is a
// malformed line rather than a reason to exhaust memory.
constexpr size_t TRACE_LINE_MAX = size_t(16) << 20;

// The most that the waits of one trace may add up to: 10^13 ms, about 317
// years. Counted in microseconds from a session's start (at most the year
// 9999), that leaves a signed 64-bit clock room for the files of a whole
// command line played one after another; a trace whose waits go past it is
// malformed at the wait that does.
constexpr uint64_t TRACE_WAITS_MAX_MS = 10000000000000ull;

// How reading a whole trace ended.
enum TraceReadResult {
    TRACE_READ_OK,         // every directive read (a cut file: up to its last complete line)
    TRACE_READ_MALFORMED,  // a malformed line; reported as "FILE:LINE: message"
    TRACE_READ_FAILED,     // the file could not be opened or read; reported as "FILE: message"
};

// Reads a whole trace. On the first malformed line prints "FILE:LINE: message"
// to standard error and returns false; out then holds nothing. A read error
// is reported as "FILE: message" and also returns false (ferror(input) then
// tells it apart). Memory is taken through operator new: a program that
// reads traces installs a new-handler that reports running out of memory.
//
// A file that ends early is read up to its last complete line, with a
// warning "FILE:LINE: warning: ..." on standard error, and counts as read:
// a compressed file whose data stops short or turns bad, and a session file
// (one that starts with a session directive) whose last line has no line
// feed, as a writer that was killed leaves them, or whose last directive is
// a shown line without its record (a full disk stopped the writer there).
// A plain trace that is not a session may end without a line feed.
bool read_trace(FILE *input, const char *file_name, std::vector<TraceDirective> *out);

// Where a reader's messages go when the caller shows them itself (a
// window): the message of a failed read, and the warning of a cut file.
// Without one they go to standard error.
struct TraceReport {
    std::string error;
    std::string warning;
};

// Reads the trace at path, plain or gzip-compressed (told by its content);
// "-" is standard input, named "<stdin>" in messages.
TraceReadResult read_trace_path(const char *path, std::vector<TraceDirective> *out,
                                TraceReport *report = nullptr);
// Reads the trace from an open file descriptor, which it takes over and
// closes; file_name names it in messages.
TraceReadResult read_trace_descriptor(int descriptor, const char *file_name,
                                      std::vector<TraceDirective> *out, TraceReport *report = nullptr);
bool read_trace_file(const char *path, std::vector<TraceDirective> *out);

// Reads the trace at path as read_trace_path does, handing each directive to
// the sink as it is read instead of keeping them (fetch and shown folded
// into their record), with the bytes of the file read so far. The sink may
// take the directive's contents. A sink that returns false stops the read:
// TRACE_READ_FAILED, nothing reported. On a failed read the sink has seen
// the directives before the failure.
using TraceDirectiveSink = bool (*)(void *context, TraceDirective &directive, uint64_t input_bytes);
TraceReadResult read_trace_path_each(const char *path, TraceDirectiveSink sink, void *context,
                                     TraceReport *report = nullptr);

// Reads traces one after another into one script; false (the reader has
// reported FILE:LINE: message) at the first that cannot be read whole.
bool read_trace_files(const std::vector<const char *> &paths, std::vector<TraceDirective> *out);
