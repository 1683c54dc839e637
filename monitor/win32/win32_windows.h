// The Win32 monitor's window handles and the window procedures of its three
// classes. The procedures only dispatch: the logic is the monitor core's.
#pragma once

#include <windows.h>

// One set of globals for the program.
struct MonitorWindows {
    HINSTANCE instance;
    HWND main;
    HWND status[2];  // status windows of modem 1 and 2
    HWND list[2];    // their list boxes
    HWND eye[2];     // eye windows of modem 1 and 2
};
extern MonitorWindows windows;

LRESULT CALLBACK main_window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
LRESULT CALLBACK status_window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
LRESULT CALLBACK eye_window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
