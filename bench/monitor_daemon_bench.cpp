// The same 10,000-record burst as monitor_bench, fetched from the tarvel-sim
// daemon over its socket (the POSIX backend): the status tick with the
// lists repainted, and the bare status calls of the burst without the
// monitor, the daemon's own records per second.
#include <benchmark/benchmark.h>

#include <QApplication>

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "bench/monitor_burst.h"
#include "driverlink/device.h"
#include "driverlink/driver_source.h"
#include "driverlink/platform.h"
#include "monitor/monitor.h"
#include "session/session_writer.h"
#include "monitor/qt/main_window.h"
#include "monitor/qt/monitor_view.h"
#include "monitor/qt/status_model.h"
#include "monitor/qt/status_view.h"

namespace {

constexpr size_t BURST = 10000;

bool exists(const std::string &path) {
    struct stat s{};
    return stat(path.c_str(), &s) == 0;
}

// A private runtime directory with the burst's trace, and a daemon playing it.
struct Daemon {
    std::string directory;
    std::string world;
    std::string trace;
    pid_t pid = -1;

    bool prepare(const MonitorBurst &burst) {
        char pattern[] = "/tmp/tarvel-monitor-bench-XXXXXX";
        if (mkdtemp(pattern) == nullptr) {
            return false;
        }
        directory = pattern;
        world = directory + "/world";
        trace = directory + "/burst.trace";
        std::ofstream(trace) << burst_trace(burst);
        setenv("TARVEL_SIM_DIR", world.c_str(), 1);
        return true;
    }

    // Starts the daemon and waits until its device and the burst are there.
    bool start() {
        const std::string program = TARVEL_BINARY_DIR "/simulator/tarvel-sim";
        pid = fork();
        if (pid == 0) {
            execl(program.c_str(), program.c_str(), "--stay", trace.c_str(), static_cast<char *>(nullptr));
            _exit(127);
        }
        const std::string active = world + "/registry/SOFTWARE/Velmora/Tarvel/ActiveModems";
        for (int i = 0; i < 500; ++i) {
            if (exists(world + "/trvlmd") && exists(active)) {
                usleep(200000);  // the trace has no waits: it is all queued by now
                return true;
            }
            usleep(10000);
        }
        return false;
    }

    void stop() {
        if (pid > 0) {
            kill(pid, SIGTERM);
            waitpid(pid, nullptr, 0);
            pid = -1;
        }
    }

    ~Daemon() {
        stop();
        if (!directory.empty()) {
            std::string command = "rm -rf '" + directory + "'";
            if (std::system(command.c_str()) != 0) {
                std::perror("rm");
            }
        }
    }
};

void BM_DaemonStatusTickBurst(benchmark::State &state) {
    MonitorBurst burst;
    Daemon daemon;
    if (!build_burst(BURST, &burst) || !daemon.prepare(burst)) {
        state.SkipWithError("scenario or temporary directory not available");
        return;
    }
    PlatformDriverSource source;
    Monitor *monitor = monitor_new(source);
    monitor_start(*monitor, nullptr);
    auto window = std::make_unique<MainWindow>(*monitor, false);
    window->show();
    QApplication::processEvents();
    uint64_t lines = 0;
    double ticks = 0;
    for (auto _ : state) {
        state.PauseTiming();
        driver_link_close(monitor->link);  // the previous daemon's connection is gone with it
        if (!daemon.start()) {
            state.SkipWithError("tarvel-sim did not start (build the release preset)");
            break;
        }
        const int before = window->view()->status_model(1)->rowCount() + window->view()->status_model(2)->rowCount();
        state.ResumeTiming();
        // Status ticks of at most 30 ms each, every one followed by the
        // repaint of both lists, until the burst is in.
        ticks = 0;
        do {
            window->status_tick();
            window->view()->status_view(1)->viewport()->repaint();
            window->view()->status_view(2)->viewport()->repaint();
            ++ticks;
            lines = uint64_t(window->view()->status_model(1)->rowCount() + window->view()->status_model(2)->rowCount() - before);
        } while (lines < BURST && ticks < 1000);
        state.PauseTiming();
        daemon.stop();
        state.ResumeTiming();
    }
    window.reset();
    monitor_delete(monitor);
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(BURST));
    state.counters["lines"] = double(lines);
    state.counters["ticks_per_burst"] = ticks;
}
BENCHMARK(BM_DaemonStatusTickBurst)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

// The daemon alone: the burst's status calls (one socket round trip per
// batch of records), with no presence check, decoding or list.
void BM_DaemonStatusCalls(benchmark::State &state) {
    MonitorBurst burst;
    Daemon daemon;
    if (!build_burst(BURST, &burst) || !daemon.prepare(burst)) {
        state.SkipWithError("scenario or temporary directory not available");
        return;
    }
    PlatformDriverSource source;
    DriverLink link;
    driver_link_init(link, &source, MONITOR_KEY);
    choose_device_name(link, source.nt_family(), nullptr);
    uint64_t fetched = 0;
    for (auto _ : state) {
        state.PauseTiming();
        driver_link_close(link);
        if (!daemon.start() || modem_presence(link) == 0) {
            state.SkipWithError("tarvel-sim did not start (build the release preset)");
            break;
        }
        state.ResumeTiming();
        fetched = 0;
        for (;;) {
            unsigned char record[STATUS_RECORD_BYTES];
            uint32_t returned = 0;
            driver_control(link, IOCTL_TARVEL_GET_STATUS, nullptr, 0, record, sizeof record, &returned);
            if (returned != STATUS_RECORD_BYTES) {
                break;
            }
            ++fetched;
        }
        state.PauseTiming();
        daemon.stop();
        state.ResumeTiming();
    }
    driver_link_close(link);
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(BURST));
    state.counters["records_last_run"] = double(fetched);
}
BENCHMARK(BM_DaemonStatusCalls)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

