// The window logic of the monitor without a window: clipboard text, layout,
// menu commands and visibility, and the eye mapping.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "monitor/clipboard_text.h"
#include "monitor/eye.h"
#include "monitor/window_tables.h"

namespace {

const char *vector_line(const void *context, size_t index) {
    const std::vector<std::string> &lines = *static_cast<const std::vector<std::string> *>(context);
    return index < lines.size() ? lines[index].c_str() : nullptr;
}

struct ClipCase {
    const char *name;
    std::vector<std::string> lines;
    std::vector<size_t> selected;
    size_t block_size;
    std::string expected;
};

TEST(ClipboardText, SelectedLinesEachWithCrLfAndAlwaysTerminated) {
    const std::string l5(5, 'x');
    const ClipCase cases[] = {
        {"three lines, TABs kept", {"a\tb", "skip", "c", "d\t"}, {0, 2, 3}, 64, "a\tb\r\nc\r\nd\t\r\n"},
        {"nothing selected", {"a"}, {}, 64, ""},
        {"empty lines still get CR LF", {"", ""}, {0, 1}, 64, "\r\n\r\n"},
        // 5 + 2 + 5 + 2 = 14 bytes of text need a 15-byte block for the NUL.
        {"exactly full with its NUL", {l5, l5}, {0, 1}, 15, l5 + "\r\n" + l5 + "\r\n"},
        {"one byte short: second line stops", {l5, l5}, {0, 1}, 14, l5 + "\r\n"},
        {"stops at the first misfit", {l5, l5 + l5, "a"}, {0, 1, 2}, 16, l5 + "\r\n"},
        {"a line whose CR LF does not fit", {"abc"}, {0}, 5, ""},
        {"block of one byte", {"a"}, {0}, 1, ""},
        {"a line the source no longer holds is left out", {"a", "b"}, {0, 7, 1}, 64, "a\r\nb\r\n"},
    };
    for (const ClipCase &c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<char> block(c.block_size + 8, '#');
        size_t used = clipboard_text(vector_line, &c.lines, c.selected.data(), c.selected.size(),
                                     block.data(), c.block_size);
        EXPECT_EQ(used, c.expected.size());
        EXPECT_EQ(std::string(block.data(), used), c.expected);
        EXPECT_EQ(block[used], '\0');
        EXPECT_EQ(std::string(block.data() + c.block_size, 8), std::string(8, '#')) << "wrote past the block";
    }
}

TEST(ClipboardText, FullBlockOfLongLinesKeepsItsLastByteZero) {
    // 32,767 selected lines of 511 characters are far more than 64 KiB.
    std::vector<std::string> lines(SELECTION_MAX, std::string(511, 'z'));
    std::vector<size_t> selected(SELECTION_MAX);
    for (size_t i = 0; i < selected.size(); ++i) selected[i] = i;
    std::vector<char> block(CLIPBOARD_BLOCK_BYTES, '#');
    size_t used = clipboard_text(vector_line, &lines, selected.data(), selected.size(), block.data(),
                                 block.size());
    EXPECT_EQ(used, (CLIPBOARD_BLOCK_BYTES - 1) / 513 * 513);
    EXPECT_EQ(block[used], '\0');
    EXPECT_EQ(block.back(), used == block.size() - 1 ? '\0' : '#');
}

TEST(Layout, FourChildrenTwoByTwo) {
    struct Case {
        uint32_t width, height;
        int w, h;
    };
    const Case cases[] = {{801, 601, 400, 300}, {800, 600, 400, 300}, {1, 1, 0, 0}, {0, 0, 0, 0}, {65535, 3, 32767, 1}};
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << " x " << c.height);
        ChildPlace places[4];
        layout_children(c.width, c.height, places);
        const ChildPlace expected[4] = {
            {CHILD_STATUS_1, 0, c.h, c.w, c.h},
            {CHILD_STATUS_2, c.w, c.h, c.w, c.h},
            {CHILD_EYE_1, 0, 0, c.w, c.h},
            {CHILD_EYE_2, c.w, 0, c.w, c.h},
        };
        for (int i = 0; i < 4; ++i) {
            EXPECT_EQ(places[i].child, expected[i].child);
            EXPECT_EQ(places[i].x, expected[i].x);
            EXPECT_EQ(places[i].y, expected[i].y);
            EXPECT_EQ(places[i].width, expected[i].width);
            EXPECT_EQ(places[i].height, expected[i].height);
        }
    }
}

// The summary as wide as it asks, within two and three fifths of the width.
TEST(Layout, TheCallSummaryTakesItsWidthWithinTwoAndThreeFifths) {
    struct Case {
        uint32_t width, height, calls_width;
        int left;
    };
    const Case cases[] = {
        {1000, 600, 0, 600},   {1000, 600, 450, 550},  {1000, 600, 601, 400},    {1000, 600, UINT32_MAX, 400},
        {801, 601, 0, 481},    {801, 601, 380, 421},   {1, 1, 380, 1},           {0, 0, 380, 0},
        {65535, 4, 0, 39321},  {65535, 4, 380, 39321}, {65535, 4, 30000, 35535},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << " x " << c.height << ", asking " << c.calls_width);
        ChildPlace places[5];
        layout_children_with_calls(c.width, c.height, c.calls_width, places);
        EXPECT_EQ(places[0].child, CHILD_STATUS_1);
        EXPECT_EQ(places[1].x + places[1].width, c.left / 2 * 2) << "the lists end where the summary starts";
        EXPECT_EQ(places[3].y, 0);
        EXPECT_EQ(places[4].child, CHILD_CALLS);
        EXPECT_EQ(places[4].x, c.left);
        EXPECT_EQ(places[4].y, 0);
        EXPECT_EQ(places[4].x + places[4].width, static_cast<int>(c.width));
        EXPECT_EQ(places[4].height, static_cast<int>(c.height));
    }
}

