// The screen the windows are on: DPI awareness, each monitor's DPI and the
// fonts drawn at it. Functions that only newer systems have are looked up
// at run time, so that the program starts on any of them.
#include <windows.h>

#include "monitor/win32/win32_windows.h"

// DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2, which older headers lack.
static const HANDLE PER_MONITOR_AWARE_V2 = reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-4));

void become_dpi_aware() {
    HMODULE user32 = GetModuleHandleA("user32.dll");
    using SetContext = BOOL(WINAPI *)(HANDLE);
    const auto set_context =
        user32 != nullptr ? reinterpret_cast<SetContext>(reinterpret_cast<void *>(
                                GetProcAddress(user32, "SetProcessDpiAwarenessContext")))
                          : nullptr;
    if (set_context != nullptr && set_context(PER_MONITOR_AWARE_V2)) {
        return;
    }
    SetProcessDPIAware();  // the whole desktop's DPI, at least
}

int window_dpi(HWND window) {
    HMODULE user32 = GetModuleHandleA("user32.dll");
    using GetDpi = UINT(WINAPI *)(HWND);
    const auto get_dpi = user32 != nullptr ? reinterpret_cast<GetDpi>(reinterpret_cast<void *>(
                                                 GetProcAddress(user32, "GetDpiForWindow")))
                                           : nullptr;
    UINT dpi = get_dpi != nullptr && window != nullptr ? get_dpi(window) : 0;
    if (dpi == 0) {
        HDC screen = GetDC(nullptr);
        dpi = static_cast<UINT>(GetDeviceCaps(screen, LOGPIXELSY));
        ReleaseDC(nullptr, screen);
    }
    return dpi > 0 ? static_cast<int>(dpi) : 96;
}

// The fonts of one DPI, made the first time it is asked for. A handful of
// DPIs at most in a run (one per monitor the window visits).
static FontSet &fonts_for(int dpi) {
    for (FontSet &set : windows.fonts) {
        if (set.dpi == dpi) {
            return set;
        }
    }
    FontSet &set = windows.fonts[windows.next_font_set];
    windows.next_font_set = (windows.next_font_set + 1) % FONT_SETS;
    // A set pushed out is still selected into the windows of the old DPI
    // until they are told the new fonts: those are kept, never deleted.
    set.dpi = dpi;
    NONCLIENTMETRICSA metrics{};
    metrics.cbSize = sizeof metrics;
    LOGFONTA ui{};
    if (SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
        ui = metrics.lfMessageFont;
        // The metrics are at the desktop's DPI; the font goes to this one.
        ui.lfHeight = MulDiv(ui.lfHeight, dpi, window_dpi(nullptr));
    } else {
        ui.lfHeight = -MulDiv(9, dpi, 72);
        lstrcpyA(ui.lfFaceName, "Tahoma");
    }
    set.ui = CreateFontIndirectA(&ui);
    // 9 points, fixed pitch: Consolas where it is, else Courier New or
    // whatever the system maps a modern fixed-pitch face to.
    LOGFONTA list{};
    list.lfHeight = -MulDiv(9, dpi, 72);
    list.lfWeight = FW_NORMAL;
    list.lfCharSet = DEFAULT_CHARSET;
    list.lfPitchAndFamily = FIXED_PITCH | FF_MODERN;
    list.lfQuality = CLEARTYPE_QUALITY;
    lstrcpyA(list.lfFaceName, "Consolas");
    set.list = CreateFontIndirectA(&list);
    HDC screen = GetDC(nullptr);
    char face[LF_FACESIZE] = "";
    HGDIOBJ previous = SelectObject(screen, set.list);
    GetTextFaceA(screen, sizeof face, face);
    SelectObject(screen, previous);
    ReleaseDC(nullptr, screen);
    if (lstrcmpiA(face, "Consolas") != 0) {
        DeleteObject(set.list);
        lstrcpyA(list.lfFaceName, "Courier New");
        set.list = CreateFontIndirectA(&list);
    }
    return set;
}

HFONT ui_font(HWND window) { return fonts_for(window_dpi(window)).ui; }
HFONT list_font(HWND window) { return fonts_for(window_dpi(window)).list; }
