// The call tracker's cost per record against the decoder's, over the same
// session mix: decode_status alone, the call watch fed alone (one call per
// pass over the mix, and the mix within one long call), and both as the
// monitor runs them. The aim is a tracker that costs under 5% of decoding;
// compare the items per second. Verdicts: BM_DecodeMillionRecordSession/1
// against /0, aimed at under 2%. Noisy machines: run with
//   --benchmark_repetitions=15 --benchmark_enable_random_interleaving=true
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "bench/decode_mix.h"
#include "calls/call_findings.h"
#include "calls/call_watch.h"

namespace {

void BM_DecodeStatus(benchmark::State &state) {
    const DriverMemory memory = {mix::read_memory, nullptr};
    StatusLine line;
    for (auto _ : state) {
        for (const mix::Entry &e : mix::SESSION) {
            decode_status(e.record, memory, line);
            benchmark::DoNotOptimize(line);
            benchmark::ClobberMemory();
        }
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * mix::SESSION_LENGTH);
}
BENCHMARK(BM_DecodeStatus);

// Each pass over the mix is one call from caller ID to on hook: the watch
// starts it, builds it and hands it to its log (1,000 calls kept, the oldest
// giving way), so call creation and retirement are in the cost.
void BM_CallWatchFeed(benchmark::State &state) {
    std::unique_ptr<CallWatch> watch(new CallWatch);
    call_watch_init(*watch, DriverMemoryAccess{mix::read_memory, nullptr}, size_t(state.range(0)), {nullptr, nullptr});
    int64_t time_us = 0;
    for (auto _ : state) {
        for (const mix::Entry &e : mix::SESSION) {
            call_watch_record(*watch, e.record, time_us, 1'700'000'000'000'000 + time_us);
            time_us += 1000;
        }
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * mix::SESSION_LENGTH);
    state.counters["calls"] = static_cast<double>(watch->tracker[0].calls_started);
}
BENCHMARK(BM_CallWatchFeed)->Arg(1000)->Arg(16);

// The mix's records within one long call, as most of a monitor's records
// arrive: the records that hang up or clear down are left out, so that the
// call runs on and its start and retirement drop out of the cost.
void BM_CallWatchFeedLongCall(benchmark::State &state) {
    std::unique_ptr<CallWatch> watch(new CallWatch);
    call_watch_init(*watch, DriverMemoryAccess{mix::read_memory, nullptr}, 0, {nullptr, nullptr});
    std::vector<StatusRecord> records;
    for (const mix::Entry &e : mix::SESSION) {
        const uint32_t code = e.record.code;
        const bool ends = code == 22 || code == 34 || code == 35 || code == 37 || code == 44 ||
                          ((code == 69 || code == 80 || code == 89) && e.record.param1 == 0);
        if (!ends) records.push_back(e.record);
    }
    call_watch_record(*watch, StatusRecord{22, 1, 0, 0, 0, 0, 0, 0, 0, 1}, 0, -1);
    int64_t time_us = 0;
    for (auto _ : state) {
        for (const StatusRecord &r : records) {
            call_watch_record(*watch, r, time_us, 1'700'000'000'000'000 + time_us);
            time_us += 1000;
        }
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(records.size()));
    state.counters["records_per_pass"] = static_cast<double>(records.size());
    state.counters["calls"] = static_cast<double>(watch->tracker[0].calls_started);
}
BENCHMARK(BM_CallWatchFeedLongCall);

void BM_DecodeAndFeed(benchmark::State &state) {
    const DriverMemory memory = {mix::read_memory, nullptr};
    std::unique_ptr<CallWatch> watch(new CallWatch);
    call_watch_init(*watch, DriverMemoryAccess{mix::read_memory, nullptr}, 0, {nullptr, nullptr});
    StatusLine line;
    int64_t time_us = 0;
    for (auto _ : state) {
        for (const mix::Entry &e : mix::SESSION) {
            decode_status(e.record, memory, line);
            benchmark::DoNotOptimize(line);
            call_watch_record(*watch, e.record, time_us, -1);
            time_us += 1000;
        }
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * mix::SESSION_LENGTH);
}
BENCHMARK(BM_DecodeAndFeed);

// A session of 1,000,000 records decoded and followed as the monitor does,
// each call handed to a sink when it ends; with Arg 1 the sink works out
// the call's verdict (termination and findings, no text), as the list of
// calls shows it. The verdicts' share is the difference of the two; the
// texts are written only for what is shown (BM_VerdictText).
constexpr size_t MILLION = 1'000'000;

struct Verdicts {
    CallVerdict verdict;
    size_t findings = 0;
};

void verdict_sink(void *context, const Call &call) {
    Verdicts &v = *static_cast<Verdicts *>(context);
    call_verdict(call, v.verdict);
    v.findings += v.verdict.count;
}

void BM_DecodeMillionRecordSession(benchmark::State &state) {
    const DriverMemory memory{mix::read_memory, nullptr};
    const bool with_verdicts = state.range(0) != 0;
    Verdicts verdicts;
    std::unique_ptr<CallWatch> watch(new CallWatch);
    StatusLine line;
    for (auto _ : state) {
        call_watch_init(*watch, DriverMemoryAccess{mix::read_memory, nullptr}, 0,
                        {&verdicts, with_verdicts ? verdict_sink : nullptr});
        int64_t time_us = 0;
        for (size_t n = 0; n < MILLION; ++n) {
            const StatusRecord &record = mix::SESSION[n % mix::SESSION_LENGTH].record;
            decode_status(record, memory, line);
            benchmark::DoNotOptimize(line);
            call_watch_record(*watch, record, time_us, 1'700'000'000'000'000 + time_us);
            time_us += 1000;
        }
        call_watch_finish(*watch);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * MILLION));
    state.counters["calls"] = static_cast<double>(watch->tracker[0].calls_started);
    state.counters["findings"] = static_cast<double>(verdicts.findings) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_DecodeMillionRecordSession)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// One call's verdict (Arg 0), and with its texts (Arg 1: its cause and
// every finding, as a view writes them for a call it shows).
void BM_VerdictText(benchmark::State &state) {
    const bool texts = state.range(0) != 0;
    std::unique_ptr<CallWatch> watch(new CallWatch);
    call_watch_init(*watch, DriverMemoryAccess{mix::read_memory, nullptr}, 0, {nullptr, nullptr});
    int64_t time_us = 0;
    for (const mix::Entry &e : mix::SESSION) call_watch_record(*watch, e.record, time_us += 1000, -1);
    call_watch_finish(*watch);
    const Call &call = call_log_at(watch->log, 0);
    CallVerdict verdict;
    char text[VERDICT_CAUSE_BYTES];
    for (auto _ : state) {
        call_verdict(call, verdict);
        if (texts) {
            verdict_cause(call, verdict, text, sizeof text);
            for (size_t i = 0; i < verdict.count; ++i) finding_text(call, verdict.findings[i], text, sizeof text);
        }
        benchmark::DoNotOptimize(verdict);
        benchmark::DoNotOptimize(text);
    }
    state.counters["findings"] = static_cast<double>(verdict.count);
}
BENCHMARK(BM_VerdictText)->Arg(0)->Arg(1);

// One eye tick of 512 points into the ring (per modem and tick, not per record).
void BM_EyeTick(benchmark::State &state) {
    std::unique_ptr<CallWatch> watch(new CallWatch);
    call_watch_init(*watch, DriverMemoryAccess{nullptr, nullptr}, 0, {nullptr, nullptr});
    EyeXY points[EYE_POINTS_MAX];
    for (size_t i = 0; i < EYE_POINTS_MAX; ++i) points[i] = {int16_t(i), int16_t(-int(i))};
    int64_t time_us = 0;
    for (auto _ : state) {
        call_watch_eye_tick(*watch, 1, points, EYE_POINTS_MAX, time_us += 100000);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_EyeTick);

}  // namespace

BENCHMARK_MAIN();
