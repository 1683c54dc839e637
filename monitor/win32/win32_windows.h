// The Win32 monitor's window handles and the window procedures of its three
// classes. The procedures only dispatch: the logic is the monitor core's.
#pragma once

#include <windows.h>

#include <cstdint>

struct Monitor;

// The program's windows over its one monitor.
struct MonitorWindows {
    HINSTANCE instance;
    Monitor *monitor;
    HWND main;
    HWND status[2];  // status windows of modem 1 and 2
    HWND list[2];    // their list boxes
    HWND eye[2];     // eye windows of modem 1 and 2
    // The running numbers of the store lines that each list box mirrors.
    uint64_t shown_first[2];
    uint64_t shown_end[2];
    // The widest line each list box has shown, in pixels: the horizontal
    // scroll bar reaches that far. It only grows.
    int widest[2];
};
extern MonitorWindows windows;

// The child window of a child id (1 to 4), null for any other id.
HWND child_window(int child_id);
// Brings both list boxes up to their stores.
void sync_lists();

LRESULT CALLBACK main_window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
LRESULT CALLBACK status_window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
LRESULT CALLBACK eye_window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
