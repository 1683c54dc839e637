// The status windows: a list box per modem that shows the newest lines of
// the core's line store, the status tick, the warning box and Ctrl+C.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <deque>

#include "decoder/status.h"
#include "monitor/clipboard_text.h"
#include "monitor/monitor.h"
#include "monitor/status_export.h"
#include "monitor/text_filter.h"
#include "monitor/win32/win32_windows.h"
#include "monitor/window_tables.h"

// WS_CHILD, WS_VISIBLE, WS_VSCROLL, WS_HSCROLL, LBS_EXTENDEDSEL,
// LBS_WANTKEYBOARDINPUT, LBS_NOINTEGRALHEIGHT, LBS_HASSTRINGS and
// LBS_MULTIPLESEL; with LBS_USETABSTOPS so that the TAB columns line up.
constexpr DWORD LIST_STYLE = 0x50300D48 | LBS_USETABSTOPS;
static_assert((0x50300D48 & ~(WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_HSCROLL | LBS_EXTENDEDSEL |
                              LBS_WANTKEYBOARDINPUT | LBS_NOINTEGRALHEIGHT | LBS_HASSTRINGS |
                              LBS_MULTIPLESEL)) == 0);

static int modem_of(HWND status_window) { return status_window == windows.status[0] ? 1 : 2; }

// Ids of a status window's controls: the list box has its child's id.
constexpr int FILTER_LABEL_ID = 10;
constexpr int FILTER_EDIT_ID = 11;
constexpr int COUNT_ID = 12;
static const char FILTER_LABEL[] = "Filter:";

// Tab stops of the lists, in quarters of a character cell: every eight
// cells, as the status texts are written for; with the time column shown
// the line starts at cell 16 (a time is at most 12 cells) and its own TABs
// stay eight cells apart from there.
constexpr int TAB_CELL_QUARTERS = 4;
constexpr int TAB_CELLS = 8;
constexpr int TIME_COLUMN_CELLS = 16;
constexpr int TAB_STOPS = 72;  // past the 511 characters of the longest line

static void set_tab_stops(HWND list) {
    int stops[TAB_STOPS];
    const int first = windows.time_format != LINE_TIME_OFF ? TIME_COLUMN_CELLS : TAB_CELLS;
    for (int i = 0; i < TAB_STOPS; ++i) {
        stops[i] = (first + i * TAB_CELLS) * TAB_CELL_QUARTERS;
    }
    SendMessageA(list, LB_SETTABSTOPS, TAB_STOPS, reinterpret_cast<LPARAM>(stops));
}

static void widen_for(int modem, HWND list, HDC dc, const char *line) {
    TEXTMETRICA metrics;
    GetTextMetricsA(dc, &metrics);
    int stops[TAB_STOPS];
    const int first = windows.time_format != LINE_TIME_OFF ? TIME_COLUMN_CELLS : TAB_CELLS;
    for (int i = 0; i < TAB_STOPS; ++i) {
        stops[i] = (first + i * TAB_CELLS) * metrics.tmAveCharWidth;
    }
    const DWORD size = GetTabbedTextExtentA(dc, line, static_cast<int>(strlen(line)), TAB_STOPS, stops);
    const int width = LOWORD(size) + 2 * metrics.tmAveCharWidth;  // a margin past the last character
    if (width > windows.widest[modem - 1]) {
        windows.widest[modem - 1] = width;
        SendMessageA(list, LB_SETHORIZONTALEXTENT, static_cast<WPARAM>(width), 0);
    }
}

// The longest one list's catch-up takes in one go on a tick; the lines it
// had no time for are added on the next one, in order.
constexpr unsigned SYNC_BUDGET_MS = 30;

// Whether the list shows its last row: then it follows the newest line.
static bool shows_last_row(HWND list) {
    const LRESULT count = SendMessageA(list, LB_GETCOUNT, 0, 0);
    if (count <= 0) {
        return true;
    }
    RECT client;
    GetClientRect(list, &client);
    const LRESULT item = SendMessageA(list, LB_GETITEMHEIGHT, 0, 0);
    const LRESULT rows = item > 0 ? std::max<LRESULT>(1, client.bottom / item) : 1;
    return SendMessageA(list, LB_GETTOPINDEX, 0, 0) + rows >= count;
}

static void show_count(int modem) {
    char text[64];
    std::snprintf(text, sizeof text, "%zu of %zu", windows.rows[modem - 1].size(),
                  windows.monitor->stores[modem - 1].count);
    SetWindowTextA(windows.count[modem - 1], text);
}

