// The frozen eye of a moment: the last ticks of eye points before an event
// or finding, drawn as the eye displays draw theirs (the square mapped
// isotropically, one pixel a point, on black), the older ticks dimmer and
// the last before the moment white; a caption above it says whose it is.
#include <windows.h>

#include <algorithm>

#include "monitor/eye.h"
#include "monitor/win32/calls_view.h"

const char CALLS_EYE_CLASS[] = "FrozenEyeClass";

static void paint(HWND window, HDC target) {
    CallsView *view = calls_view_of(GetParent(window));
    RECT client;
    GetClientRect(window, &client);
    HDC dc = CreateCompatibleDC(target);
    HBITMAP bitmap = CreateCompatibleBitmap(target, std::max<LONG>(client.right, 1), std::max<LONG>(client.bottom, 1));
    const HGDIOBJ old = SelectObject(dc, bitmap);
    FillRect(dc, &client, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    EyeMapping mapping;
    const FrozenEye *eye = view != nullptr ? view->eye_state.eye.get() : nullptr;
    if (eye != nullptr && eye_mapping(client.right, client.bottom, &mapping)) {
        const int ticks = std::min<int>(eye->ticks, EYE_TICKS_KEPT);
        for (int t = 0; t < ticks; ++t) {
            // From a dim grey for the oldest up to white for the newest.
            const int level = ticks == 1 ? 255 : 96 + (255 - 96) * t / (ticks - 1);
            const COLORREF colour = RGB(level, level, level);
            const EyeTick &tick = eye->tick[t];
            for (int n = 0; n < tick.count && n < int(EYE_POINTS_MAX); ++n) {
                int x, y;
                eye_pixel(mapping, tick.points[n].x, tick.points[n].y, &x, &y);
                SetPixelV(dc, x, y, colour);
            }
        }
    }
    BitBlt(target, 0, 0, client.right, client.bottom, dc, 0, 0, SRCCOPY);
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
}

static LRESULT CALLBACK eye_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(window, &ps);
        paint(window, dc);
        EndPaint(window, &ps);
        return 0;
    }
    case WM_ERASEBKGND:
        return 1;
    }
    return DefWindowProcA(window, message, wparam, lparam);
}

void calls_eye_show(CallsView &view, const FrozenEye *eye, const std::string &caption) {
    if (eye != nullptr) {
        view.eye_state.eye = std::make_unique<FrozenEye>(*eye);
    } else {
        view.eye_state.eye.reset();
    }
    view.eye_state.caption = caption;
    SetWindowTextA(view.eye_caption, caption.c_str());
    InvalidateRect(view.eye, nullptr, FALSE);
}

void calls_eye_register(HINSTANCE instance) {
    WNDCLASSEXA window_class{};
    window_class.cbSize = sizeof window_class;
    window_class.lpfnWndProc = eye_procedure;
    window_class.hInstance = instance;
    window_class.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    window_class.lpszClassName = CALLS_EYE_CLASS;
    RegisterClassExA(&window_class);
}
