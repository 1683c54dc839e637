// The status windows: a list box per modem over the core's line store, the
// drain on every tick, the warning box and Ctrl+C.
#include <windows.h>

#include <cstring>

#include "monitor/clipboard_text.h"
#include "monitor/drain.h"
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

// The running numbers of the store lines that each list box mirrors.
static uint64_t shown_first[2];
static uint64_t shown_end[2];

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

// The widest line each list box has shown, in pixels: the horizontal
// scroll bar reaches that far, so the end of a long line can be scrolled
// into view. It only grows.
static int widest[2];

static void widen_for(int modem, HWND list, HDC dc, const char *line) {
    const DWORD size = GetTabbedTextExtentA(dc, line, static_cast<int>(strlen(line)), 0, nullptr);
    TEXTMETRICA metrics;
    GetTextMetricsA(dc, &metrics);
    const int width = LOWORD(size) + 2 * metrics.tmAveCharWidth;  // a margin past the last character
    if (width > widest[modem - 1]) {
        widest[modem - 1] = width;
        SendMessageA(list, LB_SETHORIZONTALEXTENT, static_cast<WPARAM>(width), 0);
    }
}

// Brings a list box up to its store: the list keeps no more of the lines it
// already showed than the store still holds (the oldest go from the top,
// whether the store or the list box itself dropped them), then the lines
// the store gained are added at the end, the newest in view.
static void sync_list(int modem) {
    const LineStore &store = status_stores[modem - 1];
    HWND list = windows.list[modem - 1];
    const ViewChange change = line_view_catch_up(store, &shown_first[modem - 1], &shown_end[modem - 1]);
    const LRESULT still_stored = static_cast<LRESULT>(store.count - change.inserted);
    while (SendMessageA(list, LB_GETCOUNT, 0, 0) > still_stored) {
        SendMessageA(list, LB_DELETESTRING, 0, 0);
    }
    if (change.inserted == 0) {
        return;
    }
    HDC dc = GetDC(list);
    // The list's own font; none set means the system font the DC starts with.
    HFONT font = reinterpret_cast<HFONT>(SendMessageA(list, WM_GETFONT, 0, 0));
    HGDIOBJ previous_font = font != nullptr ? SelectObject(dc, font) : nullptr;
    for (size_t n = store.count - change.inserted; n < store.count; ++n) {
        const char *line = line_store_text(store, n);
        const LRESULT index = add_to_list(list, line);
        if (index >= 0) {
            widen_for(modem, list, dc, line);
            SendMessageA(list, LB_SETTOPINDEX, static_cast<WPARAM>(index), 0);
        }
    }
    if (previous_font != nullptr) {
        SelectObject(dc, previous_font);
    }
    ReleaseDC(list, dc);
}

static void add_line(void *, int modem, const char *line) {
    monitor_add_line(modem, line);
    sync_list(modem);
}

static void show_warning(void *, const char *line) {
    // The box's own message loop keeps every timer running underneath.
    MessageBoxA(windows.main, line, WARNING_CAPTION, MB_ICONWARNING | MB_OK);
}

// The text of list line `index`, read back from the list box.
static const char *list_line(const void *context, size_t index) {
    static char text[512];
    HWND list = static_cast<HWND>(const_cast<void *>(context));
    const LRESULT length = SendMessageA(list, LB_GETTEXTLEN, index, 0);
    if (length < 0 || length >= static_cast<LRESULT>(sizeof text)) {
        text[0] = '\0';
        return text;
    }
    SendMessageA(list, LB_GETTEXT, index, reinterpret_cast<LPARAM>(text));
    return text;
}

static void copy_selection(HWND window, HWND list) {
    static int selected[SELECTION_MAX];
    static size_t indexes[SELECTION_MAX];
    const LRESULT count = SendMessageA(list, LB_GETSELITEMS, SELECTION_MAX, reinterpret_cast<LPARAM>(selected));
    if (count <= 0) {
        return;
    }
    for (LRESULT n = 0; n < count; ++n) {
        indexes[n] = static_cast<size_t>(selected[n]);
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
    clipboard_text(list_line, list, indexes, static_cast<size_t>(count), text, CLIPBOARD_BLOCK_BYTES);
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
    shown_first[index] = shown_end[index] = line_store_end_number(status_stores[index]);
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
        const DrainSink sink{nullptr, add_line, show_warning};
        drain_status(sink);
        return 0;
    }
    case WM_VKEYTOITEM:
        // Every key is dealt with here, so the list itself never moves its
        // selection on a key; Ctrl+C copies the selected lines.
        if (LOWORD(wparam) == 'C' && GetKeyState(VK_CONTROL) < 0) {
            copy_selection(window, reinterpret_cast<HWND>(lparam));
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
