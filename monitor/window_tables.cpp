// Menu, children, texts, visibility flags and layout of the monitor.
#include "monitor/window_tables.h"

#include <cstdio>
#include <cstring>

#include "formatting/formatting.h"

const char MAIN_CLASS[] = "LineWatch";
const char STATUS_CLASS[] = "StatusClass";
const char EYE_CLASS[] = "EyeClass";
const char MAIN_CAPTION[] = "Line Watch";
const char ABOUT_TEXT[] = "Tarvel line watch Rev 1.1.";
const char ABOUT_CAPTION[] = "LineWatch";
const char WARNING_CAPTION[] = "Warning";

const MenuRow MENU_ROWS[MENU_ROW_COUNT] = {
    //  popup        item                    Qt item                 id                  checkable checked separator
    {"&File",    "&Open Session...",     "&Open Session...",     IDM_OPEN_SESSION,   false, false, false},
    {"&File",    "&Record Session...",   "&Record Session...",   IDM_RECORD_SESSION, false, false, false},
    {"&File",    "&Stop Recording",      "S&top Recording",      IDM_STOP_RECORDING, false, false, false},
    {"&File",    "E&xit",                "E&xit",                IDM_EXIT,           false, false, true},
    {"&Monitor", "Modem &1",             "Modem &1",             IDM_MONITOR_1,      true,  true,  false},
    {"&Monitor", "Modem &2",             "Modem &2",             IDM_MONITOR_2,      true,  true,  false},
    {"&Monitor", "&Call Summary",        "&Calls",               IDM_CALLS,          true,  false, true},
    {"&Eye",     "Modem &1",             "Modem &1",             IDM_EYE_1,          true,  true,  false},
    {"&Eye",     "Modem &2",             "Modem &2",             IDM_EYE_2,          true,  true,  false},
    {"&Help",    "&About LineWatch...",  "&About LineWatch...",  IDM_ABOUT,          false, false, false},
};

const ToolMenuRow TOOL_MENU_ROWS[TOOL_MENU_ROW_COUNT] = {
    //   popup      item                            Qt item  id                       checkable checked separator  before
    {{"&File",   "Save Modem &1 List...",         nullptr, IDM_SAVE_LIST_1,          false, false, true},  IDM_EXIT},
    {{"&File",   "Save Modem &2 List...",         nullptr, IDM_SAVE_LIST_2,          false, false, false}, IDM_EXIT},
    {{"&File",   "Save Modem 1 Shown &Lines...",  nullptr, IDM_SAVE_SHOWN_1,         false, false, false}, IDM_EXIT},
    {{"&File",   "Save Modem 2 Shown L&ines...",  nullptr, IDM_SAVE_SHOWN_2,         false, false, false}, IDM_EXIT},
    {{"&View>&Time", "&None",                         nullptr, IDM_TIME_FIRST + 0,       true,  true,  false}, IDM_ABOUT},
    {{"&View>&Time", "&Wall Clock",             nullptr, IDM_TIME_FIRST + 1,       true,  false, false}, IDM_ABOUT},
    {{"&View>&Time", "Since &Start",            nullptr, IDM_TIME_FIRST + 2,       true,  false, false}, IDM_ABOUT},
    {{"&View>&Time", "Since &Previous Line",    nullptr, IDM_TIME_FIRST + 3,       true,  false, false}, IDM_ABOUT},
    {{"&Replay", "&Play",                         nullptr, IDM_PLAY,                 false, false, false}, IDM_ABOUT},
    {{"&Replay", "P&ause",                        nullptr, IDM_PAUSE,                false, false, false}, IDM_ABOUT},
    {{"&Replay", "&Step",                         nullptr, IDM_STEP,                 false, false, false}, IDM_ABOUT},
    {{"&Replay>Spee&d", "&1x",                  nullptr, IDM_SPEED_FIRST + 0,      true,  true,  false},  IDM_ABOUT},
    {{"&Replay>Spee&d", "1&0x",                          nullptr, IDM_SPEED_FIRST + 1,      true,  false, false}, IDM_ABOUT},
    {{"&Replay>Spee&d", "As &Fast as Possible",          nullptr, IDM_SPEED_FIRST + 2,      true,  false, false}, IDM_ABOUT},
};

