// The calls list's cells, its order, export names, and the timeline's
// axes and finding picks.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "calls/calls_table.h"
#include "calls/timeline_scale.h"
#include "calls_support.h"

namespace {

// A call made by hand: modem 1 call 3 from 10 s to 14.5 s, V.34 at 28800
// and 26400 bit/s, two retrains (one remote), cleared by the remote end.
Call sample_call() {
    Call call;
    call.modem = 1;
    call.number = 3;
    call.start_us = 10'000'000;
    call.end_us = 14'500'000;
    call.ended = true;
    call.modulation = 9;
    call.rx_rate.final = 28800;
    call.tx_rate.final = 26400;
    call.retrains = 2;
    call.retrains_remote = 1;
    call.cleardown = CLEARDOWN_REMOTE;
    return call;
}

struct CellRow {
    const char *what;
    void (*change)(Call &call);
    CallsColumn column;
    int64_t origin_us, now_us;
    const char *want;
};

const CellRow CELL_ROWS[] = {
    {"modem", nullptr, CALLS_COLUMN_MODEM, 0, -1, "1"},
    {"start without any wall clock", nullptr, CALLS_COLUMN_START, 0, -1, "+10.000 s"},
    {"start from the origin", nullptr, CALLS_COLUMN_START, 1'765'216'190'000'000, -1, "2025-12-08 17:50:00"},
    {"start from the call's own wall clock", [](Call &c) { c.start_wall_us = 1'796'752'200'999'000; },
     CALLS_COLUMN_START, 5, -1, "2026-12-08 17:50:00"},
    {"duration in tenths", nullptr, CALLS_COLUMN_DURATION, 0, -1, "0:04.5"},
    {"duration in minutes", [](Call &c) { c.end_us = c.start_us + 123'400'000; }, CALLS_COLUMN_DURATION, 0, -1, "2:03"},
    {"duration in hours", [](Call &c) { c.end_us = c.start_us + 3'723'000'000; }, CALLS_COLUMN_DURATION, 0, -1,
     "1:02:03"},
    {"a running call lasts until now", [](Call &c) { c.ended = false; }, CALLS_COLUMN_DURATION, 0, 70'000'000, "1:00"},
    {"an ended call ignores now", nullptr, CALLS_COLUMN_DURATION, 0, 70'000'000, "0:04.5"},
    {"modulation unknown", [](Call &c) { c.modulation.reset(); }, CALLS_COLUMN_MODULATION, 0, -1, "-"},
    {"two modulations", [](Call &c) { c.modulation.reset(); c.modulation_conflict = true; }, CALLS_COLUMN_MODULATION,
     0, -1, "(two)"},
    {"rx rate", nullptr, CALLS_COLUMN_RX_RATE, 0, -1, "28800"},
    {"tx rate unknown", [](Call &c) { c.tx_rate.final.reset(); }, CALLS_COLUMN_TX_RATE, 0, -1, "-"},
    {"retrains with remote ones", nullptr, CALLS_COLUMN_RETRAINS, 0, -1, "2 (1 remote)"},
    {"renegotiations without remote ones", [](Call &c) { c.renegotiations = 4; }, CALLS_COLUMN_RENEGOTIATIONS, 0, -1,
     "4"},
    {"cleardown", nullptr, CALLS_COLUMN_CLEARDOWN, 0, -1, "remote"},
    {"a column out of range", nullptr, CALLS_COLUMNS, 0, -1, ""},
};

TEST(CallsTable, CellTexts) {
    for (const CellRow &row : CELL_ROWS) {
        Call call = sample_call();
        if (row.change != nullptr) row.change(call);
        char text[CALLS_CELL_BYTES];
        std::memset(text, 'x', sizeof text);
        calls_cell(call, row.column, row.origin_us, row.now_us, text, sizeof text);
        EXPECT_STREQ(text, row.want) << row.what;
    }
}

TEST(CallsTable, CellIsCutToItsBuffer) {
    const Call call = sample_call();
    char text[8];
    std::memset(text, 'x', sizeof text);
    calls_cell(call, CALLS_COLUMN_RETRAINS, 0, -1, text, 5);
    EXPECT_STREQ(text, "2 (1");
    EXPECT_EQ(text[5], 'x') << "nothing written past the size given";
}

// The verdict column names the termination of calls played as records.
struct VerdictRow {
    const char *what;
    std::vector<Step> steps;
    const char *want;
};

TEST(CallsTable, VerdictColumnAndNewestFirst) {
    const VerdictRow rows[] = {
        // Off hook, carrier present, carrier lost, on hook: no cleardown.
        {"carrier lost without cleardown", {rec(0, 1, 22, 1), rec(1000, 1, 36), rec(12400, 1, 37), rec(13000, 1, 22, 0)},
         "line drop"},
        {"cleared by the remote end", {rec(0, 1, 22, 1), rec(2500, 1, 36), rec(12000, 1, 35)}, "remote hang-up"},
        {"ended without connecting", {active(0, 1), rec(0, 1, 22, 1), active(1000, 0)}, "no connection"},
    };
    for (const VerdictRow &row : rows) {
        WatchedSession session;
        session.play(row.steps);
        const std::vector<const Call *> calls = session.finish();
        ASSERT_EQ(calls.size(), 1u) << row.what;
        char text[CALLS_CELL_BYTES];
        calls_cell(*calls[0], CALLS_COLUMN_VERDICT, 0, -1, text, sizeof text);
        EXPECT_STREQ(text, row.want) << row.what;
    }
    // Two calls of modem 1 and one of modem 2 at the second one's start.
    WatchedSession session;
    session.play({active(0, 2), rec(0, 1, 22, 1), rec(1000, 1, 22, 0), active(2000, 0), active(3000, 2),
                  rec(3000, 1, 22, 1), rec(3000, 2, 22, 1), active(4000, 0)});
    session.finish();
    std::vector<const Call *> rows_shown;
    calls_rows(*session.watch, rows_shown);
    std::string order;
    for (const Call *call : rows_shown) order += std::to_string(call->modem) + "." + std::to_string(call->number) + " ";
    EXPECT_EQ(order, "1.2 2.1 1.1 ");
}

struct NameRow {
    const char *chosen;
    bool json_filter;
    size_t size;
    bool ok;
    const char *path;
    CallsFileFormat format;
};

TEST(CallsTable, ExportNames) {
    const NameRow rows[] = {
        {"calls", false, 64, true, "calls.csv", CALLS_FILE_CSV},
        {"calls", true, 64, true, "calls.json", CALLS_FILE_JSON},
        {"C:\\x\\calls.JSON", false, 64, true, "C:\\x\\calls.JSON", CALLS_FILE_JSON},
        {"calls.Csv", true, 64, true, "calls.Csv", CALLS_FILE_CSV},
        {"calls.txt", true, 64, true, "calls.txt.json", CALLS_FILE_JSON},
        {"", false, 64, false, "", CALLS_FILE_CSV},
        {"calls", false, 9, false, "", CALLS_FILE_CSV},  // "calls.csv" needs 10 bytes
        {"calls", false, 10, true, "calls.csv", CALLS_FILE_CSV},
    };
    for (const NameRow &row : rows) {
        char path[64];
        CallsFileFormat format = CALLS_FILE_CSV;
        EXPECT_EQ(calls_export_name(row.chosen, row.json_filter, path, row.size, &format), row.ok) << row.chosen;
        EXPECT_STREQ(path, row.path) << row.chosen;
        if (row.ok) {
            EXPECT_EQ(format, row.format) << row.chosen;
        }
    }
}

// Series statistics set by hand: the scale reads only those and the times.
struct ScaleRow {
    const char *what;
    int32_t snr_high16, level_low16;  // 0: no such series
    int32_t rate_high;                // 0: no rates
    int64_t start_us, end_us;
    double time_min, time_max, time_step, level_low, level_high, rate_high_want;
};

TEST(TimelineScale, Axes) {
    const ScaleRow rows[] = {
        {"no series: the default levels and rates", 0, 0, 0, 0, 10'000'000, -0.2, 10.2, 2, -40, 60, 50000},
        {"SNR 35 dB and -21 dBm: 20 dB steps from -40", 35 * 16, -21 * 16, 14400, 5'000'000, 55'000'000, 4.0, 56.0, 10,
         -40, 60, 25000},
        {"a call of no length: a second around it", 0, 0, 0, 3'000'000, 3'000'000, 2.48, 3.52, 0.2, -40, 60, 50000},
        {"a short call of 0.4 s", 20 * 16, 0, 0, 1'000'000, 1'400'000, 0.992, 1.408, 0.05, 0, 25, 50000},
    };
    for (const ScaleRow &row : rows) {
        Call call;
        call.start_us = row.start_us;
        call.end_us = row.end_us;
        call.ended = true;
        if (row.snr_high16 != 0) {
            call.series[SERIES_SNR].samples = 1;
            call.series[SERIES_SNR].lowest = call.series[SERIES_SNR].highest = row.snr_high16;
        }
        if (row.level_low16 != 0) {
            call.series[SERIES_RX_LEVEL].samples = 1;
            call.series[SERIES_RX_LEVEL].lowest = call.series[SERIES_RX_LEVEL].highest = row.level_low16;
        }
        if (row.rate_high != 0) {
            call.series[SERIES_RX_RATE].samples = 1;
            call.series[SERIES_RX_RATE].lowest = call.series[SERIES_RX_RATE].highest = row.rate_high;
        }
        TimelineCalls shown;
        shown.calls[0] = &call;
        shown.count = 1;
        TimelineScale scale;
        timeline_scale(shown, scale);
        EXPECT_NEAR(scale.time_min, row.time_min, 1e-9) << row.what;
        EXPECT_NEAR(scale.time_max, row.time_max, 1e-9) << row.what;
        EXPECT_NEAR(scale.time_step, row.time_step, 1e-9) << row.what;
        EXPECT_NEAR(scale.level_low, row.level_low, 1e-9) << row.what;
        EXPECT_NEAR(scale.level_high, row.level_high, 1e-9) << row.what;
        EXPECT_NEAR(scale.rate_high, row.rate_high_want, 1e-9) << row.what;
        EXPECT_GE(scale.time_first_tick, scale.time_min - 1e-9) << row.what;
        EXPECT_LT(scale.time_first_tick, scale.time_min + scale.time_step) << row.what;
    }
}

TEST(TimelineScale, FindingPicks) {
    // Findings at 1 s (note), 2 s (warning) and 2 s (error) of a call shown
    // over 0 to 10 s on a plot 1000 pixels wide from x 0.
    Call call;
    call.end_us = 10'000'000;
    CallVerdict verdict;
    const FindingSeverity severities[] = {SEVERITY_NOTE, SEVERITY_WARNING, SEVERITY_ERROR};
    const int64_t times[] = {1'000'000, 2'000'000, 2'000'000};
    for (int i = 0; i < 3; ++i) {
        verdict.findings[i].severity = severities[i];
        verdict.findings[i].at.time_us = times[i];
    }
    verdict.count = 3;
    TimelineCalls shown;
    shown.calls[0] = &call;
    shown.count = 1;
    const CallVerdict *verdicts[2] = {&verdict, nullptr};
    std::vector<FindingPlace> places;
    timeline_finding_marks(shown, verdicts, places);
    ASSERT_EQ(places.size(), 3u);
    const TimelineFrame frame{0, 0, 1000, 100, 0, 10};
    const struct {
        double x;
        int want;
    } clicks[] = {{100, 0}, {104, 0}, {107, -1}, {199, 2}, {500, -1}};
    for (const auto &click : clicks) {
        EXPECT_EQ(timeline_finding_pick(places, frame, click.x, 6), click.want) << "click at x " << click.x;
    }
}

}  // namespace
