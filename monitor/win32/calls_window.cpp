// The Calls child: the list of every call of both modems (the calls of the
// monitor shown: the live one's, or an opened session's), and for the
// selection the summary (a read-only edit in a fixed font; each modem's
// last call while nothing is selected), the comparison of two calls, the
// timeline and the frozen eye of a moment; the export buttons above. Each
// tick brings the list up to the calls; its parts live in calls_*.cpp.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <string>

#include "calls/call_summary.h"
#include "calls/call_watch.h"
#include "monitor/last_calls.h"
#include "monitor/monitor.h"
#include "monitor/win32/calls_view.h"
#include "monitor/win32/win32_windows.h"
#include "monitor/window_tables.h"

const char CALLS_CLASS[] = "CallSummaryClass";
const char CALLS_CAPTION[] = "Call Summary";

void calls_eye_register(HINSTANCE instance);

// WS_CHILD, WS_VISIBLE, a vertical scroll bar, several lines, read-only;
// lines wider than the control wrap at blanks (the text itself keeps its
// lines), so that nothing needs scrolling sideways.
constexpr DWORD EDIT_STYLE = WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL;

CallsView *calls_view_of(HWND calls_window) {
    return reinterpret_cast<CallsView *>(GetWindowLongPtrA(calls_window, GWLP_USERDATA));
}

// The edit control breaks lines at CR LF only.
static void to_crlf(const std::string &text, std::string &out) {
    out.clear();
    out.reserve(text.size() + text.size() / 16);
    for (char c : text) {
        if (c == '\n') {
            out += '\r';
        }
        out += c;
    }
}

static int font_height(HWND window, HFONT font) {
    HDC dc = GetDC(window);
    const HGDIOBJ old = SelectObject(dc, font);
    TEXTMETRICA metrics{};
    GetTextMetricsA(dc, &metrics);
    SelectObject(dc, old);
    ReleaseDC(window, dc);
    return metrics.tmHeight;
}

