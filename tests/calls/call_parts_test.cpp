// The bounded parts of a call (series, eyes, caller-ID texts from driver
// memory) and what the exports make of awkward values.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "calls/call_export.h"
#include "calls/call_summary.h"
#include "calls/timeline_marks.h"
#include "calls_support.h"

namespace {

TEST(CallParts, SeriesStayBoundedAndSpanTheCall) {
    std::vector<Step> steps{rec(0, 1, 22, 1)};
    const int samples = 10000;
    for (int i = 0; i < samples; ++i) steps.push_back(rec(i, 1, 65, 6, 100 + (i * 37) % 500));
    steps.push_back(rec(samples, 1, 22, 0));
    WatchedSession session;
    session.play(steps);
    const std::vector<const Call *> calls = session.finish();
    ASSERT_EQ(calls.size(), 1u);
    const Series &snr = calls[0]->series[SERIES_SNR];
    const std::vector<SeriesPoint> &points = calls[0]->series_points[SERIES_SNR];
    EXPECT_EQ(snr.samples, uint64_t(samples));
    EXPECT_LE(points.size(), SERIES_POINTS_MAX);
    EXPECT_GE(points.size(), SERIES_POINTS_MAX / 2);
    EXPECT_EQ(snr.first, 100);
    EXPECT_EQ(snr.last, 100 + ((samples - 1) * 37) % 500);
    EXPECT_EQ(snr.lowest, 100);
    EXPECT_EQ(snr.highest, 599);
    EXPECT_EQ(points.front().time_us, 0);
    // The points reach the end of the call: the last kept sample is within one stride of it.
    EXPECT_GE(points.back().time_us, int64_t(samples - snr.stride) * 1000);
    for (size_t i = 1; i < points.size(); ++i) ASSERT_LT(points[i - 1].time_us, points[i].time_us);
}

TEST(CallParts, EventsFreezeTheLastTicksOfTheirCall) {
    std::vector<Step> steps{eye(0, 1, 10), rec(50, 1, 22, 1)};  // the tick at 0 came before the call
    for (int t = 100; t <= 600; t += 100) steps.push_back(eye(t, 1, 600));
    steps.push_back(eye(650, 2, 5));  // modem 2's points are not modem 1's
    steps.push_back(rec(700, 1, 39));
    WatchedSession session;
    session.play(steps);
    const Call *running = call_watch_running(*session.watch, 1);
    ASSERT_NE(running, nullptr);
    ASSERT_EQ(running->events.size(), 1u);
    ASSERT_EQ(running->events[0].frozen_eye, 0);
    const FrozenEye &frozen = running->eyes[0];
    EXPECT_EQ(frozen.kind, EVENT_RETRAIN);
    ASSERT_EQ(frozen.ticks, EYE_TICKS_KEPT);
    for (size_t i = 0; i < EYE_TICKS_KEPT; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(frozen.tick[i].time_us, int64_t(300 + 100 * i) * 1000);  // oldest first
        EXPECT_EQ(frozen.tick[i].count, EYE_POINTS_MAX);                  // 600 points cut to 512
        EXPECT_EQ(frozen.tick[i].points[EYE_POINTS_MAX - 1].x, 300 + 100 * int(i));
    }

    // A call with only the stale tick before it freezes nothing.
    WatchedSession stale;
    stale.play({eye(0, 1, 10), rec(50, 1, 22, 1), rec(60, 1, 38)});
    EXPECT_EQ(call_watch_running(*stale.watch, 1)->events[0].frozen_eye, -1);
}

TEST(CallParts, FrozenEyesKeepTheFirstAndTheLatest) {
    std::vector<Step> steps{rec(0, 1, 22, 1)};
    const int retrains = int(FROZEN_EYES_MAX) + 3;
    for (int i = 0; i < retrains; ++i) {
        steps.push_back(eye(10 * i + 5, 1, 4));
        steps.push_back(rec(10 * i + 6, 1, 38));
    }
    WatchedSession session;
    session.play(steps);
    const Call &call = *call_watch_running(*session.watch, 1);
    ASSERT_EQ(call.eyes.size(), FROZEN_EYES_MAX);
    ASSERT_EQ(call.events.size(), size_t(retrains));
    for (int i = 0; i < retrains; ++i) {
        SCOPED_TRACE(i);
        const int16_t want = i < int(FROZEN_EYES_MAX) - 1 ? int16_t(i)
                             : i == retrains - 1          ? int16_t(FROZEN_EYES_MAX - 1)
                                                          : int16_t(-1);
        EXPECT_EQ(call.events[i].frozen_eye, want);
    }
    EXPECT_EQ(call.eyes.back().time_us, int64_t(10 * (retrains - 1) + 6) * 1000);

    // An eye of a few points takes the room of those points, not of full
    // ticks; a copy keeps its points when the eye it came from is gone.
    EXPECT_EQ(call.eyes.back().point_bytes(), EYE_TICKS_KEPT * 4 * sizeof(EyeXY));  // 4 ticks of 4 points
    std::unique_ptr<FrozenEye> original(new FrozenEye(call.eyes.back()));
    FrozenEye copy;
    copy = *original;
    original.reset();
    ASSERT_EQ(copy.ticks, EYE_TICKS_KEPT);
    EXPECT_EQ(copy.tick[EYE_TICKS_KEPT - 1].count, 4);
    EXPECT_EQ(copy.tick[EYE_TICKS_KEPT - 1].points[3].x, 10 * (retrains - 1) + 5);
    EXPECT_EQ(copy.tick[0].points[0].x, 10 * (retrains - 4) + 5);
}

struct CallerTextCase {
    const char *name;
    std::vector<unsigned char> block;  // at 0x1000; empty: nothing mapped
    uint32_t count;
    bool known;
    const char *text;
};

TEST(CallParts, CallerIdTextsFromDriverMemory) {
    const std::string long_name(200, 'N');
    const CallerTextCase cases[] = {
        {"count within the block", {'A', 'B', 'C', 'D'}, 3, true, "ABC"},
        {"a NUL before the count", {'A', 'B', 0, 'D'}, 4, true, "AB"},
        {"a count of 0", {'A'}, 0, true, ""},
        {"a negative count reads nothing", {'A'}, 0xFFFFFFFF, true, ""},
        {"the block ends before the count", {'A', 'B'}, 5, false, ""},
        {"nothing mapped", {}, 5, false, ""},
        {"longer than the field: cut to 79", std::vector<unsigned char>(long_name.begin(), long_name.end()), 200,
         true, "NNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNN"},
    };
    for (const CallerTextCase &c : cases) {
        SCOPED_TRACE(c.name);
        WatchedSession session;
        if (!c.block.empty()) session.memory.push_back({0x1000, c.block});
        session.play({rec(0, 1, 26, 20), rec(0, 1, 72, 5, c.count, 0x1000)});
        const Call &call = *call_watch_running(*session.watch, 1);
        EXPECT_EQ(call.caller.name_known, c.known);
        EXPECT_STREQ(call.caller.name, c.text);
        EXPECT_EQ(call.anomalies.size(), c.known ? 0u : 1u);
    }
}

// A finished call whose caller name holds the characters that CSV and JSON quote.
const Call *awkward_call(WatchedSession &session) {
    const std::string name = "O\"Neil, \"Pat\"\t\x01";
    session.memory.push_back({0x2000, std::vector<unsigned char>(name.begin(), name.end())});
    session.play({rec(0, 1, 26, 20), rec(0, 1, 72, 5, uint32_t(name.size()), 0x2000), rec(0, 1, 22, 1),
                  rec(100, 1, 2, 0x100), rec(100, 1, 11, 0x20000), rec(150, 1, 65, 2, 347), rec(200, 1, 35),
                  rec(250, 1, 22, 0)});
    return session.finish().at(0);
}

TEST(CallParts, ExportsQuoteWhatTheyMust) {
    WatchedSession session;
    const Call *call = awkward_call(session);

    std::string csv;
    call_detail_csv(*call, csv);
    EXPECT_NE(csv.find("summary,Caller ID name,,\"O\"\"Neil, \"\"Pat\"\"\t\x01\"\r\n"), std::string::npos) << csv;
    EXPECT_NE(csv.find("series,rx_level_dbm,0.150,-21.7\r\n"), std::string::npos) << csv;
    EXPECT_NE(csv.find("event,cleardown,0.200,remote\r\n"), std::string::npos) << csv;
    EXPECT_EQ(csv.find('\n'), csv.find("\r\n") + 1);  // rows end in CR LF

    std::string list;
    calls_list_csv({&call, 1}, list);
    EXPECT_EQ(list.substr(list.find("\r\n") + 2),
              "1,1,0.000,2023-11-14T22:13:20.000Z,0.200,0.200,answer,v.34,31200,,0,0,remote,0,no connection,"
              "\"No connection: the call lasted 0.2 s, too short to have connected (a connection takes 2 s at "
              "least)\"\r\n");

    std::string json;
    call_json(*call, true, json);
    EXPECT_NE(json.find("\"name\":\"O\\\"Neil, \\\"Pat\\\"\\t\\u0001\""), std::string::npos) << json;
    EXPECT_NE(json.find("\"rx_level_dbm\":{\"samples\":1,\"first\":-21.7"), std::string::npos) << json;
    EXPECT_NE(json.find("\"verdict\":{\"termination\":\"no connection\""), std::string::npos) << json;

    FILE *file = tmpfile();
    ASSERT_NE(file, nullptr);
    ASSERT_TRUE(call_write_json_line(file, *call));
    rewind(file);
    std::string line(4096, '\0');
    line.resize(fread(line.data(), 1, line.size(), file));
    fclose(file);
    EXPECT_EQ(line.find('\n'), line.size() - 1);  // exactly one line
    EXPECT_EQ(line.find("\"points\""), std::string::npos);
}

TEST(CallParts, ComparisonMarksTheDifferences) {
    WatchedSession one, two;
    one.play({rec(0, 1, 22, 1), rec(0, 1, 2, 0x100), rec(0, 1, 11, 0x20000), rec(10, 1, 34), rec(20, 1, 22, 0)});
    two.play({rec(0, 1, 22, 1), rec(0, 1, 2, 0x100), rec(0, 1, 11, 0x10000), rec(5, 1, 38), rec(10, 1, 34),
              rec(20, 1, 22, 0)});
    std::vector<SummaryRow> a, b;
    call_summary(*one.finish().at(0), a);
    call_summary(*two.finish().at(0), b);
    std::vector<CompareRow> rows;
    compare_summaries(a, b, rows);
    std::vector<std::string> differing;
    for (const CompareRow &row : rows)
        if (row.differs) differing.push_back(row.key);
    // By key: Event 1 of the first call is its cleardown, of the second its
    // retrain; the second call's cleardown is its own Event 2, which stands
    // in its place (after Event 1), not at the end.
    EXPECT_EQ(differing, (std::vector<std::string>{"Rx rate initial", "Rx rate final", "Rx rate lowest",
                                                   "Rx rate highest", "Retrains", "Event 1", "Event 2",
                                                   "Finding 2"}));
    EXPECT_EQ(std::string(rows[rows.size() - 1].key), "Anomalies");

    // By the calls: the cleardowns pair (kind and time), the retrain is the second call's alone.
    const Call &ca = *one.finish().at(0), &cb = *two.finish().at(0);
    compare_calls(ca, cb, a, b, rows);
    std::vector<std::string> events;
    for (const CompareRow &row : rows)
        if (std::string(row.key).rfind("Event", 0) == 0)
            events.push_back(std::string(row.key) + "|" + row.a + "|" + row.b);
    EXPECT_EQ(events, (std::vector<std::string>{
                          "Event 1||+0.005 s retrain (local, code 38)",
                          "Event 1|+0.010 s cleardown (local, code 34)|+0.010 s cleardown (local, code 34)"}));
}

// A timeline of one call, then of two compared: which events have marks,
// and what a click picks (the plot 600 x 300 pixels at (100, 50)).
TEST(CallParts, TimelineMarksAndPicksOfOneCallAndOfTwo) {
    Call a, b;
    a.modem = 1;
    a.number = 1;
    a.start_us = 10'000'000;
    a.end_us = 13'000'000;
    a.events = {{11'000'000, -1, EVENT_RETRAIN, ORIGIN_LOCAL, 38, -1},
                {11'500'000, -1, EVENT_FALLBACK, ORIGIN_UNKNOWN, 64, -1},
                {13'000'000, -1, EVENT_CLEARDOWN, ORIGIN_LOCAL, 34, -1}};
    b.modem = 2;
    b.number = 4;
    b.start_us = 40'000'000;
    b.end_us = 45'000'000;
    b.events = {{41'000'000, -1, EVENT_RETRAIN, ORIGIN_REMOTE, 39, -1},
                {43'000'000, -1, EVENT_CARRIER_LOST, ORIGIN_UNKNOWN, 37, -1},
                {43'000'000, -1, EVENT_CLEARDOWN, ORIGIN_REMOTE, 35, -1}};
    const TimelineCalls one{{&a, nullptr}, 1}, two{{&a, &b}, 2};
    // One call over 10 to 13 s (200 pixels a second), two over 0 to 5 s (120).
    const TimelineFrame one_frame{100, 50, 600, 300, 10, 13}, two_frame{100, 50, 600, 300, 0, 5};
    const struct {
        const char *name;
        bool pair;
        double x, y;
        int call, modem;
        int64_t time_us;
        int code, event;
        const char *tooltip;  // of the picked mark
    } cases[] = {
        {"a mark, clicked below it", false, 300, 90, 0, 1, 11'000'000, 38, 0,
         "Modem 1 call 1: retrain (local) at 11.000 s"},
        {"a mark a few pixels off", false, 696, 200, 0, 1, 13'000'000, 34, 2,
         "Modem 1 call 1: cleardown (local) at 13.000 s"},
        {"a fallback has no mark", false, 400, 200, 0, 1, 11'500'000, 0, -1, nullptr},
        {"above the plot", false, 300, 10, -1, 0, 0, 0, -1, nullptr},
        {"A's retrain, at the top", true, 220, 60, 0, 1, 11'000'000, 38, 0,
         "A, modem 1 call 1: retrain (local) at 1.000 s into the call"},
        {"B's retrain at the same moment, at the bottom", true, 220, 340, 1, 2, 41'000'000, 39, 0,
         "B, modem 2 call 4: retrain (remote) at 1.000 s into the call"},
        {"B's carrier lost beside its cleardown", true, 461, 295, 1, 2, 43'000'000, 37, 1,
         "B, modem 2 call 4: carrier lost at 3.000 s into the call"},
        {"A's cleardown in the same column", true, 459, 65, 0, 1, 13'000'000, 34, 2,
         "A, modem 1 call 1: cleardown (local) at 3.000 s into the call"},
        {"a moment within A", true, 340, 200, 0, 1, 12'000'000, 0, -1, nullptr},
        {"a moment past A's end is B's", true, 580, 200, 1, 2, 44'000'000, 0, -1, nullptr},
    };
    std::vector<MarkPlace> marks;
    timeline_marks(one, marks);
    EXPECT_EQ(marks.size(), 2u);
    timeline_marks(two, marks);
    ASSERT_EQ(marks.size(), 5u);
    EXPECT_EQ(marks[2].call, 1);
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const TimelineCalls &shown = c.pair ? two : one;
        timeline_marks(shown, marks);
        const TimelinePick pick = timeline_pick(shown, marks, c.pair ? two_frame : one_frame, c.x, c.y, 6);
        EXPECT_EQ(pick.call, c.call);
        EXPECT_EQ(pick.modem, c.modem);
        EXPECT_EQ(pick.time_us, c.time_us);
        EXPECT_EQ(pick.code, c.code);
        EXPECT_EQ(pick.event, c.event);
        if (c.tooltip == nullptr) continue;
        const auto place = std::find_if(marks.begin(), marks.end(), [&](const MarkPlace &m) {
            return m.call == pick.call && m.event == pick.event;
        });
        ASSERT_NE(place, marks.end());
        char text[128];
        timeline_mark_text(shown, *place, text, sizeof text);
        EXPECT_STREQ(text, c.tooltip);
    }
}

}  // namespace

