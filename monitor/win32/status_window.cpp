// The status windows: a list box per modem that shows the newest lines of
// the core's line store, the status tick, the warning box and Ctrl+C.
#include <windows.h>

#include <cstring>

#include "decoder/status.h"
#include "monitor/clipboard_text.h"
#include "monitor/monitor.h"
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

// Appends one line to a list box. When the list runs out of space the
// oldest line goes for the new one; a line that does not fit even an empty
// list is dropped. Returns the new line's index, or -1 when it was dropped.
static LRESULT add_to_list(HWND list, const char *line) {
    LRESULT index = SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line));
    while (index == LB_ERRSPACE || index == LB_ERR) {
        if (SendMessageA(list, LB_GETCOUNT, 0, 0) <= 0) {
            return -1;
        }
        SendMessageA(list, LB_DELETESTRING, 0, 0);
        index = SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line));
    }
    return index;
}

static void widen_for(int modem, HWND list, HDC dc, const char *line) {
    const DWORD size = GetTabbedTextExtentA(dc, line, static_cast<int>(strlen(line)), 0, nullptr);
    TEXTMETRICA metrics;
    GetTextMetricsA(dc, &metrics);
    const int width = LOWORD(size) + 2 * metrics.tmAveCharWidth;  // a margin past the last character
    if (width > windows.widest[modem - 1]) {
        windows.widest[modem - 1] = width;
        SendMessageA(list, LB_SETHORIZONTALEXTENT, static_cast<WPARAM>(width), 0);
    }
}

// The longest one list's catch-up takes in one go on a tick; the lines it
// had no time for are added on the next one, in order.
constexpr unsigned SYNC_BUDGET_MS = 30;

// Brings a list box up to its store: the list keeps no more of the lines it
// already showed than the store still holds (the oldest go from the top,
// whether the store or the list box itself dropped them), then the lines
// the store gained are added at the end, the newest in view. A shown list
// box redraws on every add, delete and scroll, which costs milliseconds a
// line at 100,000 lines: the whole catch-up runs with drawing off and one
// repaint at the end, and stops at its budget.
static void sync_list(int modem, unsigned budget_ms) {
    const LineStore &store = windows.monitor->stores[modem - 1];
    HWND list = windows.list[modem - 1];
    const ViewChange change =
        line_view_catch_up(store, &windows.shown_first[modem - 1], &windows.shown_end[modem - 1]);
    const LRESULT still_stored = static_cast<LRESULT>(store.count - change.inserted);
    if (change.inserted == 0 && SendMessageA(list, LB_GETCOUNT, 0, 0) <= still_stored) {
        return;
    }
    const ULONGLONG deadline = budget_ms > 0 ? GetTickCount64() + budget_ms : ~ULONGLONG(0);
    SendMessageA(list, WM_SETREDRAW, FALSE, 0);
    while (SendMessageA(list, LB_GETCOUNT, 0, 0) > still_stored) {
        SendMessageA(list, LB_DELETESTRING, 0, 0);
    }
    HDC dc = GetDC(list);
    // The list's own font; none set means the system font the DC starts with.
    HFONT font = reinterpret_cast<HFONT>(SendMessageA(list, WM_GETFONT, 0, 0));
    HGDIOBJ previous_font = font != nullptr ? SelectObject(dc, font) : nullptr;
    LRESULT newest = -1;
    size_t n = store.count - change.inserted;
    for (; n < store.count; ++n) {
        if (newest >= 0 && GetTickCount64() >= deadline) {
            break;  // the rest on the next catch-up
        }
        // A line that ends in a line feed is shown without it: the list box
        // would draw it as a box. The store keeps it, and copies take it.
        const char *line = line_store_text(store, n);
        size_t length = strlen(line);
        StatusLine shown;
        if (length > 0 && line[length - 1] == '\n' && length < sizeof shown) {
            while (length > 0 && (line[length - 1] == '\n' || line[length - 1] == '\r')) {
                --length;
            }
            memcpy(shown, line, length);
            shown[length] = '\0';
            line = shown;
        }
        const LRESULT index = add_to_list(list, line);
        if (index >= 0) {
            widen_for(modem, list, dc, line);
            newest = index;
        }
    }
    // Lines not added yet count as not shown: the next catch-up adds them.
    windows.shown_end[modem - 1] -= store.count - n;
    if (previous_font != nullptr) {
        SelectObject(dc, previous_font);
    }
    ReleaseDC(list, dc);
    if (newest >= 0) {
        SendMessageA(list, LB_SETTOPINDEX, static_cast<WPARAM>(newest), 0);
    }
    SendMessageA(list, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(list, nullptr, TRUE);
}

void sync_lists(unsigned budget_ms) {
    sync_list(1, budget_ms);
    sync_list(2, budget_ms);
}

void reset_lists() {
    for (int m = 0; m < 2; ++m) {
        SendMessageA(windows.list[m], LB_RESETCONTENT, 0, 0);
        windows.shown_first[m] = windows.shown_end[m] = windows.monitor->stores[m].first_number;
        windows.widest[m] = 0;
        SendMessageA(windows.list[m], LB_SETHORIZONTALEXTENT, 0, 0);
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
    const LineStore &store = windows.monitor->stores[modem - 1];
    const uint64_t end = windows.shown_end[modem - 1];
    const uint64_t shown = end > store.first_number ? end - store.first_number : 0;  // lines up to the last row
    const LRESULT rows = SendMessageA(list, LB_GETCOUNT, 0, 0);
    const size_t first = rows >= 0 && static_cast<uint64_t>(rows) <= shown ? size_t(shown - uint64_t(rows)) : 0;
    for (LRESULT n = 0; n < count; ++n) {
        indexes[n] = first + static_cast<size_t>(selected[n]);
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
    monitor_copy_lines(*windows.monitor, modem, indexes, static_cast<size_t>(count), text, CLIPBOARD_BLOCK_BYTES);
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

static void on_create(HWND window, const CREATESTRUCTA *create) {
    const int child = static_cast<int>(reinterpret_cast<INT_PTR>(create->hMenu));
    const int index = child == CHILD_STATUS_1 ? 0 : 1;
    windows.status[index] = window;
    windows.list[index] = CreateWindowExA(0, "LISTBOX", nullptr, LIST_STYLE, 0, 0, 0, 0, window,
                                          reinterpret_cast<HMENU>(static_cast<INT_PTR>(child)),
                                          create->hInstance, nullptr);
    windows.shown_first[index] = windows.shown_end[index] = line_store_end_number(windows.monitor->stores[index]);
    SetTimer(window, 1, TIMER_PERIOD_MS, nullptr);
}

LRESULT CALLBACK status_window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_CREATE:
        on_create(window, reinterpret_cast<const CREATESTRUCTA *>(lparam));
        return 0;
    case WM_SIZE:
        MoveWindow(windows.list[modem_of(window) - 1], 0, 0, LOWORD(lparam), HIWORD(lparam), TRUE);
        return 0;
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
