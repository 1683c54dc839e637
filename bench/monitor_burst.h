// The burst that the monitor benchmarks drain: the status records of the
// V.34 scenario that give a line, repeated for both modems up to the count
// wanted, with the driver memory that they point into.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bench/window_bench_main.h"
#include "decoder/status.h"
#include "trace/trace.h"

struct MonitorBurst {
    std::vector<TraceDirective> memory;  // mem and str directives
    std::vector<StatusRecord> records;
};


// False when the scenario cannot be read.
inline bool build_burst(size_t count, MonitorBurst *burst) {
    std::vector<TraceDirective> trace;
    if (!read_trace_file(TARVEL_SOURCE_DIR "/scenarios/v34-call.trace", &trace)) {
        return false;
    }
    std::vector<StatusRecord> pattern;
    for (const TraceDirective &d : trace) {
        if (d.op == TRACE_MEM || d.op == TRACE_STR) {
            burst->memory.push_back(d);
        } else if (d.op == TRACE_REC && (d.record.modem == 1 || d.record.modem == 2) &&
                   d.record.code != 77 && d.record.code != 131) {
            pattern.push_back(d.record);
        }
    }
    if (pattern.empty()) {
        return false;
    }
    // Every other pass of the scenario comes from modem 2.
    burst->records.clear();
    for (size_t i = 0; burst->records.size() < count; ++i) {
        StatusRecord record = pattern[i % pattern.size()];
        record.modem = (i / pattern.size()) % 2 == 0 ? 1 : 2;
        burst->records.push_back(record);
    }
    return true;
}

// The burst as a trace for the tarvel-sim daemon: memory, two active modems,
// the records.
inline std::string burst_trace(const MonitorBurst &burst) {
    std::string text;
    char line[256];
    for (const TraceDirective &d : burst.memory) {
        std::snprintf(line, sizeof line, "mem 0x%08X", d.address);
        text += line;
        for (unsigned char b : d.bytes) {
            std::snprintf(line, sizeof line, " %02x", b);
            text += line;
        }
        text += '\n';
    }
    text += "active 2\n";
    for (const StatusRecord &r : burst.records) {
        std::snprintf(line, sizeof line, "rec %u %u 0x%X 0x%X 0x%X 0x%X 0x%X 0x%X 0x%X 0x%X\n", r.modem,
                      r.code, r.param1, r.param2, r.param3, r.param4, r.param5, r.param6, r.param7,
                      r.param8);
        text += line;
    }
    return text;
}
