// The eye display windows: GDI drawing of each tick's points.
#include <windows.h>

#include "monitor/eye.h"
#include "monitor/monitor.h"
#include "monitor/session_open.h"
#include "monitor/win32/win32_windows.h"
#include "monitor/window_tables.h"

// Shared by both eye windows, created with the first one: black and white.
static HPALETTE palette;
static HBRUSH black_brush;

static void create_drawing_objects() {
    if (palette != nullptr) {
        return;
    }
    struct {
        WORD version;
        WORD count;
        PALETTEENTRY entries[2];
    } colours = {0x300, 2, {{0, 0, 0, 0}, {255, 255, 255, 0}}};
    palette = CreatePalette(reinterpret_cast<const LOGPALETTE *>(&colours));
    black_brush = CreateSolidBrush(PALETTEINDEX(0));
}

static int modem_of(HWND eye_window) { return eye_window == windows.eye[0] ? 1 : 2; }

static void draw_picture(HWND window) {
    EyePoint fetched[EYE_POINTS_WANTED];
    const int modem = modem_of(window);
    // The live points are fetched even while a session is shown, which
    // shows its last points (none: a black display), or a replay's.
    const EyePoint *points = fetched;
    int count = monitor_eye_tick(*windows.live, modem, fetched);
    if (windows.opened != nullptr && (windows.opened->replay.state != REPLAY_STOPPED || windows.opened->replay.rounds > 0)) {
        // A replay shows its own points as they come, as live.
        const Replay &replay = windows.opened->replay;
        points = replay.eye[modem - 1];
        count = replay.eye_count[modem - 1];
    } else if (windows.opened != nullptr) {
        const std::vector<EyePoint> *last = opened_session_last_eye(windows.opened->session, modem);
        points = last != nullptr ? last->data() : nullptr;
        count = last != nullptr ? static_cast<int>(last->size()) : 0;
    }
    if (count < 0) {
        return;  // no modem active: the window is not touched
    }
    RECT client;
    GetClientRect(window, &client);
    EyeMapping mapping;
    if (!eye_mapping(client.right, client.bottom, &mapping)) {
        return;  // too small for the mapping: nothing is drawn
    }
    HDC dc = GetDC(window);
    HPALETTE previous = SelectPalette(dc, palette, FALSE);
    RealizePalette(dc);
    SetMapMode(dc, MM_ISOTROPIC);
    SetWindowExtEx(dc, EYE_UNITS, EYE_UNITS, nullptr);
    SetViewportExtEx(dc, client.right / 2, -(client.bottom / 2), nullptr);
    SetViewportOrgEx(dc, client.right / 2, client.bottom / 2, nullptr);
    DPtoLP(dc, reinterpret_cast<POINT *>(&client), 2);
    FillRect(dc, &client, black_brush);
    for (int n = 0; n < count; ++n) {
        SetPixel(dc, points[n].x, points[n].y, PALETTEINDEX(1));
    }
    SelectPalette(dc, previous, FALSE);
    ReleaseDC(window, dc);
}

LRESULT CALLBACK eye_window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_CREATE: {
        const auto *create = reinterpret_cast<const CREATESTRUCTA *>(lparam);
        const int child = static_cast<int>(reinterpret_cast<INT_PTR>(create->hMenu));
        windows.eye[child == CHILD_EYE_1 ? 0 : 1] = window;
        SetTimer(window, static_cast<UINT_PTR>(child - 2), TIMER_PERIOD_MS, nullptr);
        create_drawing_objects();
        return 0;
    }
    case WM_TIMER:
        draw_picture(window);
        return 0;
    case WM_PAINT: {
        // Only validated: the black class background shows until the next tick.
        PAINTSTRUCT paint;
        BeginPaint(window, &paint);
        EndPaint(window, &paint);
        return 0;
    }
    case WM_SIZE:
        return 0;
    case WM_CLOSE:
        SendMessageA(windows.main, WM_COMMAND,
                     child_close_command(modem_of(window) == 1 ? CHILD_EYE_1 : CHILD_EYE_2), 0);
        return 0;
    case WM_DESTROY:
        KillTimer(window, window == windows.eye[0] ? 1 : 2);
        return 0;
    }
    return DefWindowProcA(window, message, wparam, lparam);
}
