// A window's sessions without a window: the file a save dialog's choice
// names, the command tail that names a file, a recording that cannot start
// or fails, and the text of each modem's last call.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include <string>
#include <vector>

#include "calls/call_summary.h"
#include "calls/call_watch.h"
#include "capture/sim_fixture.h"
#include "monitor/last_calls.h"
#include "monitor/monitor.h"
#include "monitor/session_recording.h"
#include "monitor/window_tables.h"
#include "simulator/inproc/inproc_source.h"
#include "calls/trace_calls.h"

namespace {

TEST(SessionFileName, AnExtensionIsAddedOnlyWhenTheNameHasNone) {
    struct Case {
        const char *chosen;
        bool compressed;
        size_t size;
        const char *expected;  // null: refused
    };
    const Case cases[] = {
        {"C:\\Users\\me\\line", true, 64, "C:\\Users\\me\\line.trace.gz"},
        {"C:\\Users\\me\\line", false, 64, "C:\\Users\\me\\line.trace"},
        {"C:\\Users\\me\\line.trace", true, 64, "C:\\Users\\me\\line.trace"},
        {"/tmp/s.gz", false, 64, "/tmp/s.gz"},
        {"C:\\v1.2\\line", true, 64, "C:\\v1.2\\line.trace.gz"},  // a dot in a folder is no extension
        {"abc", true, 13, "abc.trace.gz"},                        // exactly fits with its NUL
        {"abc", true, 12, nullptr},
        {"", true, 64, nullptr},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.chosen << " in " << c.size);
        std::vector<char> text(c.size + 4, '#');
        EXPECT_EQ(session_file_name(c.chosen, c.compressed, text.data(), c.size), c.expected != nullptr);
        EXPECT_STREQ(text.data(), c.expected != nullptr ? c.expected : "");
        EXPECT_EQ(std::string(text.data() + c.size, 4), "####") << "wrote past the buffer";
    }
}

TEST(CommandTailFile, AFileOpenedFromTheShellIsNoDeviceName) {
    struct Case {
        const char *tail;
        size_t size;
        const char *file;  // null: a device name (or too long)
    };
    const Case cases[] = {
        {" \"C:\\My Sessions\\line.trace.gz\"", 64, "C:\\My Sessions\\line.trace.gz"},
        {"C:\\x\\y", 64, "C:\\x\\y"},
        {"  LINE.TRACE  ", 64, "LINE.TRACE"},
        {"\"a.gz\"", 5, "a.gz"},
        {"\"a.gz\"", 4, nullptr},
        {"  TRVLM", 64, nullptr},
        {" TRVLM x", 64, nullptr},
        {"", 64, nullptr},
        {"\"\"", 64, nullptr},
        {"trace", 64, nullptr},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.tail);
        std::vector<char> path(c.size + 4, '#');
        EXPECT_EQ(command_tail_file(c.tail, path.data(), c.size), c.file != nullptr);
        EXPECT_STREQ(path.data(), c.file != nullptr ? c.file : "");
        EXPECT_EQ(std::string(path.data() + c.size, 4), "####");
    }
}

void no_warning(void *, const char *) { ADD_FAILURE() << "no warning expected"; }

int64_t test_now_us;
int64_t test_clock() { return test_now_us; }

class WindowRecordingTest : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        test_now_us = 1765000000000000;
        monitor_ = monitor_new(source_);
        ASSERT_TRUE(monitor_start(*monitor_, nullptr));
        monitor_->clock = test_clock;
        monitor_set_events(*monitor_, {nullptr, nullptr, no_warning, nullptr, nullptr, nullptr});
        activate(2);
    }
    void TearDown() override {
        monitor_delete(monitor_);
        SimTest::TearDown();
    }
    // One round a tenth of a second after the last, with one record of modem 1.
    void round_with_line(uint32_t hz) {
        test_now_us += 100000;
        sim_queue_record(sampling(1, hz));
        monitor_round(*monitor_, 0);
    }
    Monitor *monitor_ = nullptr;
};

TEST_F(WindowRecordingTest, AWriteErrorStopsTheRecordingAndMonitoringGoesOn) {
    WindowRecording recording;
    ASSERT_TRUE(session_recording_start(*monitor_, recording, "gone.trace"));
    round_with_line(8000);
    char caption[96];
    session_recording_caption(recording, caption, sizeof caption);
    EXPECT_STREQ(caption, ("Line Watch - recording gone.trace (" + std::to_string(recording.writer.file_bytes()) +
                           " bytes, 0:00:00)").c_str());
    ASSERT_EQ(std::remove("gone.trace"), 0);  // as a user or a cleaner might
    int ticks = 0;
    while (!session_recording_failed(*monitor_, recording) && ticks < 30) {
        round_with_line(8000);
        ++ticks;
    }
    EXPECT_LE(ticks, 11) << "the file reaches the disk, and fails, within a second";
    EXPECT_EQ(monitor_->recording, nullptr);
    EXPECT_NE(std::string(recording.writer.error()).find("removed; recording stopped"), std::string::npos)
        << recording.writer.error();
    EXPECT_FALSE(session_recording_failed(*monitor_, recording)) << "told once";
    const size_t before = monitor_->stores[0].count;
    round_with_line(9600);
    EXPECT_EQ(monitor_->stores[0].count, before + 1);
    EXPECT_FALSE(session_recording_stop(*monitor_, recording)) << "the stop still says the file is incomplete";
}

