// Session recording: what it costs per record in a burst, and how large a
// session grows per hour.
//
// BM_DecodeBurst decodes a burst of 10,000 records as the monitor does
// without recording; BM_DecodeAndRecordBurst decodes the same burst through
// the logging reader and records each record (its memory reads compared
// with what the file holds, the directive formatted, compressed for .gz).
// The difference is what recording adds per record. BM_RecordBurst times
// the writer alone, on memory reads captured beforehand. The argument is 0
// for a plain file, else the zlib level of a compressed one. The writer
// compresses and writes on a thread of its own: CPU is the process's, both
// threads; Time is the wall clock of the caller's thread, which waits only
// when the writer's thread falls a whole buffer behind.
//
// BM_SessionMinute writes one representative minute and scales it to an
// hour: 600 ticks of 100 ms, both modems busy (5 records of the V.34 call
// per modem per tick, 100 records a second, with their driver memory), 512
// eye points per modem per tick (16-point constellation with Gaussian noise
// of 600, or points uniformly random as the worst case), eye points every
// tick, once a second or never. MB_per_hour = bytes of the minute x 60 / 10^6.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "decoder/driver_memory.h"
#include "session/memory_read_log.h"
#include "session/session_writer.h"
#include "trace/sparse_memory.h"
#include "trace/trace.h"