// Removes the list's first row and the store number it shows.
static void drop_first_row(int modem) {
    SendMessageA(windows.list[modem - 1], LB_DELETESTRING, 0, 0);
    if (!windows.rows[modem - 1].empty()) {
        windows.rows[modem - 1].pop_front();
    }
}

// Brings a list box up to its store: the rows of lines the store no longer
// holds go from the top, then the lines the store gained and the filter
// lets through are added at the end, with their time when one is shown.
// The list follows the newest line while its last row is in view; scrolled
// away, it stays on the lines it shows. A shown list box redraws on every
// add, delete and scroll, which costs milliseconds a line at 100,000 lines:
// the whole catch-up runs with drawing off and one repaint at the end, and
// stops at its budget.
static void sync_list(int modem, unsigned budget_ms) {
    const int m = modem - 1;
    const LineStore &store = windows.monitor->stores[m];
    HWND list = windows.list[m];
    std::deque<uint64_t> &rows = windows.rows[m];
    const uint64_t end = line_store_end_number(store);
    if (windows.shown_end[m] > end || (!rows.empty() && rows.back() >= end)) {
        reset_list(modem);  // the store was filled anew under the list
    }
    size_t removed = 0;
    while (!rows.empty() && rows.front() < store.first_number) {
        rows.pop_front();
        ++removed;
    }
    if (windows.shown_end[m] < store.first_number) {
        windows.shown_end[m] = store.first_number;
    }
    if (removed == 0 && windows.shown_end[m] == end) {
        return;
    }
    const ULONGLONG deadline = budget_ms > 0 ? GetTickCount64() + budget_ms : ~ULONGLONG(0);
    const bool following = shows_last_row(list);
    const LRESULT top = SendMessageA(list, LB_GETTOPINDEX, 0, 0);
    SendMessageA(list, WM_SETREDRAW, FALSE, 0);
    for (size_t k = 0; k < removed; ++k) {
        SendMessageA(list, LB_DELETESTRING, 0, 0);
    }
    HDC dc = GetDC(list);
    HFONT font = reinterpret_cast<HFONT>(SendMessageA(list, WM_GETFONT, 0, 0));
    HGDIOBJ previous_font = font != nullptr ? SelectObject(dc, font) : nullptr;
    bool added = false;
    uint64_t n = windows.shown_end[m];
    const uint64_t first_looked_at = n;
    for (; n < end; ++n) {
        // The clock every few lines, whether or not the filter lets them
        // through; at least one line a call, so that the list moves on.
        if (n > first_looked_at && (added || (n - first_looked_at) % 256 == 0) && GetTickCount64() >= deadline) {
            break;  // the rest on the next catch-up
        }
        const size_t i = static_cast<size_t>(n - store.first_number);
        const char *stored = line_store_text(store, i);
        if (!text_filter_passes(windows.filters[m], stored)) {
            continue;
        }
        // A line that ends in a line feed is shown without it: the list box
        // would draw it as a box. The store keeps it, and copies take it.
        StatusLine shown;
        size_t length = strlen(stored);
        while (length > 0 && (stored[length - 1] == '\n' || stored[length - 1] == '\r')) {
            --length;
        }
        length = std::min(length, sizeof shown - 1);
        memcpy(shown, stored, length);
        shown[length] = '\0';
        char row[STATUS_LINE_BYTES + LINE_TIME_TEXT_BYTES + 2];
        const char *text = shown;
        if (windows.time_format != LINE_TIME_OFF) {
            char time[LINE_TIME_TEXT_BYTES];
            store_line_time(store, i, windows.monitor->activity, modem, windows.time_format, time);
            line_with_time(time, shown, row, sizeof row);
            text = row;
        }
        LRESULT index = SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
        // Out of room, the list box gives its oldest row for the new one.
        while ((index == LB_ERRSPACE || index == LB_ERR) && SendMessageA(list, LB_GETCOUNT, 0, 0) > 0) {
            drop_first_row(modem);
            index = SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
        }
        if (index >= 0) {
            rows.push_back(n);
            widen_for(modem, list, dc, text);
            added = true;
        }
    }
    windows.shown_end[m] = n;
    if (previous_font != nullptr) {
        SelectObject(dc, previous_font);
    }
    ReleaseDC(list, dc);
    const LRESULT count = SendMessageA(list, LB_GETCOUNT, 0, 0);
    if (following && count > 0) {
        SendMessageA(list, LB_SETTOPINDEX, static_cast<WPARAM>(count - 1), 0);
    } else if (!following) {
        // The rows in view stay in view as older ones leave the top.
        SendMessageA(list, LB_SETTOPINDEX, static_cast<WPARAM>(std::max<LRESULT>(0, top - LRESULT(removed))), 0);
    }
    SendMessageA(list, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(list, nullptr, TRUE);
    show_count(modem);
}

void sync_lists(unsigned budget_ms) {
    sync_list(1, budget_ms);
    sync_list(2, budget_ms);
}

void reset_list(int modem) {
    const int m = modem - 1;
    SendMessageA(windows.list[m], LB_RESETCONTENT, 0, 0);
    windows.rows[m].clear();
    windows.shown_end[m] = windows.monitor->stores[m].first_number;
    windows.widest[m] = 0;
    SendMessageA(windows.list[m], LB_SETHORIZONTALEXTENT, 0, 0);
    show_count(modem);
}

void reset_lists() {
    reset_list(1);
    reset_list(2);
}

void show_lists_again() {
    for (int modem = 1; modem <= 2; ++modem) {
        set_tab_stops(windows.list[modem - 1]);
        reset_list(modem);
        sync_list(modem, SYNC_BUDGET_MS);
    }
}

void show_warning(void *, const char *line) {
    // The lists show what has arrived before the box takes over; the box's
    // own message loop keeps every timer running underneath.
    sync_lists(SYNC_BUDGET_MS);
    MessageBoxA(windows.main, line, WARNING_CAPTION, MB_ICONWARNING | MB_OK);
}

// Copies the selected lines of modem 1 or 2's list from the store: the list
// box shows the lines up to shown_end (the newest at the bottom), so row i
// shows store line shown_end - rows + i.
static void copy_selection(HWND window, int modem) {
    static int selected[SELECTION_MAX];
    static size_t indexes[SELECTION_MAX];
    HWND list = windows.list[modem - 1];
    const LRESULT count = SendMessageA(list, LB_GETSELITEMS, SELECTION_MAX, reinterpret_cast<LPARAM>(selected));
    if (count <= 0) {
        return;
    }
    // Each row shows the store line whose running number it keeps.
    const LineStore &store = windows.monitor->stores[modem - 1];
    const std::deque<uint64_t> &rows = windows.rows[modem - 1];
    size_t picked = 0;
    for (LRESULT n = 0; n < count; ++n) {
        const size_t row = static_cast<size_t>(selected[n]);
        if (row < rows.size() && rows[row] >= store.first_number) {
            indexes[picked++] = static_cast<size_t>(rows[row] - store.first_number);
        }
    }
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, CLIPBOARD_BLOCK_BYTES);
    if (block == nullptr) {
        return;
    }
    char *text = static_cast<char *>(GlobalLock(block));
    if (text == nullptr) {
        GlobalFree(block);
        return;
    }
    monitor_copy_lines(*windows.monitor, modem, indexes, picked, text, CLIPBOARD_BLOCK_BYTES);
    GlobalUnlock(block);
    if (!OpenClipboard(window)) {
        GlobalFree(block);
        return;
    }
    EmptyClipboard();
    if (SetClipboardData(CF_TEXT, block) == nullptr) {
        GlobalFree(block);  // the clipboard did not take it
    }
    CloseClipboard();
}

