// Line times in each format, modem activity, and export and copy rows.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "monitor/line_time.h"
#include "monitor/status_export.h"

namespace {

constexpr int64_t SECOND = 1000000;
// 2026-12-08 12:34:56.789 UTC in microseconds since the epoch.
constexpr int64_t NOON = 1796733296LL * SECOND + 789000;

struct UtcZone {
    UtcZone() {
        setenv("TZ", "UTC", 1);
        tzset();
    }
};

}  // namespace

TEST(LineTime, EachFormatOnKnownTimes) {
    UtcZone utc;
    struct Row {
        LineTimeFormat format;
        int64_t time, previous, since;
        const char *text;
    } rows[] = {
        {LINE_TIME_OFF, NOON, NOON - 1, NOON - 1, ""},
        {LINE_TIME_WALL, NOON, -1, -1, "12:34:56.789"},
        {LINE_TIME_WALL, NOON + 999, -1, -1, "12:34:56.789"},      // milliseconds truncated
        {LINE_TIME_WALL, 86400 * SECOND - 1, -1, -1, "23:59:59.999"},
        {LINE_TIME_SINCE_ACTIVE, NOON, -1, NOON - 12 * SECOND - 345000, "12.345"},
        {LINE_TIME_SINCE_ACTIVE, NOON, -1, NOON, "0.000"},
        {LINE_TIME_SINCE_ACTIVE, NOON, -1, NOON + 250000, "-0.250"},
        {LINE_TIME_SINCE_ACTIVE, NOON, -1, -1, ""},                // no activity known
        {LINE_TIME_SINCE_ACTIVE, NOON, -1, NOON - 3600 * SECOND, "3600.000"},
        {LINE_TIME_DELTA, NOON, NOON - 100000, -1, "+0.100"},
        {LINE_TIME_DELTA, NOON, NOON, -1, "+0.000"},
        {LINE_TIME_DELTA, NOON, NOON + 1500, -1, "-0.001"},       // a clock that stepped back
        {LINE_TIME_DELTA, NOON, -1, -1, ""},                       // first line of the list
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.text);
        char text[LINE_TIME_TEXT_BYTES];
        std::memset(text, 'X', sizeof text);
        format_line_time(row.format, row.time, row.previous, row.since, text);
        EXPECT_STREQ(text, row.text);
    }
}

TEST(LineTime, ActivityStartsFollowThePresenceCounts) {
    ModemActivity activity[2];
    activity_reset(activity);
    // count seen at each time; modem 2 is active only while the count is 2.
    const struct {
        int count;
        int64_t now;
    } notes[] = {{0, 10}, {1, 20}, {2, 30}, {2, 40}, {1, 50}, {0, 60}, {2, 70}};
    for (const auto &n : notes) {
        activity_note(activity, n.count, n.now);
    }
    struct Row {
        int modem;
        int64_t time, since;
    } rows[] = {
        {1, 15, -1}, {1, 20, 20}, {1, 65, 20}, {1, 70, 70}, {1, 99, 70},
        {2, 25, -1}, {2, 30, 30}, {2, 55, 30}, {2, 70, 70}, {3, 70, -1}, {0, 70, -1},
    };
    for (const Row &row : rows) {
        EXPECT_EQ(activity_since(activity, row.modem, row.time), row.since) << row.modem << " at " << row.time;
    }
    // Only the latest starts are kept; older lines fall back to none.
    activity_reset(activity);
    for (int64_t i = 0; i < int64_t(ACTIVATIONS_KEPT) + 3; ++i) {
        activity_note(activity, 1, 100 * i);
        activity_note(activity, 0, 100 * i + 50);
    }
    EXPECT_EQ(activity_since(activity, 1, 250), -1);
    EXPECT_EQ(activity_since(activity, 1, 100 * 3 + 10), 300);
    EXPECT_EQ(activity_since(activity, 1, 100 * (int64_t(ACTIVATIONS_KEPT) + 2) + 99), 100 * (int64_t(ACTIVATIONS_KEPT) + 2));
}

