// decode_status over the records of a whole session, against one plain
// snprintf per record of the same format with the same values. Heap
// allocations made while decoding are counted and reported.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdio>
#include <cstring>

#include "bench/decode_mix.h"
#include "tests/allocation_counting.h"

namespace {

// Every counted allocation: operator new and, where counted, the malloc
// family (which operator new itself calls).
long heap_allocations()
{
    return operator_new_calls.load(std::memory_order_relaxed) +
           malloc_calls.load(std::memory_order_relaxed);
}

void BM_DecodeStatus(benchmark::State &state)
{
    const DriverMemory memory = {mix::read_memory, nullptr};
    StatusLine line;
    long allocations = 0;
    for (auto _ : state) {
        const long before = heap_allocations();
        for (const mix::Entry &e : mix::SESSION) {
            decode_status(e.record, memory, line);
            benchmark::DoNotOptimize(line);
            benchmark::ClobberMemory();
        }
        allocations += heap_allocations() - before;
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * mix::SESSION_LENGTH);
    state.counters["heap_allocations"] = static_cast<double>(allocations);
}
BENCHMARK(BM_DecodeStatus);

void BM_PlainSnprintf(benchmark::State &state)
{
    StatusLine line;
    for (auto _ : state) {
        for (const mix::Entry &e : mix::SESSION) {
            e.plain(line, sizeof(line), e.format);
            benchmark::DoNotOptimize(line);
            benchmark::ClobberMemory();
        }
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * mix::SESSION_LENGTH);
}
BENCHMARK(BM_PlainSnprintf);

// Tells, before the timings, which records the decoder does not yet print as
// the plain call does (for instance codes whose handlers are still missing).
void compare_lines()
{
    const DriverMemory memory = {mix::read_memory, nullptr};
    StatusLine decoded;
    StatusLine plain;
    size_t matching = 0;
    for (const mix::Entry &e : mix::SESSION) {
        decode_status(e.record, memory, decoded);
        e.plain(plain, sizeof(plain), e.format);
        if (std::strcmp(decoded, plain) == 0)
            ++matching;
        else
            std::fprintf(stderr, "differs: code %u p1 %u: decoded \"%s\" plain \"%s\"\n",
                         e.record.code, e.record.param1, decoded, plain);
    }
    std::fprintf(stderr, "%zu of %zu records decode to the plain call's line\n", matching,
                 mix::SESSION_LENGTH);
}

}  // namespace

int main(int argc, char **argv)
{
    compare_lines();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
