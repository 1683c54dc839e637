// The monitor's windows as every window front end builds them: the menu of the main
// window, the four children, their captions and ids, the message texts, the
// visibility flags behind the View toggles, and the 2 x 2 layout.
#pragma once

#include <cstddef>
#include <cstdint>

// Menu command ids.
constexpr int IDM_EXIT = 10;
constexpr int IDM_RECORD_SESSION = 11;  // File: record a session, stop it, open one
constexpr int IDM_STOP_RECORDING = 12;
constexpr int IDM_OPEN_SESSION = 13;
constexpr int IDM_MONITOR_1 = 20;
constexpr int IDM_MONITOR_2 = 21;
constexpr int IDM_CALLS = 22;           // Monitor: the calls of both modems
constexpr int IDM_EYE_1 = 30;
constexpr int IDM_EYE_2 = 31;
constexpr int IDM_ABOUT = 40;
// The list tools and the replay of the Win32 windows, ids 50 to 69 (the Qt
// window has its own View menu and replay bar).
constexpr int IDM_SAVE_LIST_1 = 50;   // File: every line of modem 1's list
constexpr int IDM_SAVE_LIST_2 = 51;
constexpr int IDM_SAVE_SHOWN_1 = 52;  // File: the lines modem 1's filter shows
constexpr int IDM_SAVE_SHOWN_2 = 53;
constexpr int IDM_TIME_FIRST = 54;    // View > Time: IDM_TIME_FIRST + a LineTimeFormat (4 of them)
constexpr int IDM_PLAY = 60;          // Replay: an opened session played from its file
constexpr int IDM_PAUSE = 61;
constexpr int IDM_STEP = 62;
constexpr int IDM_SPEED_FIRST = 63;   // IDM_SPEED_FIRST + a ReplaySpeed (3 of them)

// Child ids; the child id also tells a child which modem it serves.
constexpr int CHILD_STATUS_1 = 1;
constexpr int CHILD_STATUS_2 = 2;
constexpr int CHILD_EYE_1 = 3;
constexpr int CHILD_EYE_2 = 4;
// The call summary: beside the four, hidden at the start.
constexpr int CHILD_CALLS = 5;

// Every timer of the monitor ticks at this period.
constexpr unsigned TIMER_PERIOD_MS = 100;

extern const char MAIN_CLASS[];      // "LineWatch"
extern const char STATUS_CLASS[];    // "StatusClass"
extern const char EYE_CLASS[];       // "EyeClass"
extern const char MAIN_CAPTION[];    // "Line Watch"
extern const char ABOUT_TEXT[];      // "Tarvel line watch Rev 1.1."
extern const char ABOUT_CAPTION[];   // "LineWatch"
extern const char WARNING_CAPTION[]; // "Warning"

// One menu item, in menu order, with its popup: all ten commands of the
// monitor. The Win32 windows and the Qt window name three of them
// differently (their Calls child is a summary in one, a view in the other).
struct MenuRow {
    const char *popup;    // with its mnemonic, e.g. "&Monitor"
    const char *item;     // with its mnemonic, e.g. "Modem &1" (the Win32 windows)
    const char *qt_item;  // the Qt window's text
    int id;
    bool checkable;
    bool checked;         // its check mark at the start
    bool separator;       // a separator goes before it
};
constexpr size_t MENU_ROW_COUNT = 10;
extern const MenuRow MENU_ROWS[MENU_ROW_COUNT];
// The row of a command id (of MENU_ROWS or TOOL_MENU_ROWS); null for an id
// that is no menu command.
const MenuRow *menu_row(int id);

// A row of the Win32 windows' own menu items, placed before the row of
// MENU_ROWS whose id `before` names.
struct ToolMenuRow {
    MenuRow row;
    int before;
};
constexpr size_t TOOL_MENU_ROW_COUNT = 14;
extern const ToolMenuRow TOOL_MENU_ROWS[TOOL_MENU_ROW_COUNT];
// The Win32 windows' whole menu in order: the rows of MENU_ROWS (their
// Win32 texts) with each tool row just before the row it names. A popup
// begins where the popup text changes; "&View>&Time" is the submenu Time
// of the popup View.
constexpr size_t WINDOW_MENU_ROW_COUNT = MENU_ROW_COUNT + TOOL_MENU_ROW_COUNT;
void window_menu_rows(const MenuRow *rows[WINDOW_MENU_ROW_COUNT]);

