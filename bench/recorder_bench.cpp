// The recorder copying 2 x 64 MiB of capture data from the in-process
// simulated driver into session.rec.1 and session.rec.2, beside a plain
// write() of the same number of 524,288-byte chunks into two files.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include "driverlink/device.h"
#include "simulator/inproc/platform_inproc.h"
#include "recorder/recorder.h"
#include "simulator/sim.h"
#include "trace/trace.h"

namespace {

constexpr size_t CHUNK = 524288;
constexpr size_t PER_MODEM = 64u << 20;

// Allocations made through operator new while counting is on.
size_t allocations = 0;
bool counting = false;

long peak_rss_kib() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// A fresh temporary directory as the current one, removed afterwards.
struct ScratchDirectory {
    ScratchDirectory() {
        char pattern[] = "/tmp/tarvel-bench-XXXXXX";
        if (mkdtemp(pattern) == nullptr || getcwd(previous, sizeof previous) == nullptr ||
            chdir(pattern) != 0) {
            std::abort();
        }
        path = pattern;
    }
    ~ScratchDirectory() {
        if (chdir(previous) != 0) {
            std::abort();
        }
        std::string command = "rm -rf '" + path + "'";
        if (std::system(command.c_str()) != 0) {
            std::abort();
        }
    }
    char previous[4096];
    std::string path;
};

void prepare_driver() {
    sim_reset();
    inproc_reset();
    sim_set_active_modems(2);
    sim_queue_capture_fill(1, PER_MODEM, 0x11);
    sim_queue_capture_fill(2, PER_MODEM, 0x22);
    // The modems go idle once the recorder has drained everything and rested.
    static TraceDirective script[2];
    script[0].op = TRACE_WAIT;
    script[0].value = 1;
    script[1].op = TRACE_ACTIVE;
    script[1].value = 0;
    sim_play(script, 2);
}

void BM_Recorder(benchmark::State &state) {
    ScratchDirectory scratch;
    FILE *quiet = std::fopen("/dev/null", "w");
    recorder_console = quiet;
    char program[] = "recorder";
    char *argv[] = {program, nullptr};
    size_t most_allocations = 0;
    long rss_growth = 0;
    for (auto _ : state) {
        state.PauseTiming();
        prepare_driver();
        long rss_before = peak_rss_kib();
        allocations = 0;
        counting = true;
        state.ResumeTiming();
        run_recorder(1, argv);
        state.PauseTiming();
        counting = false;
        most_allocations = allocations > most_allocations ? allocations : most_allocations;
        long growth = peak_rss_kib() - rss_before;
        rss_growth = growth > rss_growth ? growth : rss_growth;
        if (sim_pending_capture(1) != 0 || sim_pending_capture(2) != 0) {
            state.SkipWithError("capture data left behind");
        }
        state.ResumeTiming();
    }
    recorder_console = nullptr;
    std::fclose(quiet);
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(2 * PER_MODEM));
    state.counters["allocations_per_run"] = double(most_allocations);
    state.counters["peak_rss_growth_KiB"] = double(rss_growth);
}

void BM_PlainWrite(benchmark::State &state) {
    ScratchDirectory scratch;
    static unsigned char buffer[CHUNK];
    std::memset(buffer, 0x33, sizeof buffer);
    for (auto _ : state) {
        int one = open("plain.1", O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        int two = open("plain.2", O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        for (size_t done = 0; done < PER_MODEM; done += CHUNK) {
            if (write(one, buffer, CHUNK) != ssize_t(CHUNK) ||
                write(two, buffer, CHUNK) != ssize_t(CHUNK)) {
                state.SkipWithError("write failed");
                break;
            }
        }
        close(one);
        close(two);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(2 * PER_MODEM));
}

}  // namespace

void *operator new(size_t size) {
    if (counting) {
        ++allocations;
    }
    if (void *block = std::malloc(size ? size : 1)) {
        return block;
    }
    std::abort();
}
void operator delete(void *block) noexcept { std::free(block); }
void operator delete(void *block, size_t) noexcept { std::free(block); }

BENCHMARK(BM_PlainWrite)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(8);
BENCHMARK(BM_Recorder)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(8);
BENCHMARK(BM_PlainWrite)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(8);
BENCHMARK(BM_Recorder)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(8);

BENCHMARK_MAIN();