TEST(MenuCommands, TogglesFlagAndCheckMarkTogether) {
    Visibility visible;
    reset_visibility(visible);
    struct Step {
        int id;
        CommandKind kind;
        int child;
        bool shown;
        int status1, status2, eye1, eye2;  // flags after the step
    };
    const Step steps[] = {
        {IDM_MONITOR_2, COMMAND_TOGGLE, CHILD_STATUS_2, false, 1, 0, 1, 1},
        {IDM_MONITOR_2, COMMAND_TOGGLE, CHILD_STATUS_2, true, 1, 1, 1, 1},
        {IDM_EYE_1, COMMAND_TOGGLE, CHILD_EYE_1, false, 1, 1, 0, 1},
        {IDM_MONITOR_1, COMMAND_TOGGLE, CHILD_STATUS_1, false, 0, 1, 0, 1},
        {IDM_EYE_2, COMMAND_TOGGLE, CHILD_EYE_2, false, 0, 1, 0, 0},
        {IDM_ABOUT, COMMAND_ABOUT, 0, false, 0, 1, 0, 0},
        {IDM_EXIT, COMMAND_EXIT, 0, false, 0, 1, 0, 0},
        {IDM_CALLS, COMMAND_TOGGLE, CHILD_CALLS, true, 0, 1, 0, 0},
        {IDM_RECORD_SESSION, COMMAND_RECORD_SESSION, 0, false, 0, 1, 0, 0},
        {IDM_STOP_RECORDING, COMMAND_STOP_RECORDING, 0, false, 0, 1, 0, 0},
        {IDM_OPEN_SESSION, COMMAND_OPEN_SESSION, 0, false, 0, 1, 0, 0},
        {IDM_CALLS, COMMAND_TOGGLE, CHILD_CALLS, false, 0, 1, 0, 0},
        {23, COMMAND_UNKNOWN, 0, false, 0, 1, 0, 0},
        {0, COMMAND_UNKNOWN, 0, false, 0, 1, 0, 0},
        {IDM_EYE_1, COMMAND_TOGGLE, CHILD_EYE_1, true, 0, 1, 1, 0},
    };
    for (const Step &s : steps) {
        SCOPED_TRACE(testing::Message() << "command " << s.id);
        CommandEffect effect = menu_command(visible, s.id);
        EXPECT_EQ(effect.kind, s.kind);
        EXPECT_EQ(effect.child, s.child);
        EXPECT_EQ(effect.shown, s.shown);
        EXPECT_EQ(visible.status[0], s.status1);
        EXPECT_EQ(visible.status[1], s.status2);
        EXPECT_EQ(visible.eye[0], s.eye1);
        EXPECT_EQ(visible.eye[1], s.eye2);
    }
}

TEST(MenuCommands, ChildrenAndMenuRowsAgree) {
    // A child's close button sends the command whose toggle acts on it.
    for (const ChildRow &row : CHILD_ROWS) {
        SCOPED_TRACE(row.caption);
        Visibility visible;
        reset_visibility(visible);
        EXPECT_EQ(child_close_command(row.id), row.menu_id);
        CommandEffect effect = menu_command(visible, child_close_command(row.id));
        EXPECT_EQ(effect.child, row.id);
        EXPECT_FALSE(effect.shown);
        bool in_menu = false;
        for (const MenuRow &item : MENU_ROWS) {
            in_menu |= item.id == row.menu_id && item.checkable;
        }
        EXPECT_TRUE(in_menu);
    }
    EXPECT_EQ(child_close_command(0), 0);
    EXPECT_EQ(child_close_command(CHILD_CALLS), IDM_CALLS);
    EXPECT_EQ(child_close_command(6), 0);
}

TEST(EyeMapping, IsotropicSquareCentredInTheClientArea) {
    struct Case {
        int width, height, x, y, px, py;
    };
    const Case cases[] = {
        {400, 300, 0, 0, 200, 150},
        {400, 300, -20000, 20000, 50, 0},
        {400, 300, 20000, -20000, 350, 300},  // just below the area
        {400, 300, 26667, 0, 400, 150},        // the strips beside the square
        {300, 400, 0, 20000, 150, 50},
        {401, 301, 10000, 10000, 275, 75},
        {2, 2, 20000, 20000, 2, 0},
        {400, 300, 1, 0, 200, 150},            // 0.0075 px rounds to the centre
        {400, 300, 67, -67, 201, 151},         // 0.5025 px rounds up
        {400, 300, -67, 67, 199, 149},
        {400, 300, -32768, 32767, -46, -96},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " (" << c.x << ", " << c.y << ")");
        EyeMapping mapping;
        ASSERT_TRUE(eye_mapping(c.width, c.height, &mapping));
        int px = 0, py = 0;
        eye_pixel(mapping, c.x, c.y, &px, &py);
        EXPECT_EQ(px, c.px);
        EXPECT_EQ(py, c.py);
    }
    EyeMapping mapping;
    for (const auto &size : {std::pair{1, 300}, std::pair{400, 1}, std::pair{0, 0}, std::pair{-5, 10}}) {
        EXPECT_FALSE(eye_mapping(size.first, size.second, &mapping)) << size.first << "x" << size.second;
    }
}

}  // namespace
