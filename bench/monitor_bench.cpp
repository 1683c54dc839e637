// The Qt monitor over the in-process simulated driver, so that the figures
// are the monitor's own cost: one status tick that drains a burst of 10,000
// records into both lists and repaints them; the memory after a million
// lines; the CPU of the idle window with its five timers running.
// Before Qt, whose keyword macros (slots) would rewrite its member names.
#include "calls/call_watch.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QEventLoop>
#include <QLineEdit>
#include <QTimer>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <ctime>
#include <memory>

#include <unistd.h>

#include "bench/monitor_burst.h"
#include "driverlink/device.h"
#include "simulator/inproc/platform_inproc.h"
#include "monitor/monitor.h"
#include "monitor/qt/eye_view.h"
#include "monitor/qt/main_window.h"
#include "monitor/qt/monitor_view.h"
#include "monitor/qt/status_model.h"
#include "monitor/qt/status_pane.h"
#include "monitor/qt/status_view.h"
#include "session/session_writer.h"
#include "simulator/sim.h"

namespace {

constexpr size_t BURST = 10000;

double resident_mib() {
    long pages = 0;
    long resident = 0;
    FILE *statm = std::fopen("/proc/self/statm", "r");
    if (statm == nullptr || std::fscanf(statm, "%ld %ld", &pages, &resident) != 2) {
        if (statm != nullptr) {
            std::fclose(statm);
        }
        return -1;
    }
    std::fclose(statm);
    return double(resident) * double(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

double cpu_seconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

double thread_cpu_seconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

double wall_seconds() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// The benchmarks' monitor over the simulated driver in this process.
Monitor &bench_monitor() {
    static PlatformDriverSource source;
    static Monitor *monitor = monitor_new(source);
    return *monitor;
}

// A started monitor on a freshly reset driver with two active modems (or
// none), and its window shown at its default size.
std::unique_ptr<MainWindow> fresh_monitor(const MonitorBurst &burst, uint32_t active, bool timers) {
    driver_link_close(bench_monitor().link);
    sim_reset();
    inproc_reset();
    monitor_start(bench_monitor(), nullptr);
    sim_play(burst.memory.data(), burst.memory.size());
    sim_advance(0);
    sim_set_active_modems(active);
    auto window = std::make_unique<MainWindow>(bench_monitor(), timers);
    window->show();
    QApplication::processEvents();
    return window;
}

// Every option on: a time column, a filter on both lists (an expression
// that lets about a third of the lines through), density and readouts on
// both eyes.
void all_options_on(MainWindow *window) {
    window->view()->set_time_format(LINE_TIME_DELTA);
    for (int m = 1; m <= 2; ++m) {
        window->view()->status_pane(m)->filter_field()->setText(QStringLiteral("/LAPM|rate|V42bis"));
        window->view()->eye_view(m)->set_mode(EYE_DENSITY, 8);
        window->view()->eye_view(m)->set_readouts(true);
    }
}

void queue(const MonitorBurst &burst) {
    // The simulated driver logs every call it serves (for tests); that log
    // is not the monitor's memory.
    sim_clear_call_log();
    for (const StatusRecord &record : burst.records) {
        sim_queue_record(record);
    }
}

void repaint_lists(MainWindow *window) {
    window->view()->status_view(1)->viewport()->repaint();
    window->view()->status_view(2)->viewport()->repaint();
}

// One status tick draining 10,000 records into the lists, then both lists
// repainted. The stores fill up after ten ticks, so most ticks also drop
// 10,000 old lines: the steady state of a long session.
void BM_StatusTickBurst(benchmark::State &state) {
    MonitorBurst burst;
    if (!build_burst(BURST, &burst)) {
        state.SkipWithError("scenario not readable");
        return;
    }
    std::unique_ptr<MainWindow> window = fresh_monitor(burst, 2, false);
    if (state.range(0) != 0) {
        all_options_on(window.get());
    }
    // The burst takes as many status ticks as its 30 ms budgets need, each
    // followed by the repaint of both lists.
    double ticks = 0;
    for (auto _ : state) {
        state.PauseTiming();
        queue(burst);
        state.ResumeTiming();
        ticks = 0;
        while (sim_pending_records() != 0 && ticks < 1000) {
            window->status_tick();
            repaint_lists(window.get());
            ++ticks;
        }
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(BURST));
    state.counters["ticks_per_burst"] = ticks;
    state.counters["rows_1"] = window->view()->status_model(1)->rowCount();
    state.counters["rows_2"] = window->view()->status_model(2)->rowCount();
    state.counters["shown_1"] = window->view()->status_view(1)->model()->rowCount();
}
// Argument 1: every option on.
BENCHMARK(BM_StatusTickBurst)->Unit(benchmark::kMillisecond)->Arg(0)->Arg(1);

// A million lines through the window, 10,000 per tick: the resident memory
// empty, when both stores reach their line bound (200,000 lines), once their
// text rings have wrapped (500,000) and after the million. Flat from the
// wrap on: the stores' buffers are the bound.
void BM_MillionLines(benchmark::State &state) {
    MonitorBurst burst;
    if (!build_burst(BURST, &burst)) {
        state.SkipWithError("scenario not readable");
        return;
    }
    double at_start = 0;
    double at_bound = 0;
    double at_half = 0;
    double at_end = 0;
    for (auto _ : state) {
        std::unique_ptr<MainWindow> window = fresh_monitor(burst, 2, false);
        if (state.range(0) != 0) {
            all_options_on(window.get());
        }
        at_start = resident_mib();
        for (size_t lines = BURST; lines <= 1000000; lines += BURST) {
            queue(burst);
            while (sim_pending_records() != 0) {
                window->status_tick();
            }
            window->eye_tick(1);
            window->eye_tick(2);
            repaint_lists(window.get());
            if (lines == 2 * LINE_STORE_LINES) {  // both stores at their bound
                at_bound = resident_mib();
            } else if (lines == 500000) {
                at_half = resident_mib();
            }
        }
        at_end = resident_mib();
    }
    state.counters["rss_MiB_empty"] = at_start;
    state.counters["rss_MiB_at_200k"] = at_bound;
    state.counters["rss_MiB_at_500k"] = at_half;
    state.counters["rss_MiB_at_1M"] = at_end;
    state.counters["dropped"] = double(bench_monitor().stores[0].dropped + bench_monitor().stores[1].dropped);
}
BENCHMARK(BM_MillionLines)->Unit(benchmark::kMillisecond)->Iterations(1)->Arg(0)->Arg(1);

// The idle window: five 100 ms timers, no modem active, the real event loop
// for three seconds. The counter is the CPU used as a share of one core.
void BM_IdleWindowCpu(benchmark::State &state) {
    MonitorBurst burst;
    double percent = 0;
    for (auto _ : state) {
        std::unique_ptr<MainWindow> window = fresh_monitor(burst, 0, true);
        QEventLoop loop;
        QTimer::singleShot(3000, &loop, &QEventLoop::quit);
        const double cpu = cpu_seconds();
        const double wall = wall_seconds();
        loop.exec();
        percent = 100.0 * (cpu_seconds() - cpu) / (wall_seconds() - wall);
    }
    state.counters["cpu_percent_of_core"] = percent;
}
BENCHMARK(BM_IdleWindowCpu)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

// The core's drain of a 10,000-record burst in one status tick (no window
// drawing), without a recording (argument 0) and recording it into a plain
// (1) or a compressed (2) session file: the recording's share of the drain;
// argument 3 follows the calls of both modems instead (a CallWatch fed every
// record), the call tracker's share.
// Time is the main tick and the drain as the monitor's thread sees them;
// CPU is the whole process's (the writer's thread included) over the same
// ticks. cpu_ms_per_burst also counts what the writer's thread did while
// the timing was paused and the closing of the file: all of the process's
// CPU but the queueing of the records; tick_cpu_ms_per_burst is the
// monitor's own thread alone (what delays the window's next tick).
void BM_CoreDrainRecording(benchmark::State &state) {
    MonitorBurst burst;
    if (!build_burst(BURST, &burst)) {
        state.SkipWithError("scenario not readable");
        return;
    }
    std::unique_ptr<MainWindow> window = fresh_monitor(burst, 2, false);
    Monitor &monitor = bench_monitor();
    const std::string path = std::string("/tmp/monitor_bench_session") + (state.range(0) == 2 ? ".trace.gz" : ".trace");
    SessionWriter writer;
    MonitorRecording recording;
    std::unique_ptr<CallWatch> calls(new CallWatch);
    call_watch_init(*calls, DriverMemoryAccess{nullptr, nullptr}, 0, {nullptr, nullptr});
    const bool recorded = state.range(0) == 1 || state.range(0) == 2;
    const double process_start = cpu_seconds();
    const double thread_start = thread_cpu_seconds();
    double queueing = 0;
    if (state.range(0) == 3) monitor_watch_calls(monitor, calls.get());
    if (recorded) {
        SessionOptions options;
        options.program = "monitor_bench";
        writer.open(path.c_str(), monitor.clock(), options);
        monitor_record(monitor, recording, writer);
    }
    monitor_set_events(monitor, {nullptr, nullptr, [](void *, const char *) {}, nullptr, nullptr, nullptr});
    for (auto _ : state) {
        state.PauseTiming();
        const double queue_start = thread_cpu_seconds();
        queue(burst);
        queueing += thread_cpu_seconds() - queue_start;
        state.ResumeTiming();
        monitor_main_tick(monitor);
        monitor_status_tick(monitor, 0);
    }
    const double thread_used = thread_cpu_seconds() - thread_start - queueing;
    monitor_watch_calls(monitor, nullptr);
    if (recorded) {
        monitor_stop_recording(monitor);
        writer.close();
    }
    state.counters["tick_cpu_ms_per_burst"] = 1000 * thread_used / double(state.iterations());
    state.counters["cpu_ms_per_burst"] =
        1000 * (cpu_seconds() - process_start - queueing) / double(state.iterations());
    if (recorded) {
        std::error_code error;
        state.counters["file_bytes"] = double(std::filesystem::file_size(path, error));
        state.counters["records"] = double(writer.records());
        std::remove(path.c_str());
    }
    if (state.range(0) == 3)
        state.counters["calls_followed"] = double(calls->tracker[0].calls_started + calls->tracker[1].calls_started);
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(BURST));
}
// On a machine shared with other work, the least of many repetitions is
// the figure that repeats: run with --benchmark_repetitions=20
// --benchmark_enable_random_interleaving=true and compare the _min rows.
BENCHMARK(BM_CoreDrainRecording)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->ComputeStatistics("min", [](const std::vector<double> &v) { return *std::min_element(v.begin(), v.end()); })
    ->Arg(0)
    ->Arg(1)
    ->Arg(2)
    ->Arg(3);

}  // namespace

int main(int argc, char **argv) { return run_window_benchmarks(argc, argv); }
