// The Win32 monitor's window handles and the window procedures of its three
// classes. The procedures only dispatch: the logic is the monitor core's.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "monitor/monitor.h"

struct MonitorSession;

// The program's windows over its live monitor and, once a session has been
// opened, that session's own monitor, which the lists then show while the
// live one goes on underneath.
struct MonitorWindows {
    HINSTANCE instance;
    Monitor *live;
    Monitor *monitor;          // the monitor the windows show: the live one or the opened session's
    MonitorSession *opened;    // the session shown, null while live
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
    HWND calls_window;  // the call summary child and its read-only edit control
    HWND calls_edit;
    int calls_width;    // the width the call summary child asks for
    std::string calls_shown;       // the text the edit control holds
};
extern MonitorWindows windows;

// The child window of a child id (1 to 5), null for any other id.
HWND child_window(int child_id);
// Brings both list boxes up to their stores, each for at most its budget of
// milliseconds a call (0: all lines at once).
void sync_lists(unsigned budget_ms = 30);
// Empties both list boxes, to show the stores again from their first lines.
void reset_lists();

// The File menu's session commands.
void record_session(HWND main);
void stop_recording(HWND main);
void open_session(HWND main);
// Shows the session at `path` (from the dialog or the command line); a
// file that is not a session gets a message box and nothing changes.
void open_session_file(HWND main, const char *path);
// The live monitor's recording_changed event: the caption, the menu and,
// for a write error, a message box.
void recording_changed(void *context, RecordingChange change);
// The window closes: the opened session goes.
void close_opened_session();
// Caption and File menu for what the window does now (live, recording,
// an opened session).
void show_session_state(HWND main);
// The status windows' warning box (the live monitor's show_warning event).
void show_warning(void *context, const char *line);

// The call summary child: its text brought up to the last calls.
void refresh_call_summary();

LRESULT CALLBACK main_window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
LRESULT CALLBACK status_window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
LRESULT CALLBACK eye_window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
LRESULT CALLBACK calls_window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
extern const char CALLS_CLASS[];    // "CallSummaryClass"
extern const char CALLS_CAPTION[];  // "Call Summary"