void window_menu_rows(const MenuRow *rows[WINDOW_MENU_ROW_COUNT]) {
    size_t n = 0;
    for (const MenuRow &row : MENU_ROWS) {
        for (const ToolMenuRow &tool : TOOL_MENU_ROWS) {
            if (tool.before == row.id) {
                rows[n++] = &tool.row;
            }
        }
        rows[n++] = &row;
    }
}

bool menu_radio_group(int id, int *first, int *last) {
    if (id >= IDM_TIME_FIRST && id < IDM_TIME_FIRST + 4) {
        *first = IDM_TIME_FIRST;
        *last = IDM_TIME_FIRST + 3;
        return true;
    }
    if (id >= IDM_SPEED_FIRST && id < IDM_SPEED_FIRST + 3) {
        *first = IDM_SPEED_FIRST;
        *last = IDM_SPEED_FIRST + 2;
        return true;
    }
    return false;
}

static int clamp_size(int work, int least) {
    if (work <= least) {
        return work > 0 ? work : least;
    }
    const int most = static_cast<int>(int64_t(work) * 4 / 5);
    return most > least ? most : least;
}

WindowPlace main_window_place(int work_x, int work_y, int work_width, int work_height, int dpi) {
    const int scale = dpi > 0 ? dpi : 96;
    const int width = clamp_size(work_width, static_cast<int>(int64_t(1024) * scale / 96));
    const int height = clamp_size(work_height, static_cast<int>(int64_t(768) * scale / 96));
    const int x = work_width > width ? work_x + (work_width - width) / 2 : work_x;
    const int y = work_height > height ? work_y + (work_height - height) / 2 : work_y;
    return {x, y, width, height};
}

const MenuRow *menu_row(int id) {
    for (const MenuRow &row : MENU_ROWS) {
        if (row.id == id) {
            return &row;
        }
    }
    for (const ToolMenuRow &tool : TOOL_MENU_ROWS) {
        if (tool.row.id == id) {
            return &tool.row;
        }
    }
    return nullptr;
}

const ChildRow CHILD_ROWS[4] = {
    //  id              class         caption                 menu
    {CHILD_STATUS_1, STATUS_CLASS, "Modem 1 Status",      IDM_MONITOR_1},
    {CHILD_STATUS_2, STATUS_CLASS, "Modem 2 Status",      IDM_MONITOR_2},
    {CHILD_EYE_1,    EYE_CLASS,    "Modem 1 Eye Display", IDM_EYE_1},
    {CHILD_EYE_2,    EYE_CLASS,    "Modem 2 Eye Display", IDM_EYE_2},
};

void reset_visibility(Visibility &visible) {
    visible.status[0] = visible.status[1] = 1;
    visible.eye[0] = visible.eye[1] = 1;
    visible.calls = 0;
}

