// The Win32 windows' list tools and menu without a window: the plain-text
// filter, saving a list (all or shown lines, atomically), the menu built
// from the core's tables, the commands and their enabled state, and the
// main window's first place.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "capture/sim_fixture.h"
#include "monitor/list_save.h"
#include "monitor/monitor.h"
#include "monitor/replay.h"
#include "monitor/session_open.h"
#include "monitor/text_filter.h"
#include "monitor/window_status.h"
#include "monitor/window_tables.h"

namespace {

TEST(TextFilter, PlainTextWithoutRegardToCase) {
    const struct {
        const char *filter;
        const char *line;
        bool passes;
    } rows[] = {
        {"", "anything", true},
        {"", "", true},
        {"rate", "Receive RATE 26400", true},
        {"RATE", "receive rate", true},
        {"rate 2", "rate 26400", true},
        {"rates", "rate", false},        // the line ends before the text does
        {"a.c", "abc", false},           // no expression: the dot is a dot
        {"a.c", "x a.c y", true},
        {"/v34", "V34 /v34", true},
        {"\t", "a\tb", true},
        {"\xc9t\xc9", "\xe9t\xe9", true},  // Latin-1 capitals fold
        {"x", "", false},
        {"aab", "aaab", true},           // a partial match starts over one further on
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(testing::Message() << '"' << row.filter << "\" in \"" << row.line << '"');
        TextFilter filter;
        text_filter_set(filter, row.filter);
        EXPECT_EQ(text_filter_active(filter), row.filter[0] != '\0');
        EXPECT_EQ(text_filter_passes(filter, row.line), row.passes);
    }
}

TEST(TextFilter, ATextLongerThanALineIsCut) {
    const std::string longest(STATUS_LINE_BYTES + 40, 'q');
    TextFilter filter;
    text_filter_set(filter, longest.c_str());
    EXPECT_EQ(filter.length, STATUS_LINE_BYTES - 1);
    EXPECT_TRUE(text_filter_passes(filter, std::string(STATUS_LINE_BYTES - 1, 'Q').c_str()));
}

int64_t save_now_us;
int64_t save_clock() { return save_now_us; }

class ListSaveTest : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        monitor_ = monitor_new(source_);
        ASSERT_NE(monitor_, nullptr);
        ASSERT_TRUE(monitor_start(*monitor_, nullptr));
        monitor_->clock = save_clock;
        save_now_us = 1000000;
        for (const char *line : {"Rate 2400", "carrier \"up\"", "rate 4800"}) {
            monitor_add_line(*monitor_, 1, line);
            save_now_us += 250000;
        }
        dir_ = testing::TempDir() + "list_save_" + std::to_string(getpid());
        mkdir_ok_ = std::system(("mkdir -p '" + dir_ + "'").c_str()) == 0;
    }
    void TearDown() override {
        monitor_delete(monitor_);
        std::system(("rm -rf '" + dir_ + "'").c_str());
        SimTest::TearDown();
    }
    static std::string read(const std::string &path) {
        FILE *file = std::fopen(path.c_str(), "rb");
        if (file == nullptr) return "<none>";
        std::string text;
        char block[256];
        size_t n;
        while ((n = std::fread(block, 1, sizeof block, file)) > 0) text.append(block, n);
        std::fclose(file);
        return text;
    }
    Monitor *monitor_ = nullptr;
    std::string dir_;
    bool mkdir_ok_ = false;
};

