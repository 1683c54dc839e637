// The call model as one table: sessions of records (and counts of active
// modems) with the calls they must make, contradictory ones included.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <cstring>

#include "calls/call_summary.h"
#include "calls/call_tracker.h"
#include "calls/trace_calls.h"
#include "calls_support.h"

namespace {

constexpr long UNKNOWN = -1;

struct ExpectedCall {
    int modem;
    bool ended;
    CallDirection direction;
    long modulation;  // code, or UNKNOWN
    long rx_final;    // bit/s, or UNKNOWN
    long tx_final;
    uint32_t retrains, retrains_remote;
    uint32_t renegotiations, renegotiations_remote;
    CleardownCause cleardown;
    std::vector<AnomalyKind> anomalies;  // in the order noted
};

struct ModelCase {
    const char *name;
    std::vector<Step> steps;
    std::vector<ExpectedCall> calls;  // ended calls in order of ending, then running ones
};

const ModelCase CASES[] = {
    {"originated V.34 call with retrains and renegotiations, remote cleardown",
     {rec(0, 1, 22, 1), rec(0, 1, 66, 0), rec(10, 1, 2, 0x100), rec(20, 1, 11, 0x20000), rec(20, 1, 12, 0x10000),
      rec(30, 1, 36), rec(30, 1, 13), rec(100, 1, 38), rec(200, 1, 39), rec(300, 1, 40), rec(400, 1, 41),
      rec(400, 1, 11, 0x10000), rec(500, 1, 35), rec(500, 1, 37), rec(500, 1, 34), rec(510, 1, 22, 0)},
     {{1, true, DIRECTION_ORIGINATE, 0x100, 28800, 28800, 2, 1, 2, 1, CLEARDOWN_REMOTE, {}}}},
    {"answered after two rings, on hook without cleardown",
     {rec(0, 1, 26, 20), rec(100, 1, 26, 20), rec(200, 1, 22, 1), rec(300, 1, 2, 0x80), rec(300, 1, 11, 0x400),
      rec(900, 1, 22, 0)},
     {{1, true, DIRECTION_ANSWER, 0x80, 14400, UNKNOWN, 0, 0, 0, 0, CLEARDOWN_ON_HOOK, {}}}},
    {"a rate before any modulation keeps the rate and says so",
     {rec(0, 2, 22, 1), rec(10, 2, 11, 0x400), rec(20, 2, 2, 0x80), rec(30, 2, 34), rec(40, 2, 22, 0)},
     {{2, true, DIRECTION_UNKNOWN, 0x80, 14400, UNKNOWN, 0, 0, 0, 0, CLEARDOWN_LOCAL,
       {ANOMALY_RATE_BEFORE_MODULATION}}}},
    {"two modulations leave the modulation unknown",
     {rec(0, 1, 22, 1), rec(10, 1, 2, 0x100), rec(20, 1, 2, 0x100), rec(30, 1, 2, 0x80), rec(40, 1, 2, 0x100),
      rec(50, 1, 44), rec(60, 1, 22, 0)},
     {{1, true, DIRECTION_UNKNOWN, UNKNOWN, UNKNOWN, UNKNOWN, 0, 0, 0, 0, CLEARDOWN_LOCAL,
       {ANOMALY_MODULATION_CONFLICT}}}},
    {"records after the cleardown change nothing: each is noted",
     {rec(0, 1, 22, 1), rec(0, 1, 2, 0x100), rec(10, 1, 11, 0x20000), rec(20, 1, 34), rec(30, 1, 11, 0x400),
      rec(30, 1, 38), rec(30, 1, 69, 12, 100, 2), rec(40, 1, 22, 0)},
     {{1, true, DIRECTION_UNKNOWN, 0x100, 31200, UNKNOWN, 0, 0, 0, 0, CLEARDOWN_LOCAL,
       {ANOMALY_RECORD_AFTER_CLEARDOWN, ANOMALY_RECORD_AFTER_CLEARDOWN, ANOMALY_RECORD_AFTER_CLEARDOWN}}}},
    {"a cleardown record after the call ended is noted on that call and starts none",
     {rec(0, 1, 22, 1), rec(10, 1, 34), rec(20, 1, 22, 0), rec(30, 1, 37), rec(40, 1, 35)},
     {{1, true, DIRECTION_UNKNOWN, UNKNOWN, UNKNOWN, UNKNOWN, 0, 0, 0, 0, CLEARDOWN_LOCAL,
       {ANOMALY_RECORD_WHILE_IDLE, ANOMALY_RECORD_WHILE_IDLE}}}},
    {"link reports after the call ended are noted on it; a ring starts the next",
     {rec(0, 1, 22, 1), rec(10, 1, 22, 0), rec(20, 1, 128, 1000, 10), rec(20, 1, 69, 13, 5, 0), rec(30, 1, 38),
      rec(40, 1, 26, 20)},
     {{1, true, DIRECTION_UNKNOWN, UNKNOWN, UNKNOWN, UNKNOWN, 0, 0, 0, 0, CLEARDOWN_ON_HOOK,
       {ANOMALY_RECORD_WHILE_IDLE, ANOMALY_RECORD_WHILE_IDLE, ANOMALY_RECORD_WHILE_IDLE}},
      {1, false, DIRECTION_ANSWER, UNKNOWN, UNKNOWN, UNKNOWN, 0, 0, 0, 0, CLEARDOWN_NONE, {}}}},
    {"watching from the middle of a call: link records start it",
     {rec(0, 2, 69, 12, 100, 1), rec(0, 2, 11, 0x400), rec(10, 2, 40), rec(20, 2, 35), rec(30, 2, 22, 0)},
     {{2, true, DIRECTION_UNKNOWN, UNKNOWN, 14400, UNKNOWN, 0, 0, 1, 0, CLEARDOWN_REMOTE,
       {ANOMALY_RATE_BEFORE_MODULATION}}}},
    {"carrier lost, then on hook: the carrier ended the call",
     {rec(0, 1, 22, 1), rec(0, 1, 2, 0x100), rec(10, 1, 36), rec(20, 1, 37), rec(30, 1, 22, 0)},
     {{1, true, DIRECTION_UNKNOWN, 0x100, UNKNOWN, UNKNOWN, 0, 0, 0, 0, CLEARDOWN_CARRIER_LOST, {}}}},
    {"carrier lost and back, then on hook: on hook ended it",
     {rec(0, 1, 22, 1), rec(10, 1, 36), rec(20, 1, 37), rec(25, 1, 36), rec(30, 1, 22, 0)},
     {{1, true, DIRECTION_UNKNOWN, UNKNOWN, UNKNOWN, UNKNOWN, 0, 0, 0, 0, CLEARDOWN_ON_HOOK, {}}}},
    {"the modem goes idle while ringing",
     {active(0, 1), rec(0, 1, 26, 20), rec(10, 1, 88, 1), active(5000, 0)},
     {{1, true, DIRECTION_ANSWER, UNKNOWN, UNKNOWN, UNKNOWN, 0, 0, 0, 0, CLEARDOWN_IDLE, {}}}},
    {"modem 2 going idle leaves modem 1's call running",
     {rec(0, 1, 22, 1), rec(0, 2, 22, 1), active(100, 1)},
     {{2, true, DIRECTION_UNKNOWN, UNKNOWN, UNKNOWN, UNKNOWN, 0, 0, 0, 0, CLEARDOWN_IDLE, {}},
      {1, false, DIRECTION_UNKNOWN, UNKNOWN, UNKNOWN, UNKNOWN, 0, 0, 0, 0, CLEARDOWN_NONE, {}}}},
    {"idle modulation ends the call",
     {rec(0, 1, 22, 1), rec(0, 1, 2, 0x100), rec(10, 1, 2, 0)},
     {{1, true, DIRECTION_UNKNOWN, 0x100, UNKNOWN, UNKNOWN, 0, 0, 0, 0, CLEARDOWN_IDLE, {}}}},
    {"a ring after a cleardown without on hook starts the next call",
     {rec(0, 1, 22, 1), rec(0, 1, 66, 0), rec(10, 1, 2, 0x100), rec(20, 1, 34), rec(30, 1, 26, 20)},
     {{1, true, DIRECTION_ORIGINATE, 0x100, UNKNOWN, UNKNOWN, 0, 0, 0, 0, CLEARDOWN_LOCAL, {}},
      {1, false, DIRECTION_ANSWER, UNKNOWN, UNKNOWN, UNKNOWN, 0, 0, 0, 0, CLEARDOWN_NONE, {}}}},
    {"ring and dialing in one call: direction unknown",
     {rec(0, 1, 26, 20), rec(10, 1, 66, 0), rec(20, 1, 66, 0)},
     {{1, false, DIRECTION_UNKNOWN, UNKNOWN, UNKNOWN, UNKNOWN, 0, 0, 0, 0, CLEARDOWN_NONE,
       {ANOMALY_DIRECTION_CONFLICT}}}},
    {"values without a table entry stay unknown",
     {rec(0, 1, 22, 1), rec(0, 1, 2, 3), rec(0, 1, 3, 9), rec(0, 1, 4, 0xFFFFFFFF), rec(0, 1, 11, 0x30),
      rec(0, 1, 12, 0x40000002), rec(0, 1, 200, 5), rec(0, 1, 65, 99, 5), rec(0, 1, 64, 42, 0x0F0E0100),
      rec(0, 1, 22, 0)},
     {{1, true, DIRECTION_UNKNOWN, UNKNOWN, UNKNOWN, UNKNOWN, 0, 0, 0, 0, CLEARDOWN_ON_HOOK,
       {ANOMALY_MODULATION_UNKNOWN, ANOMALY_SYMBOL_RATE_INDEX, ANOMALY_SYMBOL_RATE_INDEX, ANOMALY_RATE_UNKNOWN,
        ANOMALY_RATE_UNKNOWN, ANOMALY_SYMBOL_RATE_INDEX}}}},
    {"host-interface records, capture control and errors start no call",
     {rec(0, 1, 93, 1), rec(0, 1, 97, 0), rec(0, 1, 22, 0), rec(0, 1, 77, 10000), rec(0, 2, 131, 1),
      rec(0, 0, 1), rec(0, 3, 22, 1), rec(0, 1, 2, 0)},
     {}},
    {"two modems' calls interleaved stay apart",
     {rec(0, 1, 22, 1), rec(0, 2, 26, 20), rec(10, 1, 2, 0x100), rec(10, 2, 22, 1), rec(20, 2, 2, 0x80),
      rec(20, 2, 12, 0x200), rec(30, 1, 34), rec(30, 1, 22, 0), rec(40, 2, 35), rec(50, 2, 22, 0)},
     {{1, true, DIRECTION_UNKNOWN, 0x100, UNKNOWN, UNKNOWN, 0, 0, 0, 0, CLEARDOWN_LOCAL, {}},
      {2, true, DIRECTION_ANSWER, 0x80, UNKNOWN, 12000, 0, 0, 0, 0, CLEARDOWN_REMOTE, {}}}},
    {"off hook twice, two error-control protocols",
     {rec(0, 1, 22, 1), rec(10, 1, 22, 1), rec(20, 1, 69, 1), rec(30, 1, 80, 1), rec(40, 1, 22, 0)},
     {{1, true, DIRECTION_UNKNOWN, UNKNOWN, UNKNOWN, UNKNOWN, 0, 0, 0, 0, CLEARDOWN_ON_HOOK,
       {ANOMALY_OFF_HOOK_TWICE, ANOMALY_ERROR_CONTROL_CONFLICT}}}},
    {"V.80 established after LAPM: two protocols",
     {rec(0, 1, 22, 1), rec(10, 1, 69, 1), rec(20, 1, 89, 1), rec(40, 1, 22, 0)},
     {{1, true, DIRECTION_UNKNOWN, UNKNOWN, UNKNOWN, UNKNOWN, 0, 0, 0, 0, CLEARDOWN_ON_HOOK,
       {ANOMALY_ERROR_CONTROL_CONFLICT}}}},
    {"a session that ends mid-call keeps the call as running",
     {rec(0, 2, 22, 1), rec(0, 2, 66, 0), rec(10, 2, 2, 0x400), rec(20, 2, 11, 0x40080000)},
     {{2, false, DIRECTION_ORIGINATE, 0x400, 50666, UNKNOWN, 0, 0, 0, 0, CLEARDOWN_NONE, {}}}},
};

long or_unknown(const std::optional<long> &v) { return v ? *v : UNKNOWN; }

// Plays each case's steps and hands every call it made, with the one the
// case expects in its place, to check.
template <class Case, class Check>
void check_calls(const Case &c, Check check) {
    SCOPED_TRACE(c.name);
    WatchedSession session;
    session.play(c.steps);
    const std::vector<const Call *> calls = session.finish();
    ASSERT_EQ(calls.size(), c.calls.size());
    for (size_t i = 0; i < calls.size(); ++i) {
        SCOPED_TRACE("call " + std::to_string(i + 1));
        check(*calls[i], c.calls[i]);
    }
}

TEST(CallModel, SessionsMakeTheirCalls) {
    for (const ModelCase &c : CASES) {
        check_calls(c, [](const Call &got, const ExpectedCall &want) {
            EXPECT_EQ(got.modem, want.modem);
            EXPECT_EQ(got.ended, want.ended);
            EXPECT_EQ(got.direction, want.direction);
            EXPECT_EQ(got.modulation ? long(*got.modulation) : UNKNOWN, want.modulation);
            EXPECT_EQ(or_unknown(got.rx_rate.final), want.rx_final);
            EXPECT_EQ(or_unknown(got.tx_rate.final), want.tx_final);
            EXPECT_EQ(got.retrains, want.retrains);
            EXPECT_EQ(got.retrains_remote, want.retrains_remote);
            EXPECT_EQ(got.renegotiations, want.renegotiations);
            EXPECT_EQ(got.renegotiations_remote, want.renegotiations_remote);
            EXPECT_EQ(got.cleardown, want.cleardown);
            std::vector<AnomalyKind> kinds;
            for (const Anomaly &a : got.anomalies) kinds.push_back(a.kind);
            EXPECT_EQ(kinds, want.anomalies);
        });
    }
}

// When calls start and end, when they connected and which records they
// hold: sessions worked out by hand (records are numbered per modem).
struct Moments {
    int64_t start_ms, end_ms;
    int64_t connected_ms;  // -1: unknown
    uint16_t connected_code;
    uint32_t first_record;
    uint64_t snr_samples;
    size_t anomalies;
};

struct MomentCase {
    const char *name;
    std::vector<Step> steps;
    std::vector<Moments> calls;
};

const MomentCase MOMENT_CASES[] = {
    {"a call ends at its cleardown, not at the on hook after it",
     {rec(0, 1, 22, 1), rec(0, 1, 2, 0x100), rec(100, 1, 36), rec(1000, 1, 34), rec(1500, 1, 37),
      rec(3000, 1, 22, 0)},
     {{0, 1000, 100, 36, 1, 0, 0}}},
    {"a call ends at its cleardown, not when the modem goes idle later",
     {active(0, 1), rec(0, 1, 22, 1), rec(100, 1, 13), rec(1000, 1, 35), active(5000, 0)},
     {{0, 1000, 100, 13, 1, 0, 0}}},
    {"without cleardown a call ends when the modem goes idle",
     {active(0, 1), rec(0, 1, 22, 1), rec(100, 1, 129), active(4000, 0)},
     {{0, 4000, 100, 129, 1, 0, 0}}},
    {"a measurement after the cleardown is noted, not added to the series",
     {rec(0, 1, 22, 1), rec(100, 1, 65, 6, 480), rec(200, 1, 35), rec(300, 1, 65, 6, 160), rec(400, 1, 22, 0)},
     {{0, 200, -1, 0, 1, 1, 1}}},
    {"V.8 after a cleardown starts the next call, numbered on",
     {rec(0, 1, 22, 1), rec(100, 1, 35), rec(200, 1, 64, 22), rec(300, 1, 36), rec(500, 1, 34)},
     {{0, 100, -1, 0, 1, 0, 0}, {200, 500, 300, 36, 3, 0, 0}}},
    {"training after a cleardown starts the next call",
     {rec(0, 1, 26, 20), rec(100, 1, 44), rec(100, 1, 37), rec(200, 1, 64, 38, 14), rec(900, 1, 34)},
     {{0, 100, -1, 0, 1, 0, 0}, {200, 900, -1, 0, 4, 0, 0}}},
    {"error control established shows the connection",
     {rec(0, 1, 22, 1), rec(0, 1, 2, 0x100), rec(700, 1, 69, 1), rec(900, 1, 34)},
     {{0, 900, 700, 69, 1, 0, 0}}},
    {"rates and frames without carrier, data mode or error control: connection unknown",
     {rec(0, 1, 22, 1), rec(0, 1, 2, 0x100), rec(10, 1, 11, 0x20000), rec(20, 1, 69, 12, 5000, 0),
      rec(900, 1, 34)},
     {{0, 900, -1, 0, 1, 0, 0}}},
};

TEST(CallModel, CallsEndAtTheirCleardownAndConnectAtTheirFirstSign) {
    for (const MomentCase &c : MOMENT_CASES) {
        check_calls(c, [](const Call &got, const Moments &want) {
            EXPECT_TRUE(got.ended);
            EXPECT_EQ(got.start_us, want.start_ms * 1000);
            EXPECT_EQ(got.end_us, want.end_ms * 1000);
            EXPECT_EQ(got.end_wall_us - got.start_wall_us, got.end_us - got.start_us);
            EXPECT_EQ(got.connected_us.value_or(-1000), want.connected_ms * 1000);
            EXPECT_EQ(got.connected_at.code, want.connected_code);
            EXPECT_EQ(got.first_record, want.first_record);
            EXPECT_EQ(got.series[SERIES_SNR].samples, want.snr_samples);
            EXPECT_EQ(got.anomalies.size(), want.anomalies);
        });
    }
}

// The calls of a trace given line by line.
std::vector<Call> calls_of_lines(const std::vector<const char *> &lines) {
    std::vector<TraceDirective> trace;
    for (const char *line : lines) {
        TraceDirective d{};
        char error[128];
        const int parsed = parse_trace_line(line, strlen(line), &d, error, sizeof error);
        EXPECT_GE(parsed, 0) << line << ": " << error;
        if (parsed > 0) trace.push_back(d);  // 0: a comment
    }
    std::vector<Call> calls;
    trace_calls(trace, calls);
    return calls;
}

// A session's calls carry the wall clock of its header plus the waits.
TEST(CallModel, SessionHeaderGivesTheWallClock) {
    const std::vector<Call> calls = calls_of_lines({"session 2026-12-08T17:46:16.123Z \"LineWatch\"", "rec 1 22 1",
                                                    "wait 1500", "rec 1 34", "wait 500", "rec 1 22 0"});
    ASSERT_EQ(calls.size(), 1u);
    char start[40], end[40];
    format_wall(calls[0].start_wall_us, start, sizeof start);
    format_wall(calls[0].end_wall_us, end, sizeof end);
    EXPECT_STREQ(start, "2026-12-08T17:46:16.123Z");
    EXPECT_STREQ(end, "2026-12-08T17:46:17.623Z");
}

// A caller-ID text is read from the trace's memory as the monitor read it:
// not where the trace made that memory unreadable.
TEST(CallModel, CallerIdTextsHonourUnreadableMemory) {
    const struct {
        const char *unreadable;  // a directive before the caller ID, or a comment
        bool known;
        const char *name;
    } cases[] = {
        {"# all readable", true, "ALICE"},
        {"unreadable 0x1000 5", false, ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.unreadable);
        const std::vector<Call> calls =
            calls_of_lines({"str 0x1000 \"ALICE\"", c.unreadable, "rec 1 26 20", "rec 1 72 5 5 0x1000", "rec 1 34"});
        ASSERT_EQ(calls.size(), 1u);
        EXPECT_EQ(calls[0].caller.name_known, c.known);
        EXPECT_STREQ(calls[0].caller.name, c.name);
    }
}

}  // namespace