// The controls placed for the window's size: the filter row at the top
// (label, field, count), the list under it.
static void lay_out(HWND window) {
    const int m = modem_of(window) - 1;
    RECT client;
    GetClientRect(window, &client);
    HDC dc = GetDC(window);
    HGDIOBJ previous = SelectObject(dc, ui_font(window));
    TEXTMETRICA metrics{};
    GetTextMetricsA(dc, &metrics);
    SIZE label{}, count{};
    GetTextExtentPoint32A(dc, FILTER_LABEL, static_cast<int>(strlen(FILTER_LABEL)), &label);
    GetTextExtentPoint32A(dc, "000000 of 000000", 16, &count);
    SelectObject(dc, previous);
    ReleaseDC(window, dc);
    const int gap = metrics.tmAveCharWidth;
    const int bar = metrics.tmHeight + metrics.tmHeight / 2;
    const int field_left = gap + label.cx + gap;
    const int count_left = std::max(field_left, static_cast<int>(client.right - count.cx) - gap);
    MoveWindow(windows.filter_label[m], gap, 2, label.cx, bar, TRUE);
    MoveWindow(windows.filter[m], field_left, 2, std::max(0, count_left - gap - field_left), bar, TRUE);
    MoveWindow(windows.count[m], count_left, 2, count.cx, bar, TRUE);
    const int list_top = bar + 4;
    MoveWindow(windows.list[m], 0, list_top, client.right, std::max(0, int(client.bottom) - list_top), TRUE);
}