// The console monitor's status tick, which drains without a bound: the
// burst from its first line to its last, each line written out as the
// console writes it (to /dev/null here).
struct LineTimes {
    FILE *out;
    int64_t first_us;
    int64_t last_us;
    uint64_t lines;
};

int64_t steady_us() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return int64_t(t.tv_sec) * 1000000 + t.tv_nsec / 1000;
}

void time_line(void *context, int modem, const char *line) {
    LineTimes &times = *static_cast<LineTimes *>(context);
    fprintf(times.out, "%d: %s\n", modem, line);
    fflush(times.out);
    times.last_us = steady_us();
    if (times.lines++ == 0) {
        times.first_us = times.last_us;
    }
}

void ignore_warning(void *, const char *) {}

// The CPU time this process has used (all its threads), in microseconds.
int64_t process_cpu_us() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return int64_t(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000000 + usage.ru_utime.tv_usec +
           usage.ru_stime.tv_usec;
}

// The burst through the monitor's status ticks, with the console's drain
// (first argument 0: no budget) or a window's (30000: 30 ms a tick; the
// rest on the next ticks), while nothing is recorded (second argument 0) or
// a session is recorded, plain (1) or compressed (2): the time from the
// first line to the last, the longest tick, how many ticks the burst takes,
// and the CPU time of the whole monitor process (the session writer's
// thread included) per burst.
void BM_DaemonMonitorBurst(benchmark::State &state) {
    MonitorBurst burst;
    Daemon daemon;
    if (!build_burst(BURST, &burst) || !daemon.prepare(burst)) {
        state.SkipWithError("scenario or temporary directory not available");
        return;
    }
    const int64_t budget_us = state.range(0);
    const int64_t record = state.range(1);
    const std::string session = daemon.directory + (record == 2 ? "/recorded.trace.gz" : "/recorded.trace");
    PlatformDriverSource source;
    double cpu_ms = 0;
    double first_to_last_ms = 0;
    double longest_ms = 0;
    uint64_t ticks = 0;
    uint64_t lines = 0;
    for (auto _ : state) {
        state.PauseTiming();
        Monitor *monitor = monitor_new(source);
        monitor_start(*monitor, nullptr);
        if (!daemon.start()) {
            state.SkipWithError("tarvel-sim did not start (build the release preset)");
            monitor_delete(monitor);
            break;
        }
        LineTimes times{std::fopen("/dev/null", "w"), 0, 0, 0};
        std::unique_ptr<SessionWriter> writer;
        MonitorRecording recording{};
        if (record != 0) {
            writer.reset(new SessionWriter);
            SessionOptions options;
            options.program = "monitor_daemon_bench";
            if (!writer->open(session.c_str(), monitor->clock(), options)) {
                state.SkipWithError(writer->error());
                break;
            }
            monitor_record(*monitor, recording, *writer);
        }
        monitor_set_events(*monitor, {&times, time_line, ignore_warning, nullptr, nullptr, nullptr});
        const int64_t cpu_start = process_cpu_us();
        state.ResumeTiming();
        longest_ms = 0;
        ticks = 0;
        while (times.lines < BURST && ticks < 1000) {
            const int64_t start = steady_us();
            const uint64_t got = monitor_status_tick(*monitor, budget_us);
            const double spent = double(steady_us() - start) / 1000.0;
            longest_ms = spent > longest_ms ? spent : longest_ms;
            ++ticks;
            if (got == 0) {
                break;
            }
        }
        if (writer) {
            // What the writer's thread still has to write counts too: a
            // flush returns once the file holds everything.
            writer->flush_if_due(monitor->clock() + 2000000);
        }
        cpu_ms += double(process_cpu_us() - cpu_start) / 1000.0;
        state.PauseTiming();
        if (writer) {
            monitor_stop_recording(*monitor);
            writer->close();
        }
        std::fclose(times.out);
        first_to_last_ms = double(times.last_us - times.first_us) / 1000.0;
        lines = times.lines;
        monitor_delete(monitor);
        daemon.stop();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(BURST));
    state.counters["first_to_last_ms"] = first_to_last_ms;
    state.counters["longest_tick_ms"] = longest_ms;
    state.counters["ticks"] = double(ticks);
    state.counters["lines"] = double(lines);
    state.counters["cpu_ms"] = state.iterations() > 0 ? cpu_ms / double(state.iterations()) : 0;
}
BENCHMARK(BM_DaemonMonitorBurst)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5)
    ->UseRealTime()
    ->ArgsProduct({{0, WINDOW_DRAIN_BUDGET_US}, {0, 1, 2}});

}  // namespace

int main(int argc, char **argv) { return run_window_benchmarks(argc, argv); }
