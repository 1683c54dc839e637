// The Calls view offscreen with 1,000 calls and a selected call of 100,000
// points in each drawn series: what a repaint costs, what showing the call
// (copy and thinning) costs, and the once-a-second refresh of a running
// selected call with its repaint. All must stay within one 100 ms tick.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QTableView>

#include <cmath>
#include <memory>

#include "bench/window_bench_main.h"
#include "calls/call_watch.h"
#include "monitor/qt/call_timeline.h"
#include "monitor/qt/calls_view.h"

namespace {

constexpr int CALLS = 1000;
constexpr int POINTS = 100000;

StatusRecord record(uint32_t code, uint32_t param1 = 0) {
    StatusRecord r{};
    r.modem = 1;
    r.code = code;
    r.param1 = param1;
    return r;
}

// 999 ended calls of modem 1 and a running one, the running one with
// POINTS points in SNR, Rx level and both rates over an hour.
std::unique_ptr<CallWatch> big_watch() {
    auto watch = std::make_unique<CallWatch>();
    call_watch_init(*watch, DriverMemoryAccess{nullptr, nullptr}, CALLS, {nullptr, nullptr});
    int64_t t = 0;
    for (int c = 0; c < CALLS; ++c) {
        call_watch_record(*watch, record(22, 1), t, -1);
        call_watch_record(*watch, record(2, 0x100), t + 1000, -1);
        call_watch_record(*watch, record(11, 0x600), t + 2000, -1);
        call_watch_record(*watch, record(38), t + 30000000, -1);
        if (c + 1 < CALLS) {
            call_watch_record(*watch, record(35), t + 60000000, -1);
            call_watch_record(*watch, record(22, 0), t + 60000000, -1);
        }
        t += 120000000;
    }
    Call &running = *watch->tracker[0].call;
    const int64_t start = running.start_us;
    for (SeriesKind kind : {SERIES_SNR, SERIES_RX_LEVEL, SERIES_RX_RATE, SERIES_TX_RATE}) {
        std::vector<SeriesPoint> &points = running.series_points[kind];
        points.clear();
        for (int i = 0; i < POINTS; ++i) {
            const double x = i / 500.0;
            const int32_t v = kind == SERIES_SNR        ? int32_t((32 + 6 * std::sin(x)) * 16)
                              : kind == SERIES_RX_LEVEL ? int32_t((-20 - 4 * std::cos(x)) * 16)
                                                        : (i / 20000 % 2 == 0 ? 28800 : 31200);
            points.push_back({start + int64_t(i) * 36000, v});
        }
        running.series[kind].samples = POINTS;
        running.series[kind].lowest = kind == SERIES_SNR ? 26 * 16 : kind == SERIES_RX_LEVEL ? -24 * 16 : 28800;
        running.series[kind].highest = kind == SERIES_SNR ? 38 * 16 : kind == SERIES_RX_LEVEL ? -16 * 16 : 31200;
    }
    running.end_us = start + int64_t(POINTS) * 36000;
    return watch;
}

struct Fixture {
    std::unique_ptr<CallWatch> watch = big_watch();
    CallsView view;
    Fixture() {
        view.resize(1280, 560);
        view.set_watch(watch.get(), 0);
        view.set_clock([this] { return watch->tracker[0].call->end_us; });
        view.show();
        QApplication::processEvents();
        view.select_rows({0});  // the running call, newest
        QApplication::processEvents();
    }
};

// The whole view drawn into a picture: the list, summary, and timeline.
void BM_CallsViewRepaint(benchmark::State &state) {
    Fixture f;
    for (auto _ : state) {
        benchmark::DoNotOptimize(f.view.grab());
    }
    state.counters["calls"] = f.view.model()->rowCount();
    state.counters["drawn_snr"] = f.view.timeline()->drawn_points(0, LINE_SNR);
    state.counters["points"] = double(f.view.shown_call()->series_points[SERIES_SNR].size());
}
BENCHMARK(BM_CallsViewRepaint)->Unit(benchmark::kMillisecond);

void BM_TimelineRepaint(benchmark::State &state) {
    Fixture f;
    for (auto _ : state) {
        f.view.timeline()->viewport()->repaint();
    }
    state.counters["drawn_snr"] = f.view.timeline()->drawn_points(0, LINE_SNR);
}
BENCHMARK(BM_TimelineRepaint)->Unit(benchmark::kMillisecond);

// The once-a-second refresh with the running call selected: its copy, its
// summary, its thinning, then the repaint of the whole view.
void BM_RefreshRunningCallAndRepaint(benchmark::State &state) {
    Fixture f;
    for (auto _ : state) {
        f.view.refresh();
        benchmark::DoNotOptimize(f.view.grab());
    }
}
BENCHMARK(BM_RefreshRunningCallAndRepaint)->Unit(benchmark::kMillisecond);

// Without thinning, for comparison: every point handed to the chart.
void BM_TimelineUnthinnedRepaint(benchmark::State &state) {
    Fixture f;
    CallTimeline raw;
    raw.resize(800, 400);
    raw.set_thinning(false);
    raw.show_call(*f.view.shown_call());
    raw.show();
    QApplication::processEvents();
    for (auto _ : state) {
        raw.viewport()->repaint();
    }
    state.counters["drawn_snr"] = raw.drawn_points(0, LINE_SNR);
}
BENCHMARK(BM_TimelineUnthinnedRepaint)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char **argv) { return run_window_benchmarks(argc, argv); }
