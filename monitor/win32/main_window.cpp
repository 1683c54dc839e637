// LineWatch.exe: program entry, the three window classes and the main window.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>

#include "driverlink/driver_source.h"
#include "monitor/monitor.h"
#include "monitor/replay.h"
#include "monitor/session_open.h"
#include "monitor/window_status.h"
#include "monitor/session_recording.h"
#include "monitor/win32/win32_windows.h"
#include "monitor/window_tables.h"

MonitorWindows windows;

// Child window style: WS_CHILD, WS_VISIBLE, WS_CLIPSIBLINGS, WS_CAPTION,
// WS_SYSMENU and WS_THICKFRAME.
constexpr DWORD CHILD_STYLE = 0x54CC0000;
static_assert(CHILD_STYLE == (WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME));

HWND child_window(int child_id) {
    switch (child_id) {
    case CHILD_STATUS_1: return windows.status[0];
    case CHILD_STATUS_2: return windows.status[1];
    case CHILD_EYE_1: return windows.eye[0];
    case CHILD_EYE_2: return windows.eye[1];
    case CHILD_CALLS: return windows.calls_window;
    default: return nullptr;
    }
}

static void on_create(HWND window, const CREATESTRUCTA *create) {
    windows.main = window;
    // The main tick comes first in every round; the children set their
    // timers as they are made, in the order of the core's ticks.
    SetTimer(window, 1, TIMER_PERIOD_MS, nullptr);
    for (const ChildRow &row : CHILD_ROWS) {
        HWND child = CreateWindowExA(0, row.window_class, row.caption, CHILD_STYLE, 0, 0, 0, 0, window,
                                     reinterpret_cast<HMENU>(static_cast<INT_PTR>(row.id)),
                                     create->hInstance, nullptr);
        // The child procedures record their handles as they are created;
        // keep them here too in case a procedure did not.
        if (row.id == CHILD_STATUS_1) windows.status[0] = child;
        if (row.id == CHILD_STATUS_2) windows.status[1] = child;
        if (row.id == CHILD_EYE_1) windows.eye[0] = child;
        if (row.id == CHILD_EYE_2) windows.eye[1] = child;
    }
    // The call summary, hidden until its menu item shows it; its timer
    // comes after the five of the monitor's ticks.
    DragAcceptFiles(window, TRUE);  // a session file dropped on the window opens
    windows.status_bar = CreateWindowExA(0, STATUSCLASSNAMEA, "", WS_CHILD | WS_VISIBLE | SBARS_SIZEGRIP, 0, 0, 0, 0,
                                         window, reinterpret_cast<HMENU>(STATUS_BAR_ID), create->hInstance, nullptr);
    SendMessageA(windows.status_bar, WM_SETFONT, reinterpret_cast<WPARAM>(ui_font(window)), FALSE);
    windows.calls_window = CreateWindowExA(0, CALLS_CLASS, CALLS_CAPTION, CHILD_STYLE & ~WS_VISIBLE, 0, 0, 0, 0,
                                           window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(CHILD_CALLS)),
                                           create->hInstance, nullptr);
}

// The children placed for a client area: 2 x 2, and the call summary beside
// them while it is shown.
static void place_children(int width, int height) {
    // The status bar along the bottom; the children above it.
    RECT bar{};
    if (windows.status_bar != nullptr && GetWindowRect(windows.status_bar, &bar)) {
        height = std::max(0, height - static_cast<int>(bar.bottom - bar.top));
    }
    ChildPlace places[5];
    const int count = windows.live->visible.calls ? 5 : 4;
    if (count == 5) {
        layout_children_with_calls(uint32_t(width), uint32_t(height), uint32_t(std::max(windows.calls_width, 0)),
                                   places);
    } else {
        layout_children(uint32_t(width), uint32_t(height), places);
    }
    for (int i = 0; i < count; ++i) {
        const ChildPlace &place = places[i];
        MoveWindow(child_window(place.child), place.x, place.y, place.width, place.height, TRUE);
    }
}

static void on_size(LPARAM lparam) {
    SendMessageA(windows.status_bar, WM_SIZE, 0, 0);  // it places itself
    place_children(LOWORD(lparam), HIWORD(lparam));
}

void show_status_bar() {
    if (windows.status_bar == nullptr) {
        return;
    }
    std::string text = monitor_loss_text(*windows.monitor);
    if (windows.opened != nullptr) {
        text = replay_status_text(windows.opened->replay, windows.opened->session) + "    " + text;
    }
    if (text != windows.status_shown) {
        SetWindowTextA(windows.status_bar, text.c_str());
        windows.status_shown.swap(text);
    }
}

