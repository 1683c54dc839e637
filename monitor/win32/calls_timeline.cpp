// The timeline of the selected call(s), drawn with GDI: SNR and receive
// level (dB and dBm, left axis) and the Rx and Tx rates (bit/s, right
// axis) over the call's time, a mark at each retrain, renegotiation,
// carrier loss and cleardown, and a triangle at each finding. Two calls
// share one axis of time since each call's start: B's lines dashed, its
// marks hollow from the bottom up, its findings along the top. Where the
// marks go, the axes and what a click picks are the core's; a click on a
// mark selects the status line of its moment and shows its frozen eye.
#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <deque>

#include "calls/call_summary.h"
#include "calls/series_decimate.h"
#include "monitor/monitor.h"
#include "monitor/win32/calls_view.h"
#include "monitor/win32/win32_windows.h"

const char CALLS_TIMELINE_CLASS[] = "CallTimelineClass";

// Asked of the timeline by a program that drives it from outside: wParam
// the index of a mark in the order drawn (event marks, then findings);
// the answer is its centre as MAKELONG(x, y) in client pixels, or -1.
constexpr UINT TIMELINE_MARK_AT = WM_APP + 2;

namespace {

constexpr double SECOND = 1e6;
constexpr int SNAP_PIXELS = 6;
constexpr int MARK_RADIUS = 4;
constexpr int FINDING_SIZE = 6;

struct LineRow {
    SeriesKind series;
    const char *label;
    COLORREF colour;
    bool rate;  // right axis
};
constexpr LineRow LINE_ROWS[] = {
    {SERIES_SNR,      "SNR (dB)",       RGB(0x1f, 0x77, 0xb4), false},
    {SERIES_RX_LEVEL, "Rx level (dBm)", RGB(0x2c, 0xa0, 0x2c), false},
    {SERIES_RX_RATE,  "Rx rate",        RGB(0x17, 0xbe, 0xcf), true},
    {SERIES_TX_RATE,  "Tx rate",        RGB(0xbc, 0xbd, 0x22), true},
};

struct MarkRow {
    TimelineMark mark;
    COLORREF colour;
    bool square;  // remote-asked marks and cleardowns are squares
};
constexpr MarkRow MARK_ROWS[TIMELINE_MARKS] = {
    {MARK_RETRAIN,              RGB(0xd6, 0x27, 0x28), false},
    {MARK_RETRAIN_REMOTE,       RGB(0xd6, 0x27, 0x28), true},
    {MARK_RENEGOTIATION,        RGB(0x94, 0x67, 0xbd), false},
    {MARK_RENEGOTIATION_REMOTE, RGB(0x94, 0x67, 0xbd), true},
    {MARK_CARRIER_LOST,         RGB(0xff, 0x7f, 0x0e), false},
    {MARK_CLEARDOWN,            RGB(0x40, 0x40, 0x40), true},
};

constexpr COLORREF SEVERITY_COLOURS[] = {RGB(0x70, 0x70, 0x70), RGB(0xe0, 0x90, 0x00), RGB(0xc0, 0x00, 0x00)};

double point_value(SeriesKind kind, int32_t value) {
    return SERIES_INFO[kind].sixteenths ? value / 16.0 : double(value);
}

int text_out(HDC dc, int x, int y, const char *text, UINT align) {
    SetTextAlign(dc, align);
    TextOutA(dc, x, y, text, static_cast<int>(strlen(text)));
    SIZE size{};
    GetTextExtentPoint32A(dc, text, static_cast<int>(strlen(text)), &size);
    return size.cx;
}

TimelineCalls shown_calls(const TimelineState &state) {
    TimelineCalls shown;
    shown.count = state.count;
    for (int c = 0; c < state.count; ++c) shown.calls[c] = state.calls[c].get();
    return shown;
}

// The plot's rectangle within the client area: room for the level labels
// at the left, the rate labels at the right, the legend above, the time
// labels and the axis title below.
int legend(HDC dc, const TimelineState &state, int width, bool draw);

TimelineFrame plot_frame(HDC dc, const RECT &client, const TimelineState &state) {
    const TimelineScale &scale = state.scale;
    TEXTMETRICA metrics{};
    GetTextMetricsA(dc, &metrics);
    SIZE left{}, right{};
    GetTextExtentPoint32A(dc, "-100", 4, &left);
    GetTextExtentPoint32A(dc, "100000", 6, &right);
    TimelineFrame frame{};
    frame.left = left.cx + 8;
    frame.top = legend(dc, state, client.right, false) + 6;
    frame.width = std::max<double>(1, client.right - frame.left - right.cx - 8);
    frame.height = std::max<double>(1, client.bottom - frame.top - 2 * metrics.tmHeight - 8);
    frame.time_min = scale.time_min;
    frame.time_max = scale.time_max;
    return frame;
}

int px(double v) { return static_cast<int>(std::lround(v)); }

void draw_grid(HDC dc, const TimelineState &state, const TimelineFrame &f) {
    const TimelineScale &s = state.scale;
    HPEN grid = CreatePen(PS_SOLID, 1, RGB(0xe0, 0xe0, 0xe0));
    const HGDIOBJ old = SelectObject(dc, grid);
    SetTextColor(dc, RGB(0x30, 0x30, 0x30));
    char text[32];
    for (int i = 0; i <= TIMELINE_VALUE_INTERVALS; ++i) {
        const double level = s.level_low + i * s.level_step;
        const int y = px(timeline_y(f, timeline_level_height(s, level)));
        MoveToEx(dc, px(f.left), y, nullptr);
        LineTo(dc, px(f.left + f.width), y);
        snprintf(text, sizeof text, "%.0f", level);
        text_out(dc, px(f.left) - 4, y - 6, text, TA_RIGHT | TA_TOP);
        snprintf(text, sizeof text, "%.0f", (1.0 - timeline_level_height(s, level)) * s.rate_high);
        text_out(dc, px(f.left + f.width) + 4, y - 6, text, TA_LEFT | TA_TOP);
    }
    const int decimals = s.time_step >= 1 ? 0 : s.time_step >= 0.1 ? 1 : 2;
    for (double t = s.time_first_tick; t <= s.time_max + 1e-9; t += s.time_step) {
        const int x = px(timeline_x(f, t));
        MoveToEx(dc, x, px(f.top), nullptr);
        LineTo(dc, x, px(f.top + f.height));
        snprintf(text, sizeof text, "%.*f", decimals, std::fabs(t) < s.time_step / 1000 ? 0.0 : t);
        text_out(dc, x, px(f.top + f.height) + 2, text, TA_CENTER | TA_TOP);
    }
    SelectObject(dc, old);
    DeleteObject(grid);
    TEXTMETRICA metrics{};
    GetTextMetricsA(dc, &metrics);
    text_out(dc, px(f.left + f.width / 2), px(f.top + f.height) + metrics.tmHeight + 3,
             state.count == 2 ? "Time since each call's start (s)" : "Time (s)", TA_CENTER | TA_TOP);
    const HGDIOBJ old_brush = SelectObject(dc, GetStockObject(NULL_BRUSH));
    Rectangle(dc, px(f.left), px(f.top), px(f.left + f.width) + 1, px(f.top + f.height) + 1);
    SelectObject(dc, old_brush);
}

void draw_lines(HDC dc, TimelineState &state, const TimelineFrame &f) {
    const TimelineCalls shown = shown_calls(state);
    std::vector<POINT> drawn;
    for (int c = 0; c < state.count; ++c) {
        const Call &call = *state.calls[c];
        const int64_t base = c == 0 && state.count == 1 ? 0 : call.start_us;
        for (const LineRow &row : LINE_ROWS) {
            const std::vector<SeriesPoint> &points = call.series_points[row.series];
            if (points.empty()) continue;
            state.scratch.clear();
            series_decimate(points, base + int64_t(f.time_min * SECOND), base + int64_t(f.time_max * SECOND),
                            px(f.width), state.scratch);
            drawn.clear();
            int previous_y = 0;
            for (size_t i = 0; i < state.scratch.size(); ++i) {
                const double v = point_value(row.series, state.scratch[i].value);
                const double h = row.rate ? timeline_rate_height(state.scale, v) : timeline_level_height(state.scale, v);
                const int x = px(timeline_x(f, timeline_time(shown, c, state.scratch[i].time_us)));
                const int y = px(timeline_y(f, h));
                // A rate holds until the next report: drawn as steps.
                if (row.rate && i > 0) drawn.push_back({x, previous_y});
                drawn.push_back({x, y});
                previous_y = y;
            }
            if (row.rate && !drawn.empty())
                drawn.push_back({px(timeline_x(f, timeline_time(shown, c, timeline_call_end_us(call)))), previous_y});
            if (drawn.empty()) continue;
            HPEN pen = CreatePen(c == 0 ? PS_SOLID : PS_DASH, c == 0 ? 2 : 1, row.colour);
            const HGDIOBJ old = SelectObject(dc, pen);
            const bool one_place = std::all_of(drawn.begin(), drawn.end(), [&](const POINT &p) {
                return p.x == drawn[0].x && p.y == drawn[0].y;
            });
            if (one_place) {
                Ellipse(dc, drawn[0].x - 2, drawn[0].y - 2, drawn[0].x + 3, drawn[0].y + 3);
            } else {
                Polyline(dc, drawn.data(), static_cast<int>(drawn.size()));
            }
            SelectObject(dc, old);
            DeleteObject(pen);
        }
    }
}

POINT mark_centre(const TimelineFrame &f, const MarkPlace &place) {
    return {px(timeline_x(f, place.time)), px(timeline_y(f, place.height))};
}

POINT finding_centre(const TimelineFrame &f, const FindingPlace &place) {
    // A's findings along the bottom of the plot, B's along its top.
    const double y = place.call == 0 ? f.top + f.height - FINDING_SIZE : f.top + FINDING_SIZE;
    return {px(timeline_x(f, place.time)), px(y)};
}

void draw_marks(HDC dc, const TimelineState &state, const TimelineFrame &f) {
    HPEN dotted = CreatePen(PS_DOT, 1, RGB(0x90, 0x90, 0x90));
    for (const MarkPlace &place : state.marks) {
        const POINT centre = mark_centre(f, place);
        const HGDIOBJ old = SelectObject(dc, dotted);
        MoveToEx(dc, centre.x, px(f.top), nullptr);
        LineTo(dc, centre.x, px(f.top + f.height));
        SelectObject(dc, old);
        const MarkRow &row = MARK_ROWS[place.mark];
        HPEN border = CreatePen(PS_SOLID, place.call == 0 ? 1 : 2, row.colour);
        HBRUSH fill = CreateSolidBrush(place.call == 0 ? row.colour : RGB(255, 255, 255));
        const HGDIOBJ old_pen = SelectObject(dc, border);
        const HGDIOBJ old_brush = SelectObject(dc, fill);
        const int r = MARK_RADIUS;
        if (row.square) {
            Rectangle(dc, centre.x - r, centre.y - r, centre.x + r + 1, centre.y + r + 1);
        } else {
            Ellipse(dc, centre.x - r, centre.y - r, centre.x + r + 1, centre.y + r + 1);
        }
        SelectObject(dc, old_pen);
        SelectObject(dc, old_brush);
        DeleteObject(border);
        DeleteObject(fill);
    }
    DeleteObject(dotted);
    for (const FindingPlace &place : state.findings) {
        const POINT c = finding_centre(f, place);
        const COLORREF colour = SEVERITY_COLOURS[std::min<int>(place.severity, 2)];
        HBRUSH fill = CreateSolidBrush(colour);
        HPEN border = CreatePen(PS_SOLID, 1, colour);
        const HGDIOBJ old_pen = SelectObject(dc, border);
        const HGDIOBJ old_brush = SelectObject(dc, fill);
        const int s = FINDING_SIZE;
        // Pointing up from the bottom for A, down from the top for B.
        const int tip = place.call == 0 ? -s : s;
        POINT triangle[3] = {{c.x, c.y + tip}, {c.x - s, c.y - tip / 2}, {c.x + s, c.y - tip / 2}};
        Polygon(dc, triangle, 3);
        SelectObject(dc, old_pen);
        SelectObject(dc, old_brush);
        DeleteObject(border);
        DeleteObject(fill);
    }
}

// The legend above the plot: a short line in each line's colour and its
// label, for the lines that have points, a triangle for the findings, and
// how B is drawn; entries that do not fit the width go on a second row.
// Returns the rows' height; draws only with `draw`.
int legend(HDC dc, const TimelineState &state, int width, bool draw) {
    TEXTMETRICA metrics{};
    GetTextMetricsA(dc, &metrics);
    const int row_height = metrics.tmHeight + 2;
    int x = 4, y = 3;
    const auto place = [&](int entry_width) {
        if (x > 4 && x + entry_width > width - 4) {
            x = 4;
            y += row_height;
        }
        const int at = x;
        x += entry_width + 14;
        return at;
    };
    const auto label_width = [&](const char *text) {
        SIZE size{};
        GetTextExtentPoint32A(dc, text, static_cast<int>(strlen(text)), &size);
        return static_cast<int>(size.cx);
    };
    SetTextColor(dc, RGB(0x30, 0x30, 0x30));
    for (const LineRow &row : LINE_ROWS) {
        bool used = false;
        for (int c = 0; c < state.count; ++c) used = used || !state.calls[c]->series_points[row.series].empty();
        if (!used) continue;
        const int at = place(20 + label_width(row.label));
        if (!draw) continue;
        HPEN pen = CreatePen(PS_SOLID, 2, row.colour);
        const HGDIOBJ old = SelectObject(dc, pen);
        MoveToEx(dc, at, y + metrics.tmHeight / 2, nullptr);
        LineTo(dc, at + 16, y + metrics.tmHeight / 2);
        SelectObject(dc, old);
        DeleteObject(pen);
        text_out(dc, at + 20, y, row.label, TA_LEFT | TA_TOP);
    }
    if (!state.findings.empty()) {
        const int at = place(16 + label_width("finding"));
        if (draw) {
            HBRUSH fill = CreateSolidBrush(SEVERITY_COLOURS[1]);
            HPEN border = CreatePen(PS_SOLID, 1, SEVERITY_COLOURS[1]);
            const HGDIOBJ old_pen = SelectObject(dc, border);
            const HGDIOBJ old_brush = SelectObject(dc, fill);
            const int middle = y + metrics.tmHeight / 2;
            POINT triangle[3] = {{at + 6, middle - 5}, {at, middle + 4}, {at + 12, middle + 4}};
            Polygon(dc, triangle, 3);
            SelectObject(dc, old_pen);
            SelectObject(dc, old_brush);
            DeleteObject(border);
            DeleteObject(fill);
            text_out(dc, at + 16, y, "finding", TA_LEFT | TA_TOP);
        }
    }
    if (state.count == 2) {
        const char *text = "A solid; B dashed, hollow marks";
        const int at = place(label_width(text));
        if (draw) text_out(dc, at, y, text, TA_LEFT | TA_TOP);
    }
    return y + row_height;
}

void paint(HWND window, HDC target) {
    CallsView *view = calls_view_of(GetParent(window));
    RECT client;
    GetClientRect(window, &client);
    HDC dc = CreateCompatibleDC(target);
    HBITMAP bitmap = CreateCompatibleBitmap(target, std::max<LONG>(client.right, 1), std::max<LONG>(client.bottom, 1));
    const HGDIOBJ old_bitmap = SelectObject(dc, bitmap);
    FillRect(dc, &client, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    SetBkMode(dc, TRANSPARENT);
    const HGDIOBJ old_font = SelectObject(dc, view != nullptr ? view->gui_font : GetStockObject(DEFAULT_GUI_FONT));
    if (view == nullptr || view->timeline_state.count == 0) {
        text_out(dc, client.right / 2, client.bottom / 2 - 6, "Select a call to see its timeline; two to compare them.",
                 TA_CENTER | TA_TOP);
    } else {
        TimelineState &state = view->timeline_state;
        state.frame = plot_frame(dc, client, state);
        draw_grid(dc, state, state.frame);
        draw_lines(dc, state, state.frame);
        draw_marks(dc, state, state.frame);
        legend(dc, state, client.right, true);
    }
    BitBlt(target, 0, 0, client.right, client.bottom, dc, 0, 0, SRCCOPY);
    SelectObject(dc, old_font);
    SelectObject(dc, old_bitmap);
    DeleteObject(bitmap);
    DeleteDC(dc);
}

// The caption of a frozen eye: the call, the event or finding and its moment.
std::string eye_caption(const TimelineState &state, int c, const char *what, int64_t time_us, const FrozenEye *eye) {
    const Call &call = *state.calls[c];
    char seconds[32], text[FINDING_TEXT_BYTES + 96];
    format_seconds(time_us - call.start_us, seconds, sizeof seconds);
    const int n = snprintf(text, sizeof text, "%s at +%s s, %smodem %d call %u: ", what, seconds,
                           state.count == 2 ? (c == 0 ? "A, " : "B, ") : "", call.modem, call.number);
    if (n > 0 && static_cast<size_t>(n) < sizeof text) {
        if (eye == nullptr || eye->ticks == 0)
            snprintf(text + n, sizeof text - n, "no eye points.");
        else
            snprintf(text + n, sizeof text - n, "last %u ticks.", eye->ticks);
    }
    text[0] = static_cast<char>(toupper(static_cast<unsigned char>(text[0])));
    return text;
}

const FrozenEye *frozen_eye_of(const Call &call, int index) {
    return index >= 0 && static_cast<size_t>(index) < call.eyes.size() ? &call.eyes[static_cast<size_t>(index)] : nullptr;
}

void on_click(HWND window, int x, int y) {
    CallsView *view = calls_view_of(GetParent(window));
    if (view == nullptr || view->timeline_state.count == 0) return;
    TimelineState &state = view->timeline_state;
    const TimelineCalls shown = shown_calls(state);
    const TimelineFrame &f = state.frame;
    int modem = 0, code = 0;
    int64_t time_us = 0;
    // A finding's triangle first, where it stands; else a mark or a moment.
    int finding = -1;
    for (int c = 0; c < state.count && finding < 0; ++c) {
        const double row_y = c == 0 ? f.top + f.height - FINDING_SIZE : f.top + FINDING_SIZE;
        if (std::fabs(y - row_y) > FINDING_SIZE + 2) continue;
        std::vector<FindingPlace> of_call;
        std::vector<int> index;
        for (size_t i = 0; i < state.findings.size(); ++i) {
            if (state.findings[i].call == c) {
                of_call.push_back(state.findings[i]);
                index.push_back(static_cast<int>(i));
            }
        }
        const int picked = timeline_finding_pick(of_call, f, x, SNAP_PIXELS);
        if (picked >= 0) finding = index[static_cast<size_t>(picked)];
    }
    if (finding >= 0) {
        const FindingPlace &place = state.findings[static_cast<size_t>(finding)];
        const Call &call = *state.calls[place.call];
        const Finding &found = state.verdicts[place.call].findings[place.finding];
        modem = call.modem;
        time_us = found.at.time_us;
        code = found.at.code;
        char what[FINDING_TEXT_BYTES + 32];
        snprintf(what, sizeof what, "%s %s", severity_name(found.severity), finding_name(found.id));
        const FrozenEye *eye = frozen_eye_of(call, found.frozen_eye);
        calls_eye_show(*view, eye, eye_caption(state, place.call, what, time_us, eye));
    } else {
        const TimelinePick pick = timeline_pick(shown, state.marks, f, x, y, SNAP_PIXELS);
        if (pick.call < 0) return;
        modem = pick.modem;
        time_us = pick.time_us;
        code = pick.code;
        if (pick.event >= 0) {
            const Call &call = *state.calls[pick.call];
            const CallEvent &event = call.events[static_cast<size_t>(pick.event)];
            const FrozenEye *eye = frozen_eye_of(call, event.frozen_eye);
            calls_eye_show(*view, eye, eye_caption(state, pick.call, event_name(event.kind), event.time_us, eye));
        }
    }
    const size_t line = monitor_line_at(*windows.monitor, modem, time_us, code);
    view->picked_modem = modem;
    view->picked_line = line;
    select_status_line(modem, line);
}

LRESULT mark_at(HWND window, WPARAM index) {
    CallsView *view = calls_view_of(GetParent(window));
    if (view == nullptr) return -1;
    const TimelineState &state = view->timeline_state;
    POINT centre;
    if (index < state.marks.size()) {
        centre = mark_centre(state.frame, state.marks[index]);
    } else if (index - state.marks.size() < state.findings.size()) {
        centre = finding_centre(state.frame, state.findings[index - state.marks.size()]);
    } else {
        return -1;
    }
    return MAKELONG(centre.x, centre.y);
}

LRESULT CALLBACK timeline_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(window, &ps);
        paint(window, dc);
        EndPaint(window, &ps);
        return 0;
    }
    case WM_ERASEBKGND:
        return 1;  // the paint covers every pixel
    case WM_LBUTTONDOWN:
        on_click(window, static_cast<short>(LOWORD(lparam)), static_cast<short>(HIWORD(lparam)));
        return 0;
    case TIMELINE_MARK_AT:
        return mark_at(window, wparam);
    }
    return DefWindowProcA(window, message, wparam, lparam);
}

}  // namespace