// The monitor's own recording: what each step tells, the menu's enabled
// state after it, and the texts the windows show.
void note_change(void *context, RecordingChange change) {
    static_cast<std::vector<RecordingChange> *>(context)->push_back(change);
}

TEST_F(WindowRecordingTest, TheMonitorsRecordingTellsEachChangeAndSetsTheMenu) {
    std::vector<RecordingChange> told;
    monitor_set_events(*monitor_, {&told, nullptr, no_warning, note_change, nullptr, nullptr});
    const struct {
        const char *step;
        bool ok;
        std::vector<RecordingChange> told;
        bool record_enabled, stop_enabled;
        const char *status_has;  // "" for no status text
    } rows[] = {
        {"start into a folder that does not exist", false, {}, true, false, ""},
        {"start", true, {RECORDING_STARTED}, false, true, "Recording told.trace  "},
        {"start again", false, {}, false, true, "Recording told.trace  "},
        {"ten main ticks", true, {RECORDING_PROGRESS}, false, true, " 0:00:01"},
        {"the file removed", true, {RECORDING_FAILED}, true, false, ""},
        {"start anew and stop", true, {RECORDING_STARTED, RECORDING_STOPPED}, true, false, ""},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.step);
        told.clear();
        const std::string step = row.step;
        bool ok = true;
        if (step == "start into a folder that does not exist") {
            ok = monitor_record_start(*monitor_, "no-such-folder/told.trace");
            EXPECT_NE(std::string(monitor_recording_error(*monitor_)).find("no-such-folder"), std::string::npos);
        } else if (step == "start" || step == "start again") {
            ok = monitor_record_start(*monitor_, "told.trace");
        } else if (step == "ten main ticks") {
            for (unsigned i = 0; i < RECORDING_PROGRESS_TICKS; ++i) round_with_line(8000);
        } else if (step == "the file removed") {
            std::remove("told.trace");
            for (int i = 0; i < 30 && told.empty(); ++i) round_with_line(8000);
            EXPECT_NE(std::string(monitor_recording_error(*monitor_)).find("recording stopped"), std::string::npos);
        } else {
            ok = monitor_record_start(*monitor_, "told.trace") && monitor_record_stop(*monitor_);
        }
        EXPECT_EQ(ok, row.ok);
        EXPECT_EQ(told, row.told);
        EXPECT_EQ(monitor_command_enabled(*monitor_, IDM_RECORD_SESSION), row.record_enabled);
        EXPECT_EQ(monitor_command_enabled(*monitor_, IDM_STOP_RECORDING), row.stop_enabled);
        char status[128];
        monitor_recording_status(*monitor_, status, sizeof status);
        if (row.status_has[0] == '\0') {
            EXPECT_STREQ(status, "");
        } else {
            EXPECT_NE(std::string(status).find(row.status_has), std::string::npos) << status;
        }
    }
    std::remove("told.trace");
}

TEST(LastCalls, EachModemsNewestCallOrNone) {
    std::vector<TraceDirective> trace;
    ASSERT_TRUE(read_trace_file(TARVEL_SOURCE_DIR "/scenarios/error-control-call.trace", &trace));
    std::vector<Call> calls;
    trace_calls(trace, calls);
    // The same records through a watch, as a live monitor feeds it: the
    // last call is the running one until the watch ends.
    CallWatch watch;
    call_watch_init(watch, {nullptr, nullptr}, 0, {nullptr, nullptr});
    EXPECT_EQ(watch_last_call(watch, 1), nullptr);
    for (const TraceDirective &d : trace) {
        if (d.op == TRACE_REC) call_watch_record(watch, d.record, 0, -1);
    }
    ASSERT_NE(watch_last_call(watch, 1), nullptr);
    call_watch_finish(watch);
    struct Case {
        const char *name;
        const Call *modem1, *modem2;
        const char *starts;
    };
    const Case cases[] = {
        {"both from a session", list_last_call(calls, 1), list_last_call(calls, 2), "Modem 1, last call\nModem "},
        {"modem 2 only", nullptr, list_last_call(calls, 2), "Modem 1: no call yet\n\nModem 2, last call\n"},
        {"none", nullptr, nullptr, "Modem 1: no call yet\n\nModem 2: no call yet\n"},
        {"from a watch", watch_last_call(watch, 1), nullptr, "Modem 1, last call\nModem "},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::string text;
        last_calls_text(c.modem1, c.modem2, text);
        EXPECT_EQ(text.compare(0, std::strlen(c.starts), c.starts), 0) << text;
        for (const Call *call : {c.modem1, c.modem2}) {
            if (call == nullptr) continue;
            std::string summary;
            call_summary_text(*call, summary);
            EXPECT_NE(text.find(summary), std::string::npos) << "the call's whole summary";
        }
    }
    EXPECT_EQ(list_last_call(calls, 3), nullptr);
    // A session's start puts the calls on the wall clock.
    std::vector<Call> dated;
    trace_calls(trace, dated, 1765000000000000);
    ASSERT_EQ(dated.size(), calls.size());
    for (size_t i = 0; i < calls.size(); ++i) {
        EXPECT_EQ(calls[i].start_wall_us, -1);
        EXPECT_EQ(dated[i].start_wall_us, 1765000000000000 + dated[i].start_us);
        EXPECT_EQ(dated[i].end_wall_us, 1765000000000000 + dated[i].end_us);
    }
}

}  // namespace