TEST_F(ListSaveTest, AllOrShownLinesInEachFormat) {
    ASSERT_TRUE(mkdir_ok_);
    const struct {
        const char *name;
        const char *filter;  // null: every line
        ExportFormat format;
        LineTimeFormat time;
        const char *expected;
    } rows[] = {
        {"all.txt", nullptr, EXPORT_TEXT, LINE_TIME_OFF, "Rate 2400\ncarrier \"up\"\nrate 4800\n"},
        {"shown.txt", "RATE", EXPORT_TEXT, LINE_TIME_OFF, "Rate 2400\nrate 4800\n"},
        {"none.txt", "nothing", EXPORT_TEXT, LINE_TIME_OFF, ""},
        // The time since the store's previous line, shown or not, as the Qt window has it.
        {"delta.txt", "rate", EXPORT_TEXT, LINE_TIME_DELTA, "\tRate 2400\n+0.250\trate 4800\n"},
        {"all.csv", nullptr, EXPORT_CSV, LINE_TIME_OFF,
         "time,modem,text\r\n,1,\"Rate 2400\"\r\n,1,\"carrier \"\"up\"\"\"\r\n,1,\"rate 4800\"\r\n"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        const std::string path = dir_ + "/" + row.name;
        TextFilter filter;
        text_filter_set(filter, row.filter != nullptr ? row.filter : "");
        std::string error;
        EXPECT_TRUE(save_list(*monitor_, 1, path.c_str(), row.format, row.time, row.filter ? &filter : nullptr, error))
            << error;
        EXPECT_EQ(read(path), row.expected);
        EXPECT_EQ(read(path + ".saving"), "<none>") << "the temporary file is left behind";
    }
}

TEST_F(ListSaveTest, AFailedSaveLeavesTheOldFileAndSaysWhy) {
    ASSERT_TRUE(mkdir_ok_);
    const std::string kept = dir_ + "/kept.txt";
    FILE *file = std::fopen(kept.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fputs("old\n", file);
    std::fclose(file);
    const struct {
        std::string path;
        int modem;
        const char *reason;
    } rows[] = {
        {dir_ + "/no/such/folder/x.txt", 1, "No such file or directory"},
        {kept, 3, "no such modem"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.path);
        std::string error;
        EXPECT_FALSE(save_list(*monitor_, row.modem, row.path.c_str(), EXPORT_TEXT, LINE_TIME_OFF, nullptr, error));
        EXPECT_EQ(error, row.reason);
        EXPECT_EQ(save_list_message(row.path.c_str(), error), "Could not save " + row.path + ":\n" + row.reason);
    }
    EXPECT_EQ(read(kept), "old\n");
    // A save that works replaces it whole.
    std::string error;
    EXPECT_TRUE(save_list(*monitor_, 2, kept.c_str(), EXPORT_TEXT, LINE_TIME_OFF, nullptr, error));
    EXPECT_EQ(read(kept), "");
    EXPECT_EQ(save_list_title(2), "Save Modem 2 List");
}

TEST(ListSave, FormatFromTheName) {
    const struct {
        const char *name;
        ExportFormat format;
    } rows[] = {{"a.csv", EXPORT_CSV}, {"A.CSV", EXPORT_CSV}, {"a.txt", EXPORT_TEXT}, {"csv", EXPORT_TEXT},
                {"a.csv.txt", EXPORT_TEXT}, {"", EXPORT_TEXT}};
    for (const auto &row : rows) {
        EXPECT_EQ(export_format_for_name(row.name), row.format) << row.name;
    }
}

TEST(WindowMenu, EveryRowOnceWithTheToolRowsBeforeTheRowTheyName) {
    const MenuRow *rows[WINDOW_MENU_ROW_COUNT] = {};
    window_menu_rows(rows);
    const int expected[WINDOW_MENU_ROW_COUNT] = {
        IDM_OPEN_SESSION, IDM_RECORD_SESSION, IDM_STOP_RECORDING, IDM_SAVE_LIST_1, IDM_SAVE_LIST_2,
        IDM_SAVE_SHOWN_1, IDM_SAVE_SHOWN_2, IDM_EXIT, IDM_MONITOR_1, IDM_MONITOR_2, IDM_CALLS, IDM_EYE_1, IDM_EYE_2,
        IDM_TIME_FIRST, IDM_TIME_FIRST + 1, IDM_TIME_FIRST + 2, IDM_TIME_FIRST + 3, IDM_PLAY, IDM_PAUSE, IDM_STEP,
        IDM_SPEED_FIRST, IDM_SPEED_FIRST + 1, IDM_SPEED_FIRST + 2, IDM_ABOUT};
    for (size_t i = 0; i < WINDOW_MENU_ROW_COUNT; ++i) {
        ASSERT_NE(rows[i], nullptr) << i;
        EXPECT_EQ(rows[i]->id, expected[i]) << i;
        EXPECT_EQ(menu_row(rows[i]->id), rows[i]) << i;
        // The Win32 windows' own ids stay in their range.
        EXPECT_TRUE(rows[i]->id < 50 || (rows[i]->id >= 50 && rows[i]->id <= 69)) << rows[i]->id;
    }
    EXPECT_STREQ(rows[13]->popup, "&View>&Time");
}

TEST(WindowMenu, CommandsOfTheListToolsAndTheReplay) {
    const struct {
        int id;
        CommandKind kind;
        int child;
        bool shown;
        int value;
    } rows[] = {
        {IDM_SAVE_LIST_1, COMMAND_SAVE_LIST, 1, false, 0},
        {IDM_SAVE_LIST_2, COMMAND_SAVE_LIST, 2, false, 0},
        {IDM_SAVE_SHOWN_1, COMMAND_SAVE_LIST, 1, true, 0},
        {IDM_SAVE_SHOWN_2, COMMAND_SAVE_LIST, 2, true, 0},
        {IDM_TIME_FIRST, COMMAND_TIME_FORMAT, 0, false, LINE_TIME_OFF},
        {IDM_TIME_FIRST + 3, COMMAND_TIME_FORMAT, 0, false, LINE_TIME_DELTA},
        {IDM_PLAY, COMMAND_PLAY, 0, false, 0},
        {IDM_PAUSE, COMMAND_PAUSE, 0, false, 0},
        {IDM_STEP, COMMAND_STEP, 0, false, 0},
        {IDM_SPEED_FIRST + 2, COMMAND_SPEED, 0, false, REPLAY_MAX},
        {IDM_SPEED_FIRST + 3, COMMAND_UNKNOWN, 0, false, 0},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.id);
        Visibility visible;
        reset_visibility(visible);
        const CommandEffect effect = menu_command(visible, row.id);
        EXPECT_EQ(effect.kind, row.kind);
        EXPECT_EQ(effect.child, row.child);
        EXPECT_EQ(effect.shown, row.shown);
        EXPECT_EQ(effect.value, row.value);
    }
}

TEST(WindowMenu, ReplayCommandsFollowTheReplaysState) {
    const struct {
        ReplayState state;
        int id;
        bool enabled;
    } rows[] = {
        {REPLAY_STOPPED, IDM_PLAY, true},   {REPLAY_PLAYING, IDM_PLAY, false}, {REPLAY_PAUSED, IDM_PLAY, true},
        {REPLAY_STOPPED, IDM_PAUSE, false}, {REPLAY_PLAYING, IDM_PAUSE, true}, {REPLAY_PLAYING, IDM_STEP, true},
        {REPLAY_PAUSED, IDM_SPEED_FIRST + 1, true}, {REPLAY_PLAYING, IDM_EXIT, false},
    };
    for (const auto &row : rows) {
        Replay replay{};
        replay.state = row.state;
        EXPECT_EQ(replay_command_enabled(replay, row.id), row.enabled) << row.id << " in state " << row.state;
    }
}

TEST_F(ListSaveTest, ALiveMonitorOffersNoReplay) {
    for (int id : {IDM_PLAY, IDM_PAUSE, IDM_STEP, IDM_SPEED_FIRST}) {
        EXPECT_FALSE(monitor_command_enabled(*monitor_, id)) << id;
    }
    for (int id : {IDM_SAVE_LIST_1, IDM_SAVE_SHOWN_2, IDM_TIME_FIRST + 1}) {
        EXPECT_TRUE(monitor_command_enabled(*monitor_, id)) << id;
    }
}

TEST_F(ListSaveTest, StatusTextsOfTheListsAndTheReplay) {
    EXPECT_EQ(monitor_loss_text(*monitor_),
              "Modem 1: 3 lines, 0 dropped    Modem 2: 0 lines, 0 dropped    Warnings discarded: 0");
    OpenedSession session;
    session.records = 340;
    session.internal_errors = 2;
    session.length_ms = 8049;
    const struct {
        ReplayState state;
        ReplaySpeed speed;
        bool ended;
        uint64_t rounds;
        const char *expected;
    } rows[] = {
        {REPLAY_STOPPED, REPLAY_1X, false, 0, "340 records, 2 driver-internal errors"},
        {REPLAY_PLAYING, REPLAY_10X, false, 12, "Replaying at 10x: 1.2 s of 8.0 s"},
        {REPLAY_PAUSED, REPLAY_MAX, false, 5, "Replay paused: 0.5 s of 8.0 s"},
        {REPLAY_STOPPED, REPLAY_MAX, true, 81, "Replay ended: the whole session was played: 8.1 s of 8.0 s"},
    };
    for (const auto &row : rows) {
        Replay replay{};
        replay.state = row.state;
        replay.speed = row.speed;
        replay.ended = row.ended;
        replay.rounds = row.rounds;
        EXPECT_EQ(replay_status_text(replay, session), row.expected);
    }
}

TEST(MainWindowPlace, FromTheWorkArea) {
    const struct {
        int x, y, width, height, dpi;
        WindowPlace expected;
    } rows[] = {
        {0, 0, 1920, 1040, 96, {192, 104, 1536, 832}},  // four fifths of a big screen
        {0, 0, 1024, 738, 96, {0, 0, 1024, 738}},       // a small one whole
        {0, 0, 1280, 1024, 96, {128, 102, 1024, 819}},  // at least 1024 wide
        {0, 0, 800, 600, 96, {0, 0, 800, 600}},
        {100, 50, 1600, 900, 96, {260, 116, 1280, 768}},  // a work area beside a taskbar
        {0, 0, 2560, 1400, 192, {256, 0, 2048, 1400}},   // 768 lines at twice the DPI need the whole height
        {0, 0, 3840, 2100, 192, {384, 210, 3072, 1680}},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(testing::Message() << row.width << "x" << row.height << " at " << row.dpi);
        const WindowPlace place = main_window_place(row.x, row.y, row.width, row.height, row.dpi);
        EXPECT_EQ(place.x, row.expected.x);
        EXPECT_EQ(place.y, row.expected.y);
        EXPECT_EQ(place.width, row.expected.width);
        EXPECT_EQ(place.height, row.expected.height);
    }
}

}  // namespace
