// Opening a session: every line in its modem's list with its recorded time,
// a store smaller than the session keeping the latest lines with their
// records, the eye points of any moment, and files that are not sessions.
#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <string>

#include "monitor/session_open.h"
#include "simulator/inproc/inproc_source.h"

namespace {

// 2026-12-08T17:46:16.123Z
constexpr int64_t START_US = 1796751976123000;

// Trace index: 0 session, 1 active, 2 eye 1, 3 rec 1, 4 wait, 5 rec 2,
// 6 fetch-less shown+rec 0, 7 eye 2, 8 wait, 9 rec 1, 10 eye 1, 11 rec 9.
const char SESSION[] =
    "session 2026-12-08T17:46:16.123Z \"LineWatch test\"\n"
    "active 2\n"
    "eye 1 10 -10\n"
    "rec 1 1 9600\n"
    "wait 100\n"
    "rec 2 1 7200\n"
    "shown \"Internal error\"\n"
    "rec 0 5\n"
    "eye 2 20 -20 30 -30\n"
    "wait 250\n"
    "rec 1 1 8000\n"
    "eye 1 40 -40\n"
    "rec 9 1 8000\n";

std::string write_file(const char *text) {
    static int counter = 0;
    const std::string path = "/tmp/session_open_test_" + std::to_string(getpid()) + "_" +
                             std::to_string(counter++) + ".trace";
    FILE *file = std::fopen(path.c_str(), "wb");
    std::fputs(text, file);
    std::fclose(file);
    return path;
}

struct Opened {
    OpenedSession session;
    std::string error, warning;
    bool ok;
    explicit Opened(const char *text) {
        const std::string path = write_file(text);
        ok = opened_session_read(path.c_str(), session, error, warning);
        std::remove(path.c_str());
    }
};

TEST(SessionOpen, EveryLineGoesToItsModemWithItsRecordedTime) {
    Opened opened(SESSION);
    ASSERT_TRUE(opened.ok) << opened.error;
    EXPECT_EQ(opened.session.records, 5u);
    EXPECT_EQ(opened.session.internal_errors, 1u);
    InprocDriverSource source;
    Monitor *monitor = monitor_new(source, opened_session_bounds(opened.session));
    monitor_show_session(*monitor, opened.session);
    const struct {
        int modem;
        size_t line;
        size_t record;
        int64_t time_us;
    } rows[] = {
        {1, 0, 3, START_US},
        {1, 1, 9, START_US + 350000},
        {2, 0, 5, START_US + 100000},
    };
    EXPECT_EQ(monitor->stores[0].count, 2u);
    EXPECT_EQ(monitor->stores[1].count, 1u);
    for (const auto &row : rows) {
        SCOPED_TRACE(testing::Message() << "modem " << row.modem << " line " << row.line);
        const LineStore &store = monitor->stores[row.modem - 1];
        ASSERT_LT(row.line, store.count);
        EXPECT_EQ(line_store_time(store, row.line), row.time_us);
        EXPECT_EQ(opened_session_line_record(opened.session, row.modem, store.first_number + row.line), row.record);
        EXPECT_NE(std::string(line_store_text(store, row.line)), "");
    }
    EXPECT_EQ(activity_since(monitor->activity, 2, START_US + 1), START_US);
    monitor_delete(monitor);
}

TEST(SessionOpen, EyePointsOfAMoment) {
    Opened opened(SESSION);
    ASSERT_TRUE(opened.ok) << opened.error;
    const struct {
        int modem;
        size_t index;
        int16_t first_x;  // 0: no points
    } rows[] = {
        {1, 1, 0}, {1, 2, 10}, {1, 9, 10}, {1, 10, 40}, {1, 99, 40},
        {2, 6, 0}, {2, 7, 20}, {2, 11, 20}, {3, 11, 0},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(testing::Message() << "modem " << row.modem << " index " << row.index);
        const std::vector<EyePoint> *points = opened_session_eye_at(opened.session, row.modem, row.index);
        if (row.first_x == 0) {
            EXPECT_EQ(points, nullptr);
        } else {
            ASSERT_NE(points, nullptr);
            EXPECT_EQ((*points)[0].x, row.first_x);
        }
    }
    ASSERT_NE(opened_session_last_eye(opened.session, 2), nullptr);
    EXPECT_EQ(opened_session_last_eye(opened.session, 2)->size(), 2u);
}

// A list with the live bound keeps the session's latest lines, and each
// still finds its record through its running number.
TEST(SessionOpen, ASmallStoreKeepsTheLatestLines) {
    std::string text = "session 2026-12-08T17:46:16.123Z \"t\"\n";
    for (int i = 0; i < 6; ++i) text += "rec 1 1 " + std::to_string(2400 * (i + 1)) + "\nwait 100\n";
    Opened opened(text.c_str());
    ASSERT_TRUE(opened.ok) << opened.error;
    InprocDriverSource source;
    Monitor *monitor = monitor_new(source, StoreBounds{4, 4096});
    monitor_show_session(*monitor, opened.session);
    const LineStore &store = monitor->stores[0];
    ASSERT_EQ(store.count, 4u);
    EXPECT_EQ(store.first_number, 2u);
    EXPECT_EQ(opened_session_line_record(opened.session, 1, store.first_number), 5u);  // the third rec
    EXPECT_EQ(line_store_time(store, 0), START_US + 200000);
    monitor_delete(monitor);
}

TEST(SessionOpen, WhatIsNotASessionSaysWhereAndHoldsNothing) {
    const struct {
        const char *text;
        const char *error_has;
        const char *warning_has;
    } rows[] = {
        {"rec 1 1 9600\nnot a directive\n", ":2:", ""},
        {"\x89PNG\r\n\x1a\n", ":1:", ""},
        {"session 2026-12-08T17:46:16.123Z \"t\"\nrec 1 1 9600\nrec 1 1 24", "", "cut short"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.text);
        Opened opened(row.text);
        EXPECT_EQ(opened.ok, row.error_has[0] == '\0');
        EXPECT_NE(opened.error.find(row.error_has), std::string::npos) << opened.error;
        EXPECT_NE(opened.warning.find(row.warning_has), std::string::npos) << opened.warning;
        if (!opened.ok) {
            EXPECT_EQ(opened.session.lines[0].count + opened.session.lines[1].count, 0u);
        }
    }
}

// The one open every front end uses: a monitor of its own holding every
// line, or the reason it could not be had, with nothing kept.
TEST(SessionOpen, AMonitorOfItsOwnOrTheReason) {
    std::string eyes = "session 2026-12-08T17:46:16.123Z \"t\"\neye 1";
    for (int i = 0; i < 600; ++i) eyes += " " + std::to_string(i) + " 0";
    eyes += "\nrec 1 1 9600\n";
    const std::atomic<bool> cancelled{true};
    const struct {
        const char *name;
        std::string text;
        size_t memory_limit;
        const std::atomic<bool> *cancel;
        SessionOpenResult result;
        const char *error_has;
    } rows[] = {
        {"a session", SESSION, 0, nullptr, SESSION_OPENED, ""},
        {"the newest points of a moment", eyes, 0, nullptr, SESSION_OPENED, ""},
        {"not a trace", "rec 1 1 9600\nnot a directive\n", 0, nullptr, SESSION_UNREADABLE, ":2:"},
        {"more than the memory allowed", SESSION, 4096, nullptr, SESSION_NO_MEMORY, "not enough memory"},
        {"cancelled", SESSION, 0, &cancelled, SESSION_CANCELLED, "cancelled"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        const std::string path = write_file(row.text.c_str());
        SessionOpenControl control;
        control.memory_limit = row.memory_limit;
        control.cancel = row.cancel;
        MonitorSession *opened = nullptr;
        std::string error;
        EXPECT_EQ(monitor_open_session(path.c_str(), &opened, error, control), row.result);
        std::remove(path.c_str());
        EXPECT_NE(error.find(row.error_has), std::string::npos) << error;
        if (row.result != SESSION_OPENED) {
            EXPECT_EQ(opened, nullptr);
            continue;
        }
        ASSERT_NE(opened, nullptr);
        const Monitor &monitor = *opened->monitor;
        EXPECT_EQ(monitor.session, &opened->session);
        EXPECT_NE(monitor_calls(monitor), nullptr);
        EXPECT_FALSE(monitor_command_enabled(monitor, IDM_RECORD_SESSION)) << "a session records nothing";
        EXPECT_EQ(line_store_time(monitor.stores[0], 0), START_US);
        const std::vector<EyePoint> *last = opened_session_last_eye(opened->session, 1);
        ASSERT_NE(last, nullptr);
        if (row.text == eyes) {
            ASSERT_EQ(last->size(), size_t(EYE_POINTS_WANTED));
            EXPECT_EQ(last->front().x, 600 - EYE_POINTS_WANTED);
        } else {
            EXPECT_EQ(monitor.stores[0].count, 2u);
            EXPECT_EQ(monitor.stores[1].count, 1u);
            EXPECT_EQ(opened_session_line_record(opened->session, 1, 1), 9u);
        }
        monitor_close_session(opened);
    }
}

// The line of a moment of the calls' time: an event's own line near it,
// else the newest line at or before it.
TEST(SessionOpen, TheLineOfAMoment) {
    const std::string path = write_file(SESSION);
    MonitorSession *opened = nullptr;
    std::string error;
    ASSERT_EQ(monitor_open_session(path.c_str(), &opened, error), SESSION_OPENED) << error;
    std::remove(path.c_str());
    const struct {
        int modem;
        int64_t time_us;
        int code;
        size_t line;
    } rows[] = {
        {1, 0, 0, 0}, {1, 349999, 0, 0}, {1, 350000, 0, 1}, {1, 900000, 0, 1},
        {2, 0, 0, 0}, {3, 0, 0, SIZE_MAX},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(testing::Message() << "modem " << row.modem << " at " << row.time_us);
        EXPECT_EQ(monitor_line_at(*opened->monitor, row.modem, row.time_us, row.code), row.line);
    }
    monitor_close_session(opened);
}

}  // namespace
