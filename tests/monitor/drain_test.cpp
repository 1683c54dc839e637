// The monitor core over the in-process simulated driver: the status drain
// with its warning re-entry, the eye fetch, and the console mode.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "capture/capture.h"
#include "capture/intake.h"
#include "capture/sim_fixture.h"
#include "console_fixture.h"
#include "monitor/console.h"
#include "monitor/eye.h"
#include "monitor/monitor.h"
#include "trace/trace.h"

namespace {

StatusRecord record(uint32_t modem, uint32_t code, uint32_t p1 = 0) {
    StatusRecord r{};
    r.modem = modem;
    r.code = code;
    r.param1 = p1;
    return r;
}

// Everything a drain hands to its sink, as "m: line" and "warning: line".
struct Recorded {
    Monitor *monitor;
    std::vector<std::string> events;
    std::vector<std::string> during_warning;  // what a re-entered drain handed over
    bool reenter = false;
};

void record_line(void *context, int modem, const char *line) {
    static_cast<Recorded *>(context)->events.push_back(std::to_string(modem) + ": " + line);
}

void record_warning(void *context, const char *line) {
    Recorded *recorded = static_cast<Recorded *>(context);
    recorded->events.push_back(std::string("warning: ") + line);
    if (recorded->reenter) {
        // A timer tick inside the warning box's own message loop.
        Recorded inner{recorded->monitor};
        inner.reenter = true;
        Monitor &monitor = *recorded->monitor;
        const MonitorEvents outer = monitor.events;
        monitor_set_events(monitor, {&inner, record_line, record_warning});
        monitor_status_tick(monitor, 0);
        monitor_set_events(monitor, outer);
        recorded->during_warning = inner.events;
    }
}

class MonitorCoreTest : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        monitor_ = monitor_new(source_);
        monitor_start(*monitor_, nullptr);
    }
    void TearDown() override {
        monitor_delete(monitor_);
        SimTest::TearDown();
    }
    uint64_t drain(Recorded &recorded) {
        recorded.monitor = monitor_;
        monitor_set_events(*monitor_, {&recorded, record_line, record_warning});
        return monitor_status_tick(*monitor_, 0);
    }
    Monitor *monitor_ = nullptr;
};

TEST_F(MonitorCoreTest, DrainRoutesEachLineToItsModemUntilARecordGivesNone) {
    activate(2);
    for (const StatusRecord &r : {record(1, 13), record(2, 14), record(2, 13), record(3, 13),
                                  record(1, 14), record(1, 18), record(2, 13)}) {
        sim_queue_record(r);
    }
    Recorded first, second, third;
    EXPECT_EQ(drain(first), 3u);
    EXPECT_EQ(first.events, (std::vector<std::string>{"1: Rx Data Mode Active! ", "2: Tx Data Mode Active! ",
                                                      "2: Rx Data Mode Active! "}))
        << "a modem-3 record is dropped like a record without a line, which ends the drain";
    drain(second);
    EXPECT_EQ(second.events, (std::vector<std::string>{"1: Tx Data Mode Active! "}))
        << "code 18 gives no line and ends the drain";
    Recorded rest;
    drain(rest);
    EXPECT_EQ(rest.events, (std::vector<std::string>{"2: Rx Data Mode Active! "}));
    drain(third);
    EXPECT_TRUE(third.events.empty());
}

TEST_F(MonitorCoreTest, OneWarningAtATimeWhileLinesKeepArriving) {
    activate(2);
    for (const StatusRecord &r : {record(0, 1), record(1, 13), record(0, 2), record(2, 14), record(0, 5)}) {
        sim_queue_record(r);
    }
    Recorded outer;
    outer.reenter = true;
    drain(outer);
    EXPECT_EQ(outer.events, (std::vector<std::string>{std::string("warning: ") + DATA_INTEGRITY_TEXT}));
    EXPECT_EQ(outer.during_warning,
              (std::vector<std::string>{"1: Rx Data Mode Active! ", "2: Tx Data Mode Active! "}));
    EXPECT_EQ(monitor_->warnings_discarded, 2u);
    EXPECT_EQ(monitor_->warning_open, 0);
    // With the box closed, the next error opens a box again.
    sim_queue_record(record(0, 2));
    Recorded later;
    drain(later);
    EXPECT_EQ(later.events, (std::vector<std::string>{std::string("warning: ") + DMA_TIMEOUT_TEXT}));
}

TEST_F(MonitorCoreTest, NothingIsFetchedWhileNoModemIsActive) {
    sim_queue_record(record(1, 13));
    Recorded recorded;
    EXPECT_EQ(drain(recorded), 0u);
    EyePoint points[EYE_POINTS_WANTED];
    EXPECT_EQ(monitor_eye_tick(*monitor_, 1, points), -1);
    EXPECT_EQ(sim_pending_records(), 1u);
    EXPECT_TRUE(served_calls().empty());
}

