// The main window's menu, built from the core's table (the rows of every
// front end and the Win32 windows' own list and replay rows), and its
// enabled and checked states, which the core decides.
#include <windows.h>

#include <cstring>

#include "monitor/monitor.h"
#include "monitor/replay.h"
#include "monitor/session_open.h"
#include "monitor/win32/win32_windows.h"
#include "monitor/window_tables.h"

// The popup text's parts: "&View>&Time" is the submenu Time of View.
static void split_popup(const char *popup, char *top, char *sub, size_t size) {
    const char *mark = std::strchr(popup, '>');
    const size_t top_length = mark != nullptr ? size_t(mark - popup) : std::strlen(popup);
    lstrcpynA(top, popup, static_cast<int>(top_length < size ? top_length + 1 : size));
    lstrcpynA(sub, mark != nullptr ? mark + 1 : "", static_cast<int>(size));
}

HMENU build_menu() {
    const MenuRow *rows[WINDOW_MENU_ROW_COUNT];
    window_menu_rows(rows);
    HMENU bar = CreateMenu();
    HMENU popup = nullptr, submenu = nullptr;
    char current_top[64] = "", current_sub[64] = "";
    for (const MenuRow *row : rows) {
        char top[64], sub[64];
        split_popup(row->popup, top, sub, sizeof top);
        if (popup == nullptr || std::strcmp(top, current_top) != 0) {
            popup = CreatePopupMenu();
            AppendMenuA(bar, MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(popup), top);
            lstrcpynA(current_top, top, sizeof current_top);
            current_sub[0] = '\0';
            submenu = nullptr;
        }
        if (sub[0] != '\0' && (submenu == nullptr || std::strcmp(sub, current_sub) != 0)) {
            submenu = CreatePopupMenu();
            AppendMenuA(popup, MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(submenu), sub);
            lstrcpynA(current_sub, sub, sizeof current_sub);
        }
        HMENU target = sub[0] != '\0' ? submenu : popup;
        if (row->separator) {
            AppendMenuA(target, MF_SEPARATOR, 0, nullptr);
        }
        AppendMenuA(target, MF_STRING | (row->checked ? MF_CHECKED : MF_UNCHECKED), static_cast<UINT_PTR>(row->id),
                    row->item);
        int first, last;
        if (menu_radio_group(row->id, &first, &last) && row->checked) {
            CheckMenuRadioItem(target, static_cast<UINT>(first), static_cast<UINT>(last),
                               static_cast<UINT>(row->id), MF_BYCOMMAND);
        }
    }
    return bar;
}

static bool command_enabled(int id) {
    if (!monitor_command_enabled(*windows.monitor, id)) {
        return false;
    }
    int first, last;
    const bool replay = id == IDM_PLAY || id == IDM_PAUSE || id == IDM_STEP ||
                        (menu_radio_group(id, &first, &last) && first == IDM_SPEED_FIRST);
    return !replay || (windows.opened != nullptr && replay_command_enabled(windows.opened->replay, id));
}

void show_menu_state(HWND main) {
    HMENU menu = GetMenu(main);
    const MenuRow *rows[WINDOW_MENU_ROW_COUNT];
    window_menu_rows(rows);
    for (const MenuRow *row : rows) {
        EnableMenuItem(menu, static_cast<UINT>(row->id),
                       MF_BYCOMMAND | (command_enabled(row->id) ? MF_ENABLED : MF_GRAYED));
    }
    // The radio groups: the lists' time format and the replay's speed.
    const int time_id = IDM_TIME_FIRST + static_cast<int>(windows.time_format);
    const int speed_id = IDM_SPEED_FIRST + static_cast<int>(windows.opened != nullptr ? windows.opened->replay.speed
                                                                                       : REPLAY_1X);
    for (int id : {time_id, speed_id}) {
        int first, last;
        menu_radio_group(id, &first, &last);
        CheckMenuRadioItem(menu, static_cast<UINT>(first), static_cast<UINT>(last), static_cast<UINT>(id),
                           MF_BYCOMMAND);
    }
}
