// The Win32 monitor's window handles and the window procedures of its three
// classes. The procedures only dispatch: the logic is the monitor core's.
#pragma once

#include <windows.h>
#include <commdlg.h>

#include <cstdint>
#include <deque>
#include <string>

#include "monitor/monitor.h"
#include "monitor/text_filter.h"

struct MonitorSession;
struct OpenJob;

// The message the thread that reads a session posts to the main window when
// it is over (lparam: its OpenJob).
constexpr UINT OPEN_DONE_MESSAGE = WM_APP + 1;
// The main window's timer of an opened session's replay (1 is the live monitor's).
constexpr UINT_PTR REPLAY_TIMER = 2;
constexpr int STATUS_BAR_ID = 100;
// WM_DPICHANGED, which older headers lack.
constexpr UINT WM_DPICHANGED_MESSAGE = 0x02E0;

// The fonts of one DPI.
struct FontSet {
    int dpi;
    HFONT ui;
    HFONT list;
};
constexpr int FONT_SETS = 4;

// The program's windows over its live monitor and, once a session has been
// opened, that session's own monitor, which the lists then show while the
// live one goes on underneath.
struct MonitorWindows {
    HINSTANCE instance;
    Monitor *live;
    Monitor *monitor;          // the monitor the windows show: the live one or the opened session's
    MonitorSession *opened;    // the session shown, null while live
    OpenJob *opening;          // the session being read, null when none is
    HWND main;
    HWND status[2];  // status windows of modem 1 and 2
    HWND list[2];    // their list boxes
    HWND filter[2];  // the filter field above each list, its label and the count beside it
    HWND filter_label[2];
    HWND count[2];
    HWND eye[2];     // eye windows of modem 1 and 2
    // The running number of the store line each row of a list box shows,
    // and the number of the first store line the list has not looked at.
    std::deque<uint64_t> rows[2];
    uint64_t shown_end[2];
    TextFilter filters[2];
    LineTimeFormat time_format;  // the lists' time column (View > Time)
    // The widest line each list box has shown, in pixels: the horizontal
    // scroll bar reaches that far. It only grows.
    int widest[2];
    HWND calls_window;  // the call summary child and its read-only edit control
    HWND calls_edit;
    int calls_width;    // the width the call summary child asks for
    HWND status_bar;            // along the main window's bottom, and the text it shows
    std::string status_shown;
    FontSet fonts[FONT_SETS];
    int next_font_set;
};
extern MonitorWindows windows;

// The child window of a child id (1 to 5), null for any other id.
HWND child_window(int child_id);
// Brings both list boxes up to their stores, each for at most its budget of
// milliseconds a call (0: all lines at once).
void sync_lists(unsigned budget_ms = 30);
// Empties both list boxes, to show the stores again from their first lines.
void reset_lists();
void reset_list(int modem);
// Both lists shown anew from their stores: a new time format.
void show_lists_again();
// A status window's fonts at its DPI, its tab stops and its layout.
void set_status_fonts(HWND status_window);

// The main window's menu, from the core's table, and its enabled and
// checked items for what the window shows now.
HMENU build_menu();
void show_menu_state(HWND main);
// File > Save Modem N List... (every line, or with `shown` those the
// filter shows): asks for the file and saves.
void save_list_as(HWND main, int modem, bool shown);

// The File menu's session commands.
void record_session(HWND main);
void stop_recording(HWND main);
void open_session(HWND main);
// Reads the session at `path` (from the dialog, the command line or a
// drop) on a thread of its own, with a modal progress window; the main
// window gets OPEN_DONE_MESSAGE when it is over. A file that is not a
// session, or one too big for memory, gets a message box and nothing changes.
void open_session_file(HWND main, const char *path);
// OPEN_DONE_MESSAGE: the read session shown, or the reason it is not.
void open_session_done(HWND main, LPARAM lparam);
// The window closes while a session is read: the read is given up.
void end_open_session();
// Whether a session is being read now.
bool opening_session();
// Shows a session that has been read, in place of what the window showed.
void show_opened_session(HWND main, MonitorSession *session);
LRESULT CALLBACK open_progress_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
extern const char PROGRESS_CLASS_NAME[];  // "LineWatchOpenProgress"

// Asks the system for per-monitor DPI where it has it, else for the
// desktop's: before any window is made.
void become_dpi_aware();
// Dots per inch of the monitor a window is on (96 where the system cannot say).
int window_dpi(HWND window);
// The fonts at a window's DPI: the system's message font for texts and
// buttons, a fixed-pitch one for the status lists.
HFONT ui_font(HWND window);
HFONT list_font(HWND window);
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

// The status bar: what the lists hold and lost, and for an opened
// session where its replay stands.
void show_status_bar();

// The call summary child: its text brought up to the last calls.
void refresh_call_summary();

// The common file dialog's settings: `chosen` holds the proposed name and
// receives the chosen one, `folder` (kept alive by the caller; empty: the
// dialog's own choice) is where it opens. The current directory stays
// where it is, since capture files go there.
OPENFILENAMEA file_dialog(HWND owner, char *chosen, DWORD size, const std::string &folder, const char *filter,
                          const char *title, DWORD flags);

LRESULT CALLBACK main_window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
LRESULT CALLBACK status_window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
LRESULT CALLBACK eye_window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
LRESULT CALLBACK calls_window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
extern const char CALLS_CLASS[];    // "CallSummaryClass"
extern const char CALLS_CAPTION[];  // "Call Summary"