TEST(LineTime, StoreLineTimesUsePreviousLineAndActivity) {
    ModemActivity activity[2];
    activity_reset(activity);
    activity_note(activity, 1, 1000);
    static char text[256];
    static uint32_t offsets[2];
    static int64_t times[2];
    LineStore store;
    line_store_init(&store, text, sizeof text, offsets, times, 2);
    line_store_add(&store, "a", 1000 + 2 * SECOND);
    line_store_add(&store, "b", 1000 + 2 * SECOND + 40000);
    line_store_add(&store, "c", 1000 + 3 * SECOND);  // drops "a": "b" is now first, without a previous
    char out[LINE_TIME_TEXT_BYTES];
    store_line_time(store, 0, activity, 1, LINE_TIME_DELTA, out);
    EXPECT_STREQ(out, "");
    store_line_time(store, 1, activity, 1, LINE_TIME_DELTA, out);
    EXPECT_STREQ(out, "+0.960");
    store_line_time(store, 1, activity, 1, LINE_TIME_SINCE_ACTIVE, out);
    EXPECT_STREQ(out, "3.000");
    store_line_time(store, 1, activity, 2, LINE_TIME_SINCE_ACTIVE, out);  // modem 2 never active
    EXPECT_STREQ(out, "");
}

TEST(StatusExport, RowsByteForByte) {
    struct Row {
        ExportFormat format;
        const char *time;
        int modem;
        const char *line;
        const char *row;
    } rows[] = {
        {EXPORT_TEXT, nullptr, 1, "Sampling rate:\t\t\t  9600 Hz\t", "Sampling rate:\t\t\t  9600 Hz\t\n"},
        {EXPORT_TEXT, "12:34:56.789", 2, "Carrier Lost!", "12:34:56.789\tCarrier Lost!\n"},
        {EXPORT_TEXT, "", 2, "first", "\tfirst\n"},  // a delta without a previous line
        {EXPORT_CSV, nullptr, 1, "plain", ",1,\"plain\"\r\n"},
        {EXPORT_CSV, "", 1, "plain", ",1,\"plain\"\r\n"},
        {EXPORT_CSV, "+0.100", 2, "say \"hi\"\tthere\nnext", "+0.100,2,\"say \"\"hi\"\"\tthere\nnext\"\r\n"},
        {EXPORT_CSV, "1.000", 1, "", "1.000,1,\"\"\r\n"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.row);
        char out[EXPORT_ROW_BYTES];
        const size_t n = export_row(row.format, row.time, row.modem, row.line, out, sizeof out);
        EXPECT_EQ(std::string(out, n), row.row);
        EXPECT_EQ(out[n], '\0');
    }
    EXPECT_STREQ(export_header(EXPORT_CSV), "time,modem,text\r\n");
    EXPECT_STREQ(export_header(EXPORT_TEXT), "");
}

TEST(StatusExport, LongestLinesFitAndShortBuffersRefuseWholeRows) {
    // A line of 511 quotes doubles to 1022 bytes inside the CSV quotes.
    std::string quotes(STATUS_LINE_BYTES - 1, '"');
    char out[EXPORT_ROW_BYTES + 8];
    std::memset(out, '#', sizeof out);
    const size_t n = export_row(EXPORT_CSV, "23:59:59.999", 2, quotes.c_str(), out, EXPORT_ROW_BYTES);
    EXPECT_EQ(n, 12 + 4 + 2 * quotes.size() + 3);
    EXPECT_EQ(out[EXPORT_ROW_BYTES], '#') << "wrote past the buffer";
    // Too small: nothing but an empty text, never a cut row.
    char small[8];
    std::memset(small, '#', sizeof small);
    EXPECT_EQ(export_row(EXPORT_TEXT, nullptr, 1, "0123456789", small, sizeof small), 0u);
    EXPECT_EQ(small[0], '\0');
    EXPECT_EQ(export_row(EXPORT_TEXT, nullptr, 1, "abc", small, 0), 0u);
    // Copies with a time: time, TAB, line; cut, never overrun.
    char copy[8];
    line_with_time("1.5", "abcdef", copy, sizeof copy);
    EXPECT_STREQ(copy, "1.5\tabc");
    line_with_time(nullptr, "abc", copy, sizeof copy);
    EXPECT_STREQ(copy, "abc");
    line_with_time("", "abc", copy, sizeof copy);
    EXPECT_STREQ(copy, "\tabc");
}
