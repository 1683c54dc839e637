// Reader of Tarvel trace files: one directive per line (rec, mem, str,
// active, eye, cap, wait, and the simulator's own fault directive).
// Used by the simulated driver, which plays traces, and by the offline
// decoder, which decodes their records.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "decoder/status.h"
#include "driverlink/ioctl.h"

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
    uint32_t address;            // TRACE_MEM, TRACE_STR
    int modem;                   // TRACE_EYE, TRACE_CAP, TRACE_CAP_FILL
    uint32_t value;              // TRACE_ACTIVE, TRACE_WAIT, TRACE_CAP_FILL (count), TRACE_FAULT
    unsigned char fill_byte;     // TRACE_CAP_FILL
    TraceFault fault;            // TRACE_FAULT
    std::vector<unsigned char> bytes;  // TRACE_MEM, TRACE_STR, TRACE_CAP
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

// Reads a whole trace. On the first malformed line prints "FILE:LINE: message"
// to standard error and returns false; out then holds nothing. A read error
// is reported as "FILE: message" and also returns false (ferror(input) then
// tells it apart). Memory is taken through operator new: a program that
// reads traces installs a new-handler that reports running out of memory.
bool read_trace(FILE *input, const char *file_name, std::vector<TraceDirective> *out);
bool read_trace_file(const char *path, std::vector<TraceDirective> *out);

// Reads traces one after another into one script; false (the reader has
// reported FILE:LINE: message) at the first that cannot be read whole.
bool read_trace_files(const std::vector<const char *> &paths, std::vector<TraceDirective> *out);

// A count given on a player's command line (a fault's N): a 32-bit word in
// decimal or 0x hexadecimal, nothing else (no sign, no trailing text).
bool parse_count(const char *text, uint32_t *value);  // "-" is standard input
