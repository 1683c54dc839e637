// The trace reader: every line of the input through parse_trace_line, then
// the whole input through read_trace. A directive that parses must keep to
// the format's limits.
#include <cstdio>
#include <vector>

#include "trace/trace.h"

namespace {

void check(const TraceDirective &directive) {
    const bool fits =
        (directive.op != TRACE_EYE && directive.op != TRACE_CAP && directive.op != TRACE_CAP_FILL) ||
        directive.modem == 1 || directive.modem == 2;
    const bool addressed = (directive.op != TRACE_MEM && directive.op != TRACE_STR) ||
                           (directive.address != 0 &&
                            uint64_t(directive.address) + directive.bytes.size() - 1 <= 0xFFFFFFFFull);
    if (!fits || !addressed) {
        __builtin_trap();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const char *text = reinterpret_cast<const char *>(data);
    size_t start = 0;
    while (start < size) {
        size_t end = start;
        while (end < size && text[end] != '\n') {
            ++end;
        }
        TraceDirective directive;
        char error[256];
        if (parse_trace_line(text + start, end - start, &directive, error, sizeof error) > 0) {
            check(directive);
        }
        start = end + 1;
    }
    FILE *input = fmemopen(const_cast<uint8_t *>(data), size, "r");
    if (input != nullptr) {
        std::vector<TraceDirective> trace;
        if (read_trace(input, "<fuzz>", &trace)) {
            for (const TraceDirective &directive : trace) {
                check(directive);
            }
        }
        fclose(input);
    }
    return 0;
}