// The summary's text: the selected call's, or each modem's last call.
static void show_summary(CallsView &view, const Call *call) {
    std::string text, shown;
    if (call != nullptr) {
        char heading[64];
        snprintf(heading, sizeof heading, "Modem %d, call %u%s\n", call->modem, call->number,
                 call->ended ? "" : " (not ended)");
        text = heading;
        call_summary_text(*call, text);
    } else {
        const Call *last[2] = {};
        const CallWatch *calls = monitor_calls(*windows.monitor);
        for (int modem = 1; modem <= 2; ++modem) {
            last[modem - 1] = calls != nullptr ? watch_last_call(*calls, modem) : nullptr;
        }
        last_calls_text(last[0], last[1], text);
    }
    to_crlf(text, shown);
    if (shown == view.summary_shown) {
        return;  // unchanged: no flicker, the reader's place kept
    }
    // A new call's summary starts at its top; the same one's new text keeps
    // the place the reader scrolled to.
    const LRESULT first_line = SendMessageA(view.summary, EM_GETFIRSTVISIBLELINE, 0, 0);
    SendMessageA(view.summary, WM_SETREDRAW, FALSE, 0);
    SetWindowTextA(view.summary, shown.c_str());
    SendMessageA(view.summary, EM_LINESCROLL, 0, first_line);
    SendMessageA(view.summary, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(view.summary, nullptr, TRUE);
    view.summary_shown.swap(shown);
}

// The parts placed in the child's client area: the buttons' bar on top,
// the list below it, then the timeline with the frozen eye and its caption
// at its right, then the summary (or comparison) across the whole width.
static void place_parts(CallsView &view, int width, int height) {
    const int line = font_height(view.window, view.gui_font);
    const int bar = line + 10;
    const int button = std::max(100, line * 8);
    MoveWindow(view.count, 4, 5, std::max(0, width - 2 * button - 16), line + 2, TRUE);
    MoveWindow(view.export_list, width - 2 * button - 8, 2, button, bar - 4, TRUE);
    MoveWindow(view.export_call, width - button - 4, 2, button, bar - 4, TRUE);
    const int rest = std::max(0, height - bar);
    const int list = std::max(rest * 26 / 100, std::min(rest, 6 * (line + 4)));
    const int middle = rest * 36 / 100;
    const int bottom = std::max(0, rest - list - middle);
    MoveWindow(view.list, 0, bar, width, list, TRUE);
    // The eye as a square under a caption of three lines, at most a third
    // of the width; the timeline the rest.
    const int caption = 3 * line + 4;
    const int eye = std::max(0, std::min(middle - caption, width / 3));
    const int top = bar + list;
    MoveWindow(view.timeline, 0, top, width - eye, middle, TRUE);
    MoveWindow(view.eye_caption, width - eye + 2, top + 1, std::max(0, eye - 4), caption - 2, TRUE);
    MoveWindow(view.eye, width - eye, top + caption, eye, std::max(0, middle - caption), TRUE);
    MoveWindow(view.summary, 0, top + middle, width, bottom, TRUE);
    MoveWindow(view.compare, 0, top + middle, width, bottom, TRUE);
}

// The details of the selection: one call's summary and timeline, two
// calls' comparison and timeline, or the last calls' summary.
static void show_selection(CallsView &view) {
    calls_list_sync(view);  // the rows of the calls as they are now (another session may be shown)
    const Call *selected[2];
    calls_selected(view, selected);
    const bool pair = selected[1] != nullptr;
    if (pair) {
        calls_compare_show(view, *selected[0], *selected[1]);
    } else {
        show_summary(view, selected[0]);
    }
    ShowWindow(view.compare, pair ? SW_SHOW : SW_HIDE);
    ShowWindow(view.summary, pair ? SW_HIDE : SW_SHOW);
    EnableWindow(view.export_call, selected[0] != nullptr);
    calls_timeline_show(view, selected[0], selected[1]);
    calls_eye_show(view, nullptr, selected[0] != nullptr ? "Click a mark to see the eye of its moment."
                                                         : "");
}

void refresh_call_summary() {
    if (windows.calls_window == nullptr || !IsWindowVisible(windows.calls_window)) {
        return;
    }
    CallsView *view = calls_view_of(windows.calls_window);
    if (view == nullptr) {
        return;
    }
    const bool changed = calls_list_sync(*view);
    const Call *selected[2];
    calls_selected(*view, selected);
    if (changed && view->selected_count == 0) {
        show_selection(*view);  // the selection went with its calls
    } else if (selected[0] == nullptr) {
        show_summary(*view, nullptr);
    } else if (!selected[0]->ended || (selected[1] != nullptr && !selected[1]->ended)) {
        // A running call moves on: its summary and its timeline.
        if (selected[1] == nullptr) show_summary(*view, selected[0]);
        calls_timeline_show(*view, selected[0], selected[1]);
    }
}

static HWND make_control(CallsView &view, HINSTANCE instance, const char *window_class, const char *text, DWORD style,
                         int id, DWORD ex_style = 0) {
    HWND control = CreateWindowExA(ex_style, window_class, text, WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0, view.window,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
    SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(view.gui_font), FALSE);
    return control;
}

static void on_create(HWND window, const CREATESTRUCTA *create) {
    static bool registered = false;
    if (!registered) {
        INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES};
        InitCommonControlsEx(&controls);
        calls_timeline_register(create->hInstance);
        calls_eye_register(create->hInstance);
        registered = true;
    }
    auto *view = new CallsView;
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(view));
    view->window = window;
    windows.calls_window = window;
    view->gui_font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    view->fixed_font = static_cast<HFONT>(GetStockObject(ANSI_FIXED_FONT));
    HINSTANCE instance = create->hInstance;
    view->count = make_control(*view, instance, "STATIC", "0 calls", SS_LEFT | SS_NOPREFIX, CALLS_ID_COUNT);
    view->export_list = make_control(*view, instance, "BUTTON", "Export List...", BS_PUSHBUTTON | WS_TABSTOP,
                                     CALLS_ID_EXPORT_LIST);
    view->export_call = make_control(*view, instance, "BUTTON", "Export Call...", BS_PUSHBUTTON | WS_TABSTOP,
                                     CALLS_ID_EXPORT_CALL);
    EnableWindow(view->export_call, FALSE);
    calls_list_create(*view, instance);
    view->summary = CreateWindowExA(WS_EX_CLIENTEDGE, "EDIT", "", EDIT_STYLE, 0, 0, 0, 0, window,
                                    reinterpret_cast<HMENU>(static_cast<INT_PTR>(CALLS_ID_SUMMARY)), instance, nullptr);
    SendMessageA(view->summary, WM_SETFONT, reinterpret_cast<WPARAM>(view->fixed_font), FALSE);
    windows.calls_edit = view->summary;
    calls_compare_create(*view, instance);
    view->timeline = make_control(*view, instance, CALLS_TIMELINE_CLASS, "", 0, CALLS_ID_TIMELINE);
    view->eye_caption = make_control(*view, instance, "STATIC", "", SS_LEFT | SS_NOPREFIX, CALLS_ID_EYE_CAPTION);
    view->eye = make_control(*view, instance, CALLS_EYE_CLASS, "", 0, CALLS_ID_EYE);
    // As wide as the list's columns (the main layout keeps it within its bounds).
    RECT frame = {0, 0, calls_list_width(*view), 100};
    AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongA(window, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongA(window, GWL_EXSTYLE)));
    windows.calls_width = frame.right - frame.left;
    SetTimer(window, 1, TIMER_PERIOD_MS, nullptr);
}