CommandEffect menu_command(Visibility &visible, int id) {
    switch (id) {
    case IDM_EXIT:
        return {COMMAND_EXIT, 0, false};
    case IDM_ABOUT:
        return {COMMAND_ABOUT, 0, false};
    case IDM_RECORD_SESSION:
        return {COMMAND_RECORD_SESSION, 0, false};
    case IDM_STOP_RECORDING:
        return {COMMAND_STOP_RECORDING, 0, false};
    case IDM_OPEN_SESSION:
        return {COMMAND_OPEN_SESSION, 0, false};
    case IDM_SAVE_LIST_1:
    case IDM_SAVE_LIST_2:
    case IDM_SAVE_SHOWN_1:
    case IDM_SAVE_SHOWN_2:
        return {COMMAND_SAVE_LIST, 1 + ((id - IDM_SAVE_LIST_1) & 1), id >= IDM_SAVE_SHOWN_1};
    case IDM_PLAY:
        return {COMMAND_PLAY, 0, false};
    case IDM_PAUSE:
        return {COMMAND_PAUSE, 0, false};
    case IDM_STEP:
        return {COMMAND_STEP, 0, false};
    case IDM_CALLS:
        visible.calls = visible.calls ? 0 : 1;
        return {COMMAND_TOGGLE, CHILD_CALLS, visible.calls == 1};
    case IDM_MONITOR_1:
    case IDM_MONITOR_2:
    case IDM_EYE_1:
    case IDM_EYE_2: {
        const int modem_index = id & 1;
        const bool status = id == IDM_MONITOR_1 || id == IDM_MONITOR_2;
        int *flag = status ? &visible.status[modem_index] : &visible.eye[modem_index];
        *flag = *flag ? 0 : 1;
        const int child = (status ? CHILD_STATUS_1 : CHILD_EYE_1) + modem_index;
        return {COMMAND_TOGGLE, child, *flag == 1};
    }
    default:
        if (id >= IDM_TIME_FIRST && id < IDM_TIME_FIRST + 4) {
            return {COMMAND_TIME_FORMAT, 0, false, id - IDM_TIME_FIRST};
        }
        if (id >= IDM_SPEED_FIRST && id < IDM_SPEED_FIRST + 3) {
            return {COMMAND_SPEED, 0, false, id - IDM_SPEED_FIRST};
        }
        return {COMMAND_UNKNOWN, 0, false};
    }
}

int child_close_command(int child_id) {
    if (child_id == CHILD_CALLS) {
        return IDM_CALLS;
    }
    for (const ChildRow &row : CHILD_ROWS) {
        if (row.id == child_id) {
            return row.menu_id;
        }
    }
    return 0;
}

void layout_children(uint32_t width, uint32_t height, ChildPlace places[4]) {
    const int w = static_cast<int>(width / 2);
    const int h = static_cast<int>(height / 2);
    places[0] = {CHILD_STATUS_1, 0, h, w, h};
    places[1] = {CHILD_STATUS_2, w, h, w, h};
    places[2] = {CHILD_EYE_1, 0, 0, w, h};
    places[3] = {CHILD_EYE_2, w, 0, w, h};
}

void layout_children_with_calls(uint32_t width, uint32_t height, uint32_t calls_width, ChildPlace places[5]) {
    const uint32_t least = static_cast<uint32_t>(uint64_t(width) * 2 / 5);
    const uint32_t most = static_cast<uint32_t>(uint64_t(width) * 3 / 5);
    const uint32_t left = width - (calls_width < least ? least : calls_width > most ? most : calls_width);
    layout_children(left, height, places);
    places[4] = {CHILD_CALLS, static_cast<int>(left), 0, static_cast<int>(width - left), static_cast<int>(height)};
}

void session_caption(const char *path, char *text, size_t size) {
    if (size == 0) {
        return;
    }
    if (path == nullptr || path[0] == '\0') {
        std::snprintf(text, size, "%s", MAIN_CAPTION);
        return;
    }
    // The name after the last folder separator of either platform.
    const char *name = path;
    for (const char *p = path; *p != '\0'; ++p) {
        if (*p == '/' || *p == '\\' || *p == ':') {
            name = p + 1;
        }
    }
    std::snprintf(text, size, "%s - %s", MAIN_CAPTION, name);
}

bool command_tail_file(const char *tail, char *path, size_t size) {
    if (size > 0) {
        path[0] = '\0';
    }
    if (tail == nullptr || size == 0) {
        return false;
    }
    const char *begin = tail;
    const char *end = tail + std::strlen(tail);
    while (begin < end && (*begin == ' ' || *begin == '\t')) ++begin;
    while (end > begin && (end[-1] == ' ' || end[-1] == '\t')) --end;
    if (end - begin >= 2 && *begin == '"' && end[-1] == '"') {
        ++begin;
        --end;
    }
    const size_t length = static_cast<size_t>(end - begin);
    bool separator = false;
    for (const char *p = begin; p < end; ++p) {
        separator |= *p == '\\' || *p == '/';
    }
    if (length == 0 || length >= size ||
        !(separator || ends_with_folded(begin, length, ".trace") || ends_with_folded(begin, length, ".gz"))) {
        return false;
    }
    std::memcpy(path, begin, length);
    path[length] = '\0';
    return true;
}