// Play, Pause, Step and the speeds of the opened session's replay, as the
// core decides them; the replay timer runs while it plays.
static void replay_command(HWND window, const CommandEffect &effect) {
    if (windows.opened == nullptr || !monitor_command_enabled(*windows.monitor, IDM_PLAY)) {
        return;
    }
    Replay &replay = windows.opened->replay;
    switch (effect.kind) {
    case COMMAND_PLAY:
        replay_play(replay);
        SetTimer(window, REPLAY_TIMER, TIMER_PERIOD_MS, nullptr);
        break;
    case COMMAND_PAUSE:
        replay_pause(replay);
        KillTimer(window, REPLAY_TIMER);
        break;
    case COMMAND_STEP:
        KillTimer(window, REPLAY_TIMER);
        replay_step(replay);
        break;
    default:
        replay_set_speed(replay, static_cast<ReplaySpeed>(effect.value));
        break;
    }
    sync_lists(0);
    show_menu_state(window);
    show_status_bar();
}

static void on_replay_tick(HWND window) {
    if (windows.opened == nullptr) {
        KillTimer(window, REPLAY_TIMER);
        return;
    }
    Replay &replay = windows.opened->replay;
    replay_tick(replay);
    sync_lists();
    show_status_bar();
    if (replay.state != REPLAY_PLAYING) {
        KillTimer(window, REPLAY_TIMER);
        show_menu_state(window);
    }
}

// The system moved the window to a monitor of another DPI: the size it
// proposes, and every font drawn anew for the new DPI.
static void on_dpi_changed(HWND window, const RECT *proposed) {
    SetWindowPos(window, nullptr, proposed->left, proposed->top, proposed->right - proposed->left,
                 proposed->bottom - proposed->top, SWP_NOZORDER | SWP_NOACTIVATE);
    for (HWND status : windows.status) {
        set_status_fonts(status);
    }
    SendMessageA(windows.status_bar, WM_SETFONT, reinterpret_cast<WPARAM>(ui_font(window)), TRUE);
    SendMessageA(windows.status_bar, WM_SIZE, 0, 0);
    RECT client;
    GetClientRect(window, &client);
    place_children(client.right, client.bottom);
    show_lists_again();
}

static void on_drop(HWND window, HDROP drop) {
    char path[MAX_PATH] = "";
    const UINT length = DragQueryFileA(drop, 0, path, sizeof path);
    DragFinish(drop);
    if (length > 0 && length < sizeof path) {
        open_session_file(window, path);
    }
}

static bool on_command(HWND window, int id) {
    const CommandEffect effect = monitor_command(*windows.live, id);
    switch (effect.kind) {
    case COMMAND_EXIT:
        SendMessageA(window, WM_CLOSE, 0, 0);
        return true;
    case COMMAND_TOGGLE:
        CheckMenuItem(GetMenu(window), static_cast<UINT>(id),
                      MF_BYCOMMAND | (effect.shown ? MF_CHECKED : MF_UNCHECKED));
        if (effect.child == CHILD_CALLS) {
            // The others make room for it, or take its place back.
            RECT client;
            GetClientRect(window, &client);
            place_children(client.right, client.bottom);
        }
        ShowWindow(child_window(effect.child), effect.shown ? SW_SHOW : SW_HIDE);
        if (effect.child == CHILD_CALLS && effect.shown) {
            refresh_call_summary();
        }
        return true;
    case COMMAND_ABOUT:
        MessageBoxA(window, ABOUT_TEXT, ABOUT_CAPTION, MB_ICONINFORMATION | MB_OK);
        return true;
    case COMMAND_RECORD_SESSION:
        record_session(window);
        show_session_state(window);
        return true;
    case COMMAND_STOP_RECORDING:
        stop_recording(window);
        show_session_state(window);
        return true;
    case COMMAND_OPEN_SESSION:
        if (!opening_session()) {
            open_session(window);
        }
        return true;
    case COMMAND_SAVE_LIST:
        save_list_as(window, effect.child, effect.shown);
        return true;
    case COMMAND_TIME_FORMAT:
        windows.time_format = static_cast<LineTimeFormat>(effect.value);
        show_lists_again();
        show_menu_state(window);
        return true;
    case COMMAND_PLAY:
    case COMMAND_PAUSE:
    case COMMAND_STEP:
    case COMMAND_SPEED:
        replay_command(window, effect);
        return true;
    case COMMAND_UNKNOWN:
        break;
    }
    return false;
}

