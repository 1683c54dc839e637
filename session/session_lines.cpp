// Decoding a trace's records against the trace's own driver memory.
#include "session/session_lines.h"

#include <cstring>

#include "decoder/driver_memory.h"
#include "decoder/record_kind.h"
#include "trace/sparse_memory.h"

namespace {

// The DriverMemoryReader over a trace's memory: copies the mapped prefix of
// the block. Address 0 is never mapped.
size_t read_memory(void *context, uint32_t address, unsigned char *dest, size_t count) {
    if (address == 0) return 0;
    return sparse_read(*static_cast<const SparseMemory *>(context), address, dest, count);
}

}  // namespace

void trace_record_line(const TraceDirective &directive, bool session, const DriverMemory &memory,
                       StatusLine &line) {
    line[0] = '\0';
    if (!session) {
        decode_status(directive.record, memory, line);
    } else if (directive.has_shown) {
        const size_t length = directive.bytes.size() < STATUS_LINE_BYTES - 1
                                  ? directive.bytes.size()
                                  : STATUS_LINE_BYTES - 1;
        if (length > 0) memcpy(line, directive.bytes.data(), length);
        line[length] = '\0';
    } else if (record_kind(directive.record) != RecordKind::NO_MODEM) {
        decode_status(directive.record, memory, line);
    }
}

bool is_session(const std::vector<TraceDirective> &trace) {
    return !trace.empty() && trace.front().op == TRACE_SESSION;
}

void trace_lines(const std::vector<TraceDirective> &trace, TraceLineSink sink, void *context) {
    SparseMemory memory;
    const DriverMemory trace_memory = {read_memory, &memory};
    const bool session = is_session(trace);
    StatusLine line;
    for (const TraceDirective &directive : trace) {
        switch (directive.op) {
        case TRACE_MEM:
        case TRACE_STR:
            // The trace reader refuses blocks that would run past 0xFFFFFFFF.
            sparse_write(memory, directive.address, directive.bytes.data(), directive.bytes.size());
            break;
        case TRACE_UNREADABLE:
            sparse_unmap(memory, directive.address, directive.value);
            break;
        case TRACE_REC:
            trace_record_line(directive, session, trace_memory, line);
            if (!sink(context, directive, line)) return;
            break;
        default:
            break;  // activity, eye points, capture data, pauses: no line
        }
    }
}
