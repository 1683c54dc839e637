// Opening a recorded session: the time from the file to every line in the
// stores (the core), and to a shown session window with its lists filled,
// for a session of 1,000,000 records of both modems interleaved with eye
// points; and the process's peak memory once it is open. The session is
// generated with the session writer, plain and compressed.
#include <benchmark/benchmark.h>

#include <QApplication>

#include <cstdio>
#include <string>

#include <sys/resource.h>
#include <unistd.h>

#include "monitor/monitor.h"
#include "monitor/qt/monitor_view.h"
#include "monitor/qt/session_window.h"
#include "monitor/qt/status_model.h"
#include "monitor/session_open.h"
#include "session/session_writer.h"

namespace {

constexpr uint64_t RECORDS = 1000000;
constexpr uint64_t RECORDS_PER_TICK = 100;  // 10,000 ticks: about 17 minutes of a busy session
constexpr uint64_t EYE_EVERY = 10;          // both modems' eye points every tenth tick
constexpr int EYE_POINTS = 256;

// The codes of a busy data call, with their parameters changing as they do.
StatusRecord busy_record(uint64_t i) {
    static const uint32_t CODES[] = {1, 13, 14, 64, 22};
    StatusRecord record{};
    record.modem = 1 + static_cast<uint32_t>(i & 1);
    record.code = CODES[(i >> 1) % 5];
    record.param1 = static_cast<uint32_t>(2400 + (i * 37) % 31200);
    record.param2 = static_cast<uint32_t>(i % 7);
    return record;
}

std::string make_session(bool compressed) {
    char folder[] = "/tmp/session-open-bench-XXXXXX";
    if (mkdtemp(folder) == nullptr) return std::string();
    const std::string path = std::string(folder) + (compressed ? "/busy.trace.gz" : "/busy.trace");
    SessionWriter writer;
    SessionOptions options;
    options.program = "session_open_bench";
    int64_t now = 1700000000000000;
    if (!writer.open(path.c_str(), now, options)) return std::string();
    EyePoint points[EYE_POINTS];
    for (uint64_t i = 0, tick = 0; i < RECORDS; ++tick) {
        writer.begin_tick(now);
        writer.active(2);
        for (uint64_t r = 0; r < RECORDS_PER_TICK && i < RECORDS; ++r, ++i) {
            writer.record(static_cast<int>(busy_record(i).modem), busy_record(i), nullptr);
        }
        if (tick % EYE_EVERY == 0) {
            for (int modem = 1; modem <= 2; ++modem) {
                for (int p = 0; p < EYE_POINTS; ++p) {
                    points[p] = {static_cast<int16_t>((p * 157 + tick) % 40000 - 20000),
                                 static_cast<int16_t>((p * 311 + modem) % 40000 - 20000)};
                }
                writer.eye(modem, points, EYE_POINTS);
            }
        }
        writer.flush_if_due(now);
        now += 100000;
    }
    return writer.close() ? path : std::string();
}

// The generated sessions, each form made when a benchmark first asks for
// it, removed with their folders at the end of the run.
struct SessionFiles {
    std::string path[2];
    bool made[2] = {false, false};

    // The session of a benchmark's argument (0 plain, 1 compressed); empty,
    // with the benchmark skipped, when it could not be made.
    const std::string &for_run(benchmark::State &state) {
        const std::string &file = get(state.range(0) != 0);
        if (file.empty()) state.SkipWithError("the session could not be generated");
        return file;
    }
    const std::string &get(bool compressed) {
        const int form = compressed ? 1 : 0;
        if (!made[form]) {
            path[form] = make_session(compressed);
            made[form] = true;
        }
        return path[form];
    }
    ~SessionFiles() {
        for (const std::string &file : path) {
            if (!file.empty()) {
                std::remove(file.c_str());
                rmdir(file.substr(0, file.rfind('/')).c_str());
            }
        }
    }
};

double peak_mib() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;  // kilobytes on Linux
}

// The file read alone: the trace reader and the index of lines and eyes.
void BM_ReadSession(benchmark::State &state, SessionFiles *files) {
    const std::string &path = files->for_run(state);
    if (path.empty()) return;
    for (auto _ : state) {
        OpenedSession session;
        std::string error, warning;
        if (!opened_session_read(path.c_str(), session, error, warning)) {
            state.SkipWithError(error.c_str());
            return;
        }
        benchmark::DoNotOptimize(session.records);
    }
}

// The file read and every line in the stores, with its recorded time.
void BM_OpenSessionCore(benchmark::State &state, SessionFiles *files) {
    const std::string &path = files->for_run(state);
    if (path.empty()) return;
    size_t lines = 0;
    for (auto _ : state) {
        OpenedSession session;
        std::string error, warning;
        if (!opened_session_read(path.c_str(), session, error, warning)) {
            state.SkipWithError(error.c_str());
            return;
        }
        SessionDriverSource source;
        Monitor *monitor = monitor_new(source, opened_session_bounds(session));
        monitor_start(*monitor, nullptr);
        monitor_show_session(*monitor, session);
        lines = monitor->stores[0].count + monitor->stores[1].count;
        monitor_delete(monitor);
    }
    state.counters["lines"] = static_cast<double>(lines);
    state.counters["peak_MiB"] = peak_mib();
}

// The file to the session's own monitor, every line in its stores and its
// calls followed, as every front end opens a session.
void BM_MonitorOpenSession(benchmark::State &state, SessionFiles *files) {
    const std::string &path = files->for_run(state);
    if (path.empty()) return;
    size_t lines = 0;
    for (auto _ : state) {
        MonitorSession *session = nullptr;
        std::string error;
        if (monitor_open_session(path.c_str(), &session, error) != SESSION_OPENED) {
            state.SkipWithError(error.c_str());
            return;
        }
        lines = session->monitor->stores[0].count + session->monitor->stores[1].count;
        monitor_close_session(session);
    }
    state.counters["lines"] = static_cast<double>(lines);
    state.counters["peak_MiB"] = peak_mib();
}

// As the user sees it: the session window shown with both lists filled.
void BM_OpenSessionWindow(benchmark::State &state, SessionFiles *files) {
    const std::string &path = files->for_run(state);
    if (path.empty()) return;
    size_t rows = 0;
    for (auto _ : state) {
        QString error;
        std::unique_ptr<SessionParts> parts = SessionWindow::read(QString::fromStdString(path), &error);
        if (parts == nullptr) {
            state.SkipWithError(error.toStdString().c_str());
            return;
        }
        SessionWindow window(std::move(parts));
        window.show();
        QApplication::processEvents();
        rows = static_cast<size_t>(window.view()->status_model(1)->rowCount() + window.view()->status_model(2)->rowCount());
    }
    state.counters["rows"] = static_cast<double>(rows);
    state.counters["peak_MiB"] = peak_mib();
}

}  // namespace

int main(int argc, char **argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    SessionFiles files;
    const struct {
        const char *name;
        void (*run)(benchmark::State &, SessionFiles *);
    } benchmarks[] = {
        {"BM_MonitorOpenSession", BM_MonitorOpenSession},
        {"BM_ReadSession", BM_ReadSession},
        {"BM_OpenSessionCore", BM_OpenSessionCore},
        {"BM_OpenSessionWindow", BM_OpenSessionWindow},
    };
    for (const auto &b : benchmarks) {
        // Argument 0: a plain file, 1: compressed.
        benchmark::RegisterBenchmark(b.name, b.run, &files)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(3);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