LRESULT CALLBACK main_window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_CREATE:
        on_create(window, reinterpret_cast<const CREATESTRUCTA *>(lparam));
        return 0;
    case WM_SIZE:
        on_size(lparam);
        return 0;
    case WM_COMMAND:
        if (on_command(window, LOWORD(wparam))) {
            return 0;
        }
        break;
    case OPEN_DONE_MESSAGE:
        open_session_done(window, lparam);
        return 0;
    case WM_TIMER:
        if (wparam == REPLAY_TIMER) {
            on_replay_tick(window);
            return 0;
        }
        // The live monitor's: it also looks at the recording.
        monitor_main_tick(*windows.live);
        show_status_bar();
        return 0;
    case WM_DROPFILES:
        on_drop(window, reinterpret_cast<HDROP>(wparam));
        return 0;
    case WM_DPICHANGED_MESSAGE:
        on_dpi_changed(window, reinterpret_cast<const RECT *>(lparam));
        return 0;
    case WM_DESTROY:
        end_open_session();
        monitor_record_stop(*windows.live);  // the file complete
        monitor_close(*windows.live);
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wparam, lparam);
}

static void register_class(const char *name, WNDPROC procedure, int background, const char *menu) {
    WNDCLASSEXA window_class{};
    window_class.cbSize = sizeof window_class;
    window_class.style = CS_HREDRAW | CS_VREDRAW;
    window_class.lpfnWndProc = procedure;
    window_class.hInstance = windows.instance;
    window_class.hIcon = LoadIconA(nullptr, reinterpret_cast<LPCSTR>(IDI_APPLICATION));
    window_class.hIconSm = LoadIconA(nullptr, reinterpret_cast<LPCSTR>(IDI_APPLICATION));
    window_class.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    window_class.hbrBackground = background >= 0 ? static_cast<HBRUSH>(GetStockObject(background))
                                                 : reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    window_class.lpszMenuName = menu;
    window_class.lpszClassName = name;
    RegisterClassExA(&window_class);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR command_tail, int show) {
    windows.instance = instance;
    become_dpi_aware();
    register_class(MAIN_CLASS, main_window_procedure, GRAY_BRUSH, nullptr);
    register_class(STATUS_CLASS, status_window_procedure, -1, nullptr);
    register_class(EYE_CLASS, eye_window_procedure, BLACK_BRUSH, nullptr);
    register_class(CALLS_CLASS, calls_window_procedure, GRAY_BRUSH, nullptr);
    register_class(PROGRESS_CLASS_NAME, open_progress_procedure, -1, nullptr);
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS | ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);
    // The monitor over the platform's driver: log_counter, the device name
    // from the whole command tail, the driver link.
    PlatformDriverSource source;
    windows.live = windows.monitor = monitor_new(source);
    if (windows.live == nullptr) {
        MessageBoxA(nullptr, "Not enough memory to start.", ABOUT_CAPTION, MB_ICONERROR | MB_OK);
        return 1;
    }
    // A session file opened from the shell comes as the command tail: the
    // window opens it at once, before any tick has reached the driver.
    char session_path[MAX_PATH] = "";
    const bool open_file = command_tail_file(command_tail, session_path, sizeof session_path);
    if (!monitor_start(*windows.monitor, open_file ? nullptr : command_tail)) {
        MessageBoxA(nullptr, "The device name is too long: at most 75 characters.", ABOUT_CAPTION,
                    MB_ICONERROR | MB_OK);
        return 2;
    }
    monitor_set_events(*windows.live, {nullptr, nullptr, show_warning, recording_changed, nullptr, nullptr});
    // The first size from the work area the taskbar leaves.
    RECT work{0, 0, 1024, 768};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    const WindowPlace place =
        main_window_place(work.left, work.top, work.right - work.left, work.bottom - work.top, window_dpi(nullptr));
    HWND window = CreateWindowExA(0, MAIN_CLASS, MAIN_CAPTION, WS_OVERLAPPEDWINDOW, place.x, place.y, place.width,
                                  place.height, nullptr, build_menu(), instance, nullptr);
    show_menu_state(window);
    ShowWindow(window, show);
    UpdateWindow(window);
    if (open_file) {
        open_session_file(window, session_path);
    }
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    close_opened_session();
    monitor_delete(windows.live);
    windows.live = windows.monitor = nullptr;
    return static_cast<int>(message.wParam);
}
