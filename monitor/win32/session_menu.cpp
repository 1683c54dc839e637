// The File menu's sessions: Record Session... asks for a file with the
// common save dialog and records into it, Stop Recording completes it, Open
// Session... shows a recorded session (a monitor of its own) in the lists
// while the live monitor goes on underneath, recording included; the
// caption says what the window shows (recording, with the file's size and
// time; an opened session's name) and the menu offers only what the core
// enables.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "monitor/list_save.h"
#include "monitor/monitor.h"
#include "monitor/session_open.h"
#include "monitor/session_recording.h"
#include "monitor/win32/win32_windows.h"
#include "monitor/window_tables.h"

// The dialogs' titles; message boxes go by the program's name.
static const char RECORD_TITLE[] = "Record Session";
static const char OPEN_TITLE[] = "Open Session";

void show_session_state(HWND main) {
    char caption[MAX_PATH + 96];
    monitor_caption(*windows.monitor, caption, sizeof caption);
    char current[sizeof caption];
    GetWindowTextA(main, current, sizeof current);
    if (strcmp(current, caption) != 0) {
        SetWindowTextA(main, caption);
    }
    show_menu_state(main);
}

// The folder LineWatch runs in, where its capture files go: the dialogs
// start there.
static std::string current_folder() {
    char folder[MAX_PATH] = {};
    const DWORD length = GetCurrentDirectoryA(sizeof folder, folder);
    return length > 0 && length < sizeof folder ? std::string(folder, length) : std::string();
}

OPENFILENAMEA file_dialog(HWND main, char *chosen, DWORD size, const std::string &folder,
                                 const char *filter, const char *title, DWORD flags) {
    OPENFILENAMEA dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = main;
    dialog.lpstrFilter = filter;
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = chosen;
    dialog.nMaxFile = size;
    dialog.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
    dialog.lpstrTitle = title;
    dialog.Flags = OFN_EXPLORER | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR | flags;
    return dialog;
}

void record_session(HWND main) {
    if (!monitor_command_enabled(*windows.monitor, IDM_RECORD_SESSION)) {
        return;
    }
    char chosen[MAX_PATH] = "session.trace.gz";
    const std::string folder = current_folder();
    OPENFILENAMEA dialog = file_dialog(main, chosen, sizeof chosen, folder,
                                       "Compressed sessions (*.trace.gz)\0*.trace.gz\0"
                                       "Sessions (*.trace)\0*.trace\0"
                                       "All files (*.*)\0*.*\0",
                                       RECORD_TITLE, OFN_OVERWRITEPROMPT);
    if (!GetSaveFileNameA(&dialog)) {
        return;  // cancelled
    }
    char path[MAX_PATH + 16];
    if (!session_file_name(chosen, dialog.nFilterIndex != 2, path, sizeof path)) {
        MessageBoxA(main, "The file name is too long.", ABOUT_CAPTION, MB_ICONERROR | MB_OK);
        return;
    }
    // The dialog asked about the name as typed; a name that gained its
    // extension is asked about here.
    if (strcmp(path, chosen) != 0 && GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES) {
        const std::string question = std::string(path) + " already exists.\nDo you want to replace it?";
        if (MessageBoxA(main, question.c_str(), ABOUT_CAPTION, MB_ICONWARNING | MB_YESNO) != IDYES) {
            return;
        }
    }
    if (!monitor_record_start(*windows.live, path)) {
        const std::string text = std::string(monitor_recording_error(*windows.live)) + "\nNothing is recorded.";
        MessageBoxA(main, text.c_str(), ABOUT_CAPTION, MB_ICONERROR | MB_OK);
    }
}

void save_list_as(HWND main, int modem, bool shown) {
    if (modem != 1 && modem != 2) {
        return;
    }
    char chosen[MAX_PATH];
    std::snprintf(chosen, sizeof chosen, "modem%d-%s.txt", modem, shown ? "shown" : "list");
    const std::string folder = current_folder();
    const std::string title = save_list_title(modem);
    OPENFILENAMEA dialog = file_dialog(main, chosen, sizeof chosen, folder, "Text (*.txt)\0*.txt\0CSV (*.csv)\0*.csv\0",
                                       title.c_str(), OFN_OVERWRITEPROMPT);
    dialog.lpstrDefExt = "txt";
    if (!GetSaveFileNameA(&dialog)) {
        return;  // cancelled
    }
    const ExportFormat format = dialog.nFilterIndex == 2 ? EXPORT_CSV : export_format_for_name(chosen);
    std::string error;
    if (!save_list(*windows.monitor, modem, chosen, format, windows.time_format,
                   shown ? &windows.filters[modem - 1] : nullptr, error)) {
        MessageBoxA(main, save_list_message(chosen, error).c_str(), title.c_str(), MB_ICONERROR | MB_OK);
    }
}

void stop_recording(HWND) {
    // An incomplete file is told by recording_changed.
    monitor_record_stop(*windows.live);
}

void recording_changed(void *, RecordingChange change) {
    HWND main = windows.main;
    show_session_state(main);
    const std::string reason = monitor_recording_error(*windows.live);
    // The state is shown before a box runs its own message loop.
    if (change == RECORDING_FAILED) {
        MessageBoxA(main, (reason + ".\nMonitoring goes on.").c_str(), ABOUT_CAPTION, MB_ICONERROR | MB_OK);
    } else if (change == RECORDING_INCOMPLETE) {
        MessageBoxA(main, (reason + "\nThe file ends with what was written before.").c_str(), ABOUT_CAPTION,
                    MB_ICONERROR | MB_OK);
    }
}

void open_session(HWND main) {
    char chosen[MAX_PATH] = "";
    const std::string folder = current_folder();
    OPENFILENAMEA dialog = file_dialog(main, chosen, sizeof chosen, folder,
                                       "Sessions (*.trace.gz, *.trace)\0*.trace.gz;*.trace\0"
                                       "All files (*.*)\0*.*\0",
                                       OPEN_TITLE, OFN_FILEMUSTEXIST);
    if (!GetOpenFileNameA(&dialog)) {
        return;  // cancelled
    }
    open_session_file(main, chosen);
}

// The opened session's stores were emptied for a replay from its start.
static void replay_started(void *) { reset_lists(); }

void close_opened_session() {
    if (windows.main != nullptr) {
        KillTimer(windows.main, REPLAY_TIMER);
    }
    windows.monitor = windows.live;
    monitor_close_session(windows.opened);
    windows.opened = nullptr;
}

void show_opened_session(HWND main, MonitorSession *session) {
    // The live monitor goes on underneath.
    if (windows.opened != nullptr) {
        close_opened_session();
    }
    windows.opened = session;
    windows.monitor = session->monitor;
    // A replay starts the lists over; its driver-internal errors never stop it for a box.
    monitor_set_events(*session->monitor, {nullptr, nullptr, nullptr, nullptr, replay_started, nullptr});
    // The lists fill a budget at a time, on this call and the next ticks:
    // a big session never holds the window up.
    reset_lists();
    sync_lists();
    refresh_call_summary();
    show_session_state(main);
    show_status_bar();
    if (!session->warning.empty()) {
        MessageBoxA(main, session->warning.c_str(), ABOUT_CAPTION, MB_ICONWARNING | MB_OK);
    }
}