namespace {

constexpr size_t BURST = 10000;

struct Burst {
    SparseMemory memory;
    std::vector<StatusRecord> records;
};

size_t read_memory(void *context, uint32_t address, unsigned char *dest, size_t count) {
    if (address == 0) return 0;
    return sparse_read(*static_cast<SparseMemory *>(context), address, dest, count);
}

// The records of the V.34 scenario that give a line, alternately of modem 1
// and 2, repeated up to count, over the scenario's driver memory.
bool build_burst(size_t count, Burst *burst) {
    std::vector<TraceDirective> trace;
    if (!read_trace_file(TARVEL_SOURCE_DIR "/scenarios/v34-call.trace", &trace)) return false;
    std::vector<StatusRecord> pattern;
    for (const TraceDirective &d : trace) {
        if (d.op == TRACE_MEM || d.op == TRACE_STR) {
            sparse_write(burst->memory, d.address, d.bytes.data(), d.bytes.size());
        } else if (d.op == TRACE_REC && (d.record.modem == 1 || d.record.modem == 2) &&
                   d.record.code != 77 && d.record.code != 131) {
            pattern.push_back(d.record);
        }
    }
    if (pattern.empty()) return false;
    for (size_t i = 0; burst->records.size() < count; ++i) {
        StatusRecord record = pattern[i % pattern.size()];
        record.modem = i % 2 == 0 ? 1 : 2;
        burst->records.push_back(record);
    }
    return true;
}

std::string temp_name(const char *suffix) {
    return "/tmp/session_bench_" + std::to_string(getpid()) + suffix;
}

uint64_t size_of(const std::string &path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 ? uint64_t(info.st_size) : 0;
}

void BM_DecodeBurst(benchmark::State &state) {
    Burst burst;
    if (!build_burst(BURST, &burst)) return state.SkipWithError("scenario not readable");
    const DriverMemory memory = {read_memory, &burst.memory};
    StatusLine line;
    for (auto _ : state) {
        for (const StatusRecord &record : burst.records) {
            decode_status(record, memory, line);
            benchmark::DoNotOptimize(line[0]);
        }
    }
    state.SetItemsProcessed(int64_t(state.iterations() * BURST));
}
BENCHMARK(BM_DecodeBurst)->Unit(benchmark::kMicrosecond)->MeasureProcessCPUTime();

// Arg 0: plain file, 1 to 9: compressed at that zlib level.
void BM_DecodeAndRecordBurst(benchmark::State &state) {
    Burst burst;
    if (!build_burst(BURST, &burst)) return state.SkipWithError("scenario not readable");
    const std::string path = temp_name(state.range(0) ? ".trace.gz" : ".trace");
    MemoryReadLog log;
    memory_read_log_init(log, DriverMemory{read_memory, &burst.memory});
    const DriverMemory memory = logging_memory(log);
    SessionWriter writer;
    SessionOptions options;
    options.program = "session_bench";
    if (state.range(0) != 0) options.compression_level = int(state.range(0));
    int64_t now = 1796751976000000;
    if (!writer.open(path.c_str(), now, options)) return state.SkipWithError(writer.error());
    StatusLine line;
    for (auto _ : state) {
        now += 100000;
        writer.begin_tick(now);
        for (const StatusRecord &record : burst.records) {
            memory_read_log_clear(log);
            decode_status(record, memory, line);
            writer.record(int(record.modem), record, &log);
        }
        writer.flush_if_due(now);
    }
    if (!writer.close()) state.SkipWithError(writer.error());
    state.SetItemsProcessed(int64_t(state.iterations() * BURST));
    state.counters["file_bytes_per_record"] =
        double(size_of(path)) / double(state.iterations() * BURST);
    remove(path.c_str());
}
BENCHMARK(BM_DecodeAndRecordBurst)->Unit(benchmark::kMicrosecond)->MeasureProcessCPUTime()->Arg(0)->Arg(1)->Arg(3)->Arg(6);

// The writer alone: the burst's records with their memory reads captured
// beforehand, so that only recording is timed. Arg as above.
void BM_RecordBurst(benchmark::State &state) {
    Burst burst;
    if (!build_burst(BURST, &burst)) return state.SkipWithError("scenario not readable");
    const std::string path = temp_name(state.range(0) ? ".trace.gz" : ".trace");
    // One log per record of the pattern (the burst repeats it).
    std::vector<MemoryReadLog> logs(burst.records.size() < 200 ? burst.records.size() : 200);
    StatusLine line;
    for (size_t i = 0; i < logs.size(); ++i) {
        memory_read_log_init(logs[i], DriverMemory{read_memory, &burst.memory});
        decode_status(burst.records[i], logging_memory(logs[i]), line);
    }
    SessionWriter writer;
    SessionOptions options;
    options.program = "session_bench";
    if (state.range(0) != 0) options.compression_level = int(state.range(0));
    int64_t now = 1796751976000000;
    if (!writer.open(path.c_str(), now, options)) return state.SkipWithError(writer.error());
    for (auto _ : state) {
        now += 100000;
        writer.begin_tick(now);
        for (size_t i = 0; i < burst.records.size(); ++i) {
            const StatusRecord &record = burst.records[i];
            writer.record(int(record.modem), record, &logs[i % logs.size()]);
        }
        writer.flush_if_due(now);
    }
    if (!writer.close()) state.SkipWithError(writer.error());
    state.SetItemsProcessed(int64_t(state.iterations() * BURST));
    remove(path.c_str());
}
BENCHMARK(BM_RecordBurst)->Unit(benchmark::kMicrosecond)->MeasureProcessCPUTime()->Arg(0)->Arg(1)->Arg(3)->Arg(6);

// One tick's eye points of a modem: a 16-point constellation with noise, or
// uniformly random points.
void eye_points(std::mt19937 &random, bool noise_model, EyePoint *points, size_t count) {
    static const int16_t levels[] = {-12000, -4000, 4000, 12000};
    std::normal_distribution<double> noise(0.0, 600.0);
    for (size_t i = 0; i < count; ++i) {
        if (noise_model) {
            points[i].x = int16_t(std::lround(levels[random() % 4] + noise(random)));
            points[i].y = int16_t(std::lround(levels[random() % 4] + noise(random)));
        } else {
            points[i].x = int16_t(random());
            points[i].y = int16_t(random());
        }
    }
}

// Args: eye points every N ticks (0: none), 1 constellation / 0 random
// points, zlib level 1 to 9 / 0 plain.
void BM_SessionMinute(benchmark::State &state) {
    Burst burst;
    if (!build_burst(BURST, &burst)) return state.SkipWithError("scenario not readable");
    const uint32_t eye_every = uint32_t(state.range(0));
    const bool noise_model = state.range(1) != 0;
    const std::string path = temp_name(state.range(2) ? ".trace.gz" : ".trace");
    const int level = int(state.range(2));
    MemoryReadLog log;
    memory_read_log_init(log, DriverMemory{read_memory, &burst.memory});
    const DriverMemory memory = logging_memory(log);
    std::mt19937 random(17);
    EyePoint points[512];
    uint64_t bytes = 0;
    for (auto _ : state) {
        SessionWriter writer;
        SessionOptions options;
        options.program = "session_bench";
        options.eye_every = eye_every;
        if (level != 0) options.compression_level = level;
        int64_t now = 1796751976000000;
        if (!writer.open(path.c_str(), now, options)) return state.SkipWithError(writer.error());
        writer.active(2);
        StatusLine line;
        size_t next = 0;
        for (int tick = 0; tick < 600; ++tick) {
            now += 100000;
            writer.begin_tick(now);
            for (int i = 0; i < 10; ++i) {
                const StatusRecord &record = burst.records[next++ % burst.records.size()];
                memory_read_log_clear(log);
                decode_status(record, memory, line);
                writer.record(int(record.modem), record, &log);
            }
            for (int modem = 1; modem <= 2; ++modem) {
                eye_points(random, noise_model, points, 512);
                writer.eye(modem, points, 512);
            }
            writer.flush_if_due(now);
        }
        if (!writer.close()) return state.SkipWithError(writer.error());
        bytes = size_of(path);
    }
    state.counters["bytes_per_minute"] = double(bytes);
    state.counters["MB_per_hour"] = double(bytes) * 60 / 1e6;
    remove(path.c_str());
}
BENCHMARK(BM_SessionMinute)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->Iterations(1)
    ->ArgNames({"eye_every", "constellation", "level"})
    ->ArgsProduct({{1, 10, 0}, {1, 0}, {0, 1, 3, 6}});

}  // namespace

BENCHMARK_MAIN();