void calls_timeline_show(CallsView &view, const Call *a, const Call *b) {
    TimelineState &state = view.timeline_state;
    state.count = a == nullptr ? 0 : b == nullptr ? 1 : 2;
    const Call *calls[2] = {a, b};
    for (int c = 0; c < 2; ++c) {
        if (c < state.count) {
            state.calls[c] = std::make_unique<Call>(*calls[c]);
            call_verdict(*state.calls[c], state.verdicts[c]);
        } else {
            state.calls[c].reset();
        }
    }
    const TimelineCalls shown = shown_calls(state);
    timeline_scale(shown, state.scale);
    timeline_marks(shown, state.marks);
    const CallVerdict *verdicts[2] = {&state.verdicts[0], &state.verdicts[1]};
    timeline_finding_marks(shown, verdicts, state.findings);
    // The plot's place for a click before the first paint.
    HDC dc = GetDC(view.timeline);
    const HGDIOBJ old = SelectObject(dc, view.gui_font);
    RECT client;
    GetClientRect(view.timeline, &client);
    state.frame = plot_frame(dc, client, state);
    SelectObject(dc, old);
    ReleaseDC(view.timeline, dc);
    InvalidateRect(view.timeline, nullptr, FALSE);
}

void select_status_line(int modem, size_t store_index) {
    if (modem < 1 || modem > 2) return;
    HWND list = windows.list[modem - 1];
    const LineStore &store = windows.monitor->stores[modem - 1];
    const std::deque<uint64_t> &rows = windows.rows[modem - 1];
    if (store_index >= store.count || rows.empty()) return;
    // The list's rows are the running numbers of the lines its filter lets
    // through: the line's own row, or, when the filter hides it, the last
    // shown row before it.
    const uint64_t number = store.first_number + store_index;
    auto row = std::upper_bound(rows.begin(), rows.end(), number);
    if (row == rows.begin()) return;
    const WPARAM index = static_cast<WPARAM>((row - rows.begin()) - 1);
    if (static_cast<LRESULT>(index) >= SendMessageA(list, LB_GETCOUNT, 0, 0)) return;
    SendMessageA(list, LB_SETSEL, FALSE, -1);
    SendMessageA(list, LB_SETSEL, TRUE, static_cast<LPARAM>(index));
    SendMessageA(list, LB_SETCARETINDEX, index, FALSE);
    // A few lines of context above it.
    SendMessageA(list, LB_SETTOPINDEX, index > 3 ? index - 3 : 0, 0);
}

void calls_timeline_register(HINSTANCE instance) {
    WNDCLASSEXA window_class{};
    window_class.cbSize = sizeof window_class;
    window_class.style = CS_HREDRAW | CS_VREDRAW;
    window_class.lpfnWndProc = timeline_procedure;
    window_class.hInstance = instance;
    window_class.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    window_class.lpszClassName = CALLS_TIMELINE_CLASS;
    RegisterClassExA(&window_class);
}