// One child window, in creation order.
struct ChildRow {
    int id;
    const char *window_class;
    const char *caption;
    int menu_id;  // the menu command that hides and shows it
};
extern const ChildRow CHILD_ROWS[4];

// Visibility flags, index 0 for modem 1: 1 while the child is shown and its
// menu item checked. The four start at 1, the call summary at 0; only
// menu_command changes them.
struct Visibility {
    int status[2];
    int eye[2];
    int calls;
};

enum CommandKind {
    COMMAND_UNKNOWN,  // not a menu command of the monitor: default handling
    COMMAND_EXIT,     // close the main window
    COMMAND_TOGGLE,   // show or hide `child` and set its check mark to `shown`
    COMMAND_ABOUT,    // show the About box
    COMMAND_RECORD_SESSION,  // ask for a file and record the session into it
    COMMAND_STOP_RECORDING,  // stop recording, the file complete
    COMMAND_OPEN_SESSION,    // ask for a session file and show it
    COMMAND_SAVE_LIST,       // save modem `child`'s list: every line, or (`shown`) those the filter shows
    COMMAND_TIME_FORMAT,     // the lists' time column in format `value` (a LineTimeFormat)
    COMMAND_PLAY,            // replay the opened session, or go on after a pause
    COMMAND_PAUSE,
    COMMAND_STEP,            // replay one round and pause
    COMMAND_SPEED,           // replay at speed `value` (a ReplaySpeed)
};
struct CommandEffect {
    CommandKind kind;
    int child;   // COMMAND_TOGGLE: child id 1 to 5; COMMAND_SAVE_LIST: the modem
    bool shown;  // COMMAND_TOGGLE: the child's new state and check mark; COMMAND_SAVE_LIST: shown lines only
    int value = 0;
};

// Carries out a menu command on the flags and says what the window must do.
// The lowest bit of a toggle's id picks modem 2.
CommandEffect menu_command(Visibility &visible, int id);

// The first and last id of a group of radio items (View > Time, the replay
// speeds) that `id` belongs to; false for any other id.
bool menu_radio_group(int id, int *first, int *last);

// The main window's first place: centred in the work area (in pixels at
// `dpi`), at least 1024 x 768 (scaled to the DPI) where the work area has
// room, else the whole work area, and four fifths of a larger one.
struct WindowPlace {
    int x, y, width, height;
};
WindowPlace main_window_place(int work_x, int work_y, int work_width, int work_height, int dpi);

// The command that a child's close button sends to the main window; 0 for an
// id that is not a child's.
int child_close_command(int child_id);

// Back to the start: every child shown and checked.
void reset_visibility(Visibility &visible);

// Where a child goes in a client area of width x height: the eye displays
// share the top half, the status lists the bottom half, modem 1 left and
// modem 2 right. An odd last column or row stays uncovered.
struct ChildPlace {
    int child;
    int x, y, width, height;
};
// The four places in the order the moves are made: status 1, status 2, eye 1, eye 2.
void layout_children(uint32_t width, uint32_t height, ChildPlace places[4]);
// The same with the call summary shown: the summary takes `calls_width`
// at the right at full height, but at least two fifths of the width and at
// most three fifths; the four share the rest as above. Five places, the
// summary last.
void layout_children_with_calls(uint32_t width, uint32_t height, uint32_t calls_width, ChildPlace places[5]);

// The main window's caption for what it shows: MAIN_CAPTION while live,
// "Line Watch - NAME" for an opened session file (NAME without its folder).
// Always NUL-terminated; a name too long for `size` is cut.
void session_caption(const char *path, char *text, size_t size);

// A command tail that names a session file rather than a device, as
// Windows starts the program for a file opened from the shell:
// "C:\dir\x.trace", quoted or not, blanks around it. The tail names a file
// when, without its blanks and one pair of quotes, it holds a folder
// separator or ends in ".trace" or ".gz" (any case); a device name has
// neither. True with the path in `path`; false (path "") for a device name,
// an empty tail or a path longer than `size` allows.
bool command_tail_file(const char *tail, char *path, size_t size);