static LRESULT on_notify(CallsView &view, NMHDR *header) {
    if (header->idFrom == CALLS_ID_LIST) return calls_list_notify(view, header);
    if (header->idFrom == CALLS_ID_COMPARE) return calls_compare_notify(view, header);
    return 0;
}

LRESULT CALLBACK calls_window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    CallsView *view = calls_view_of(window);
    switch (message) {
    case WM_CREATE:
        on_create(window, reinterpret_cast<const CREATESTRUCTA *>(lparam));
        return 0;
    case WM_NOTIFYFORMAT:
        return NFR_ANSI;
    case WM_SIZE:
        if (view != nullptr) place_parts(*view, LOWORD(lparam), HIWORD(lparam));
        return 0;
    case WM_NOTIFY:
        return view != nullptr ? on_notify(*view, reinterpret_cast<NMHDR *>(lparam)) : 0;
    case WM_COMMAND:
        if (view != nullptr && HIWORD(wparam) == BN_CLICKED) {
            if (LOWORD(wparam) == CALLS_ID_EXPORT_LIST) calls_export_list(*view);
            if (LOWORD(wparam) == CALLS_ID_EXPORT_CALL) calls_export_call(*view);
            return 0;
        }
        break;
    case WM_APP:  // the list's selection changed
        if (view != nullptr) {
            view->details_posted = false;
            show_selection(*view);
        }
        return 0;
    case WM_APP + 1:  // the calls moved on while the list drew
        if (view != nullptr && calls_list_sync(*view) && view->selected_count == 0) show_selection(*view);
        return 0;
    case WM_CTLCOLORSTATIC:
        // The read-only summary on white, as a text to read; the labels on the child's grey.
        if (view != nullptr && reinterpret_cast<HWND>(lparam) == view->summary) {
            SetBkColor(reinterpret_cast<HDC>(wparam), RGB(255, 255, 255));
            return reinterpret_cast<LRESULT>(GetStockObject(WHITE_BRUSH));
        }
        break;
    case WM_ERASEBKGND: {
        // The bar behind the buttons in the buttons' own colour.
        RECT client;
        GetClientRect(window, &client);
        FillRect(reinterpret_cast<HDC>(wparam), &client, GetSysColorBrush(COLOR_BTNFACE));
        return 1;
    }
    case WM_TIMER:
        refresh_call_summary();
        return 0;
    case WM_CLOSE:
        SendMessageA(windows.main, WM_COMMAND, child_close_command(CHILD_CALLS), 0);
        return 0;
    case WM_DESTROY:
        KillTimer(window, 1);
        SetWindowLongPtrA(window, GWLP_USERDATA, 0);
        if (view != nullptr && view->bold_font != nullptr) DeleteObject(view->bold_font);
        delete view;
        return 0;
    }
    return DefWindowProcA(window, message, wparam, lparam);
}