namespace {

// Records of every kind the tracker reads, with parameters near their
// meaningful values and anywhere in 32 bits, eye ticks and changes of the
// active count: nothing may crash, and every list stays within its bound.
TEST(CallParts, RandomSessionsStayBounded) {
    const uint32_t codes[] = {2,  3,  4,  11, 12, 13, 14, 22, 22, 26, 34, 35, 36, 37, 38, 39, 40, 41, 42, 43,
                              44, 64, 65, 65, 66, 69, 70, 71, 72, 77, 80, 81, 84, 88, 89, 97, 128, 129, 131, 500};
    uint32_t state = 12345;
    auto next = [&state] {
        state = state * 1103515245u + 12345u;
        return state >> 8;
    };
    WatchedSession session;
    session.memory.push_back({0x1000, std::vector<unsigned char>(64, 'x')});
    std::vector<Step> steps;
    for (int i = 0; i < 100000; ++i) {
        const uint32_t pick = next() % 100;
        if (pick == 0) {
            steps.push_back(active(i, next() % 3));
        } else if (pick < 4) {
            steps.push_back(eye(i, 1 + next() % 2, next() % 600));
        } else {
            const uint32_t code = codes[next() % (sizeof codes / sizeof codes[0])];
            auto param = [&] { return next() % 4 == 0 ? next() * 2654435761u : next() % 50; };
            const uint32_t p3 = next() % 2 ? 0x1000 + next() % 80 : param();
            steps.push_back(rec(i, 1 + next() % 2, code, param(), param(), p3, param(), param()));
        }
    }
    session.play(steps);
    const std::vector<const Call *> calls = session.finish();
    ASSERT_FALSE(calls.empty());
    std::string text;
    for (const Call *call : calls) {
        for (const std::vector<SeriesPoint> &points : call->series_points) ASSERT_LE(points.size(), SERIES_POINTS_MAX);
        ASSERT_LE(call->events.size(), CALL_EVENTS_MAX);
        ASSERT_LE(call->eyes.size(), FROZEN_EYES_MAX);
        ASSERT_LE(call->anomalies.size(), ANOMALIES_MAX);
        ASSERT_LE(call->projected.size(), PROJECTED_RATES_MAX);
        for (const CallEvent &e : call->events) ASSERT_LT(e.frozen_eye, int(call->eyes.size()));
        text.clear();
        call_summary_text(*call, text);
        call_json(*call, true, text);
        call_detail_csv(*call, text);
    }
    EXPECT_LE(call_log_size(session.watch->log), CALL_LOG_DEFAULT_CAPACITY);
    EXPECT_GT(session.watch->log.dropped, 0u);  // retired calls were reused
}

}  // namespace
