// The call summary child: a read-only edit control in a fixed font that
// shows the summary of each modem's last call, brought up to date on every
// tick while it is shown (the calls of the monitor shown: the live one's,
// or an opened session's).
#include <windows.h>

#include <string>

#include "calls/call_watch.h"
#include "monitor/last_calls.h"
#include "monitor/monitor.h"
#include "monitor/win32/win32_windows.h"
#include "monitor/window_tables.h"

const char CALLS_CLASS[] = "CallSummaryClass";
const char CALLS_CAPTION[] = "Call Summary";

// WS_CHILD, WS_VISIBLE, a vertical scroll bar, several lines, read-only;
// lines wider than the control wrap at blanks (the text itself keeps its
// lines), so that nothing needs scrolling sideways.
constexpr DWORD EDIT_STYLE = WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL;

// Characters a summary line needs for its key column and a value as long as
// a start or end with its wall clock ("Start   23.800 s (2026-12-08T17:00:23.800Z)");
// longer values wrap.
constexpr int SUMMARY_COLUMNS = 58;

// The child's width for SUMMARY_COLUMNS characters of the edit control's
// fixed font: with the edit's margins, border and scroll bar, and the
// child's own frame.
static int summary_width(HWND child, HWND edit, HGDIOBJ font) {
    HDC dc = GetDC(edit);
    const HGDIOBJ old = SelectObject(dc, font);
    TEXTMETRICA metrics{};
    GetTextMetricsA(dc, &metrics);
    SelectObject(dc, old);
    ReleaseDC(edit, dc);
    const LRESULT margins = SendMessageA(edit, EM_GETMARGINS, 0, 0);
    RECT rect = {0, 0, metrics.tmAveCharWidth * SUMMARY_COLUMNS + LOWORD(margins) + HIWORD(margins), 100};
    AdjustWindowRectEx(&rect, EDIT_STYLE, FALSE, WS_EX_CLIENTEDGE);
    rect.right += GetSystemMetrics(SM_CXVSCROLL);
    AdjustWindowRectEx(&rect, static_cast<DWORD>(GetWindowLongA(child, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongA(child, GWL_EXSTYLE)));
    return rect.right - rect.left;
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

void refresh_call_summary() {
    if (windows.calls_edit == nullptr || !IsWindowVisible(windows.calls_window)) {
        return;
    }
    const Call *last[2] = {};
    const CallWatch *calls = monitor_calls(*windows.monitor);
    for (int modem = 1; modem <= 2; ++modem) {
        last[modem - 1] = calls != nullptr ? watch_last_call(*calls, modem) : nullptr;
    }
    std::string text, shown;
    last_calls_text(last[0], last[1], text);
    to_crlf(text, shown);
    if (shown == windows.calls_shown) {
        return;  // unchanged: no flicker, the reader's place kept
    }
    // The new text keeps the place the reader scrolled to.
    const LRESULT first_line = SendMessageA(windows.calls_edit, EM_GETFIRSTVISIBLELINE, 0, 0);
    SendMessageA(windows.calls_edit, WM_SETREDRAW, FALSE, 0);
    SetWindowTextA(windows.calls_edit, shown.c_str());
    SendMessageA(windows.calls_edit, EM_LINESCROLL, 0, first_line);
    SendMessageA(windows.calls_edit, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(windows.calls_edit, nullptr, TRUE);
    windows.calls_shown.swap(shown);
}

LRESULT CALLBACK calls_window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_CREATE: {
        const auto *create = reinterpret_cast<const CREATESTRUCTA *>(lparam);
        windows.calls_window = window;
        windows.calls_edit = CreateWindowExA(WS_EX_CLIENTEDGE, "EDIT", "", EDIT_STYLE, 0, 0, 0, 0, window,
                                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(CHILD_CALLS)),
                                             create->hInstance, nullptr);
        const HGDIOBJ font = GetStockObject(ANSI_FIXED_FONT);
        SendMessageA(windows.calls_edit, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        windows.calls_width = summary_width(window, windows.calls_edit, font);
        SetTimer(window, 1, TIMER_PERIOD_MS, nullptr);
        return 0;
    }
    case WM_SIZE:
        MoveWindow(windows.calls_edit, 0, 0, LOWORD(lparam), HIWORD(lparam), TRUE);
        return 0;
    case WM_TIMER:
        refresh_call_summary();
        return 0;
    case WM_CLOSE:
        SendMessageA(windows.main, WM_COMMAND, child_close_command(CHILD_CALLS), 0);
        return 0;
    case WM_DESTROY:
        KillTimer(window, 1);
        return 0;
    }
    return DefWindowProcA(window, message, wparam, lparam);
}