TEST_F(MonitorCoreTest, EyeFetchAsksItsModemsCallAndDrawsAtMost512) {
    activate(2);
    const EyePoint fed[] = {{-20000, 20000}, {32767, -32768}, {0, 0}};
    struct Case {
        int modem;
        uint32_t fault_count;
        int expected;
        const char *call;
    };
    const Case cases[] = {
        {1, 0, 3, "GET_EYE_1 512 3"},
        {2, 0, 3, "GET_EYE_2 512 3"},
        {2, 9999, 512, "GET_EYE_2 512 9999"},
        {1, 0, 0, "GET_EYE_1 512 0"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.call);
        SimFaults faults{};
        faults.eye_count = c.fault_count;
        sim_set_faults(faults);
        if (c.expected != 0) {
            sim_queue_eye(c.modem, fed, 3);
        }
        sim_clear_call_log();
        EyePoint points[EYE_POINTS_WANTED];
        EXPECT_EQ(monitor_eye_tick(*monitor_, c.modem, points), c.expected);
        EXPECT_EQ(served_calls(), std::vector<std::string>{c.call});
        if (c.expected >= 3) {
            for (int i = 0; i < 3; ++i) {
                EXPECT_EQ(points[i].x, fed[i].x);
                EXPECT_EQ(points[i].y, fed[i].y);
            }
        }
    }
}

// The console mode in this process over a played trace, its output in files.
TEST_F(ConsoleTest, LinesInFetchOrderErrorsApartAndCapturesClosedAtTheEnd) {
    play("active 2\n"
         "rec 1 13\n"
         "rec 0 1\n"
         "rec 2 77 10000\n"
         "cap 2 fill 3000 a5\n"
         "rec 2 14\n"
         "rec 0 7\n"
         "str 0x80002000 \"Answering\\tcall\"\n"
         "rec 1 97 0x80002000\n"
         "wait 300\n"
         "rec 2 131 1 0\n"
         "wait 100\n"
         "cap 2 fill 10 11\n"
         "wait 300\n");
    EXPECT_EQ(run({"--console", "--escape"}, 6), 0);
    EXPECT_EQ(text_of(out_), "1: Rx Data Mode Active! \n"
                             "2: Tx Data Mode Active! \n"
                             "1: Answering\\tcall\\t\n"
                             "2: Created new log file 1.log\n");
    EXPECT_EQ(text_of(err_), "0: Data Integrity Check Failed\\nRetrain forced\n"
                             "0: Unknown internal error, code 7 \n");
    EXPECT_EQ(file_bytes("session.rec.2"), std::vector<unsigned char>(3000, 0xa5));
    EXPECT_EQ(file_bytes("1.log"), std::vector<unsigned char>(10, 0x11));
    std::vector<unsigned char> setup;
    ASSERT_TRUE(setup_value(MONITOR_KEY, &setup));
    EXPECT_EQ(setup, (std::vector<unsigned char>{0, 0, 0, 0})) << "the recording flag is cleared at the end";
}

TEST_F(ConsoleTest, PlainLinesStandAsTheyAre) {
    play("active 1\nrec 0 2\nrec 1 13\n");
    EXPECT_EQ(run({"--console"}, 1), 0);
    EXPECT_EQ(text_of(out_), "1: Rx Data Mode Active! \n");
    EXPECT_EQ(text_of(err_), std::string("0: ") + DMA_TIMEOUT_TEXT + "\n");
}

TEST_F(ConsoleTest, BadCommandLinesTouchNothing) {
    const std::vector<std::string> cases[] = {
        {"--console", std::string(76, 'd')},
        {"--console", "--bogus"},
        {"--console", "a", "b"},
    };
    for (const std::vector<std::string> &arguments : cases) {
        SCOPED_TRACE(arguments.back().substr(0, 10));
        EXPECT_EQ(run(arguments, 1), 2);
        EXPECT_EQ(text_of(out_), "");
        EXPECT_NE(text_of(err_), "");
    }
    EXPECT_EQ(sim_open_count(), 0u);
}

TEST_F(ConsoleTest, DeviceArgumentNamesTheDevice) {
    sim_set_device_name("abc");
    play("active 1\nrec 1 13\n");
    EXPECT_EQ(run({"--console", "abc"}, 1), 0);
    // The driver has only the device \\.\abc: a line means it was opened.
    EXPECT_EQ(text_of(out_), "1: Rx Data Mode Active! \n");
    text_of(err_);
}

}  // namespace