void set_status_fonts(HWND window) {
    const int m = modem_of(window) - 1;
    HFONT ui = ui_font(window);
    for (HWND control : {windows.filter_label[m], windows.filter[m], windows.count[m]}) {
        SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(ui), TRUE);
    }
    SendMessageA(windows.list[m], WM_SETFONT, reinterpret_cast<WPARAM>(list_font(window)), TRUE);
    set_tab_stops(windows.list[m]);
    windows.widest[m] = 0;
    lay_out(window);
}

static void on_create(HWND window, const CREATESTRUCTA *create) {
    const int child = static_cast<int>(reinterpret_cast<INT_PTR>(create->hMenu));
    const int index = child == CHILD_STATUS_1 ? 0 : 1;
    windows.status[index] = window;
    windows.filter_label[index] = CreateWindowExA(0, "STATIC", FILTER_LABEL, WS_CHILD | WS_VISIBLE | SS_CENTERIMAGE,
                                                  0, 0, 0, 0, window, reinterpret_cast<HMENU>(FILTER_LABEL_ID),
                                                  create->hInstance, nullptr);
    windows.filter[index] = CreateWindowExA(WS_EX_CLIENTEDGE, "EDIT", "", WS_CHILD | WS_VISIBLE | WS_TABSTOP |
                                            ES_AUTOHSCROLL, 0, 0, 0, 0, window,
                                            reinterpret_cast<HMENU>(FILTER_EDIT_ID), create->hInstance, nullptr);
    SendMessageA(windows.filter[index], EM_SETLIMITTEXT, STATUS_LINE_BYTES - 1, 0);
    windows.count[index] = CreateWindowExA(0, "STATIC", "", WS_CHILD | WS_VISIBLE | SS_RIGHT | SS_CENTERIMAGE, 0, 0,
                                           0, 0, window, reinterpret_cast<HMENU>(COUNT_ID), create->hInstance,
                                           nullptr);
    windows.list[index] = CreateWindowExA(0, "LISTBOX", nullptr, LIST_STYLE, 0, 0, 0, 0, window,
                                          reinterpret_cast<HMENU>(static_cast<INT_PTR>(child)),
                                          create->hInstance, nullptr);
    text_filter_set(windows.filters[index], "");
    windows.rows[index].clear();
    windows.shown_end[index] = line_store_end_number(windows.monitor->stores[index]);
    set_status_fonts(window);
    show_count(index + 1);
    SetTimer(window, 1, TIMER_PERIOD_MS, nullptr);
}

LRESULT CALLBACK status_window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_CREATE:
        on_create(window, reinterpret_cast<const CREATESTRUCTA *>(lparam));
        return 0;
    case WM_SIZE:
        lay_out(window);
        return 0;
    case WM_COMMAND:
        if (LOWORD(wparam) == FILTER_EDIT_ID && HIWORD(wparam) == EN_CHANGE) {
            // A new filter: the list shows the store again through it.
            const int modem = modem_of(window);
            char text[STATUS_LINE_BYTES];
            GetWindowTextA(windows.filter[modem - 1], text, sizeof text);
            text_filter_set(windows.filters[modem - 1], text);
            reset_list(modem);
            sync_list(modem, SYNC_BUDGET_MS);
            return 0;
        }
        break;
    case WM_CTLCOLORSTATIC:
        // The labels on the window's own colour.
        SetBkColor(reinterpret_cast<HDC>(wparam), GetSysColor(COLOR_BTNFACE));
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    case WM_TIMER: {
        // A burst drains over several ticks, so that the window keeps
        // answering. The live monitor drains while a session is shown too.
        monitor_status_tick(*windows.live, WINDOW_DRAIN_BUDGET_US);
        sync_lists(SYNC_BUDGET_MS);
        return 0;
    }
    case WM_VKEYTOITEM:
        // Every key is dealt with here, so the list itself never moves its
        // selection on a key; Ctrl+C copies the selected lines.
        if (LOWORD(wparam) == 'C' && GetKeyState(VK_CONTROL) < 0) {
            copy_selection(window, modem_of(window));
        }
        return -2;
    case WM_CLOSE:
        SendMessageA(windows.main, WM_COMMAND,
                     child_close_command(modem_of(window) == 1 ? CHILD_STATUS_1 : CHILD_STATUS_2), 0);
        return 0;
    case WM_DESTROY:
        KillTimer(window, 1);
        return 0;
    }
    return DefWindowProcA(window, message, wparam, lparam);
}
