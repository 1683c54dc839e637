// The File menu's sessions: Record Session... asks for a file with the
// common save dialog and records into it, Stop Recording completes it, Open
// Session... shows a recorded session in place of the live lists; the
// caption says what the window does (recording, with the file's size and
// time; an opened session's name) and the menu offers only what applies.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

#include "monitor/monitor.h"
#include "monitor/session_open.h"
#include "monitor/session_recording.h"
#include "calls/trace_calls.h"
#include "monitor/win32/win32_windows.h"
#include "monitor/window_tables.h"

// The dialogs' titles; message boxes go by the program's name.
static const char RECORD_TITLE[] = "Record Session";
static const char OPEN_TITLE[] = "Open Session";

// The caption's figures change once a second: once every ten main ticks.
constexpr unsigned CAPTION_TICKS = 1000 / TIMER_PERIOD_MS;

void show_session_state(HWND main) {
    char caption[MAX_PATH + 96];
    if (windows.recording != nullptr) {
        session_recording_caption(*windows.recording, caption, sizeof caption);
    } else {
        session_caption(windows.opened ? windows.opened_path.c_str() : nullptr, caption, sizeof caption);
    }
    char current[sizeof caption];
    GetWindowTextA(main, current, sizeof current);
    if (strcmp(current, caption) != 0) {
        SetWindowTextA(main, caption);
    }
    HMENU menu = GetMenu(main);
    const bool recording = windows.recording != nullptr;
    // One recording at a time, and only of a live monitor.
    EnableMenuItem(menu, IDM_RECORD_SESSION, MF_BYCOMMAND | (recording || windows.opened ? MF_GRAYED : MF_ENABLED));
    EnableMenuItem(menu, IDM_STOP_RECORDING, MF_BYCOMMAND | (recording ? MF_ENABLED : MF_GRAYED));
}

// The folder LineWatch runs in, where its capture files go: the dialogs
// start there.
static std::string current_folder() {
    char folder[MAX_PATH] = {};
    const DWORD length = GetCurrentDirectoryA(sizeof folder, folder);
    return length > 0 && length < sizeof folder ? std::string(folder, length) : std::string();
}

// The common file dialog's settings for a session file: `chosen` holds the
// proposed name and receives the chosen one. The current directory stays
// where it is, since capture files go there.
static OPENFILENAMEA file_dialog(HWND main, char *chosen, DWORD size, const std::string &folder,
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
    if (windows.recording != nullptr || windows.opened) {
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
    WindowRecording *recording = new WindowRecording;
    if (!session_recording_start(*windows.monitor, *recording, path)) {
        const std::string text = std::string(recording->writer.error()) + "\nNothing is recorded.";
        delete recording;
        MessageBoxA(main, text.c_str(), ABOUT_CAPTION, MB_ICONERROR | MB_OK);
        return;
    }
    windows.recording = recording;
    show_session_state(main);
}

// Takes the recording from the window before anything that runs a message
// loop: the ticks under a message box see no recording.
static WindowRecording *take_recording(HWND main) {
    WindowRecording *recording = windows.recording;
    windows.recording = nullptr;
    show_session_state(main);
    return recording;
}

void stop_recording(HWND main) {
    WindowRecording *recording = windows.recording;
    if (recording == nullptr) {
        return;
    }
    take_recording(main);
    const bool complete = session_recording_stop(*windows.monitor, *recording);
    const std::string text = std::string(recording->writer.error()) + "\nThe file ends with what was written before.";
    delete recording;
    if (!complete) {
        MessageBoxA(main, text.c_str(), ABOUT_CAPTION, MB_ICONERROR | MB_OK);
    }
}

void recording_tick(HWND main) {
    static_assert(CAPTION_TICKS > 0);
    WindowRecording *recording = windows.recording;
    if (recording == nullptr) {
        return;
    }
    if (session_recording_failed(*windows.monitor, *recording)) {
        take_recording(main);
        const std::string text = std::string(recording->writer.error()) + ".\nMonitoring goes on.";
        delete recording;
        MessageBoxA(main, text.c_str(), ABOUT_CAPTION, MB_ICONERROR | MB_OK);
        return;
    }
    if (++windows.caption_ticks >= CAPTION_TICKS) {
        windows.caption_ticks = 0;
        show_session_state(main);
    }
}

void end_recording() {
    if (WindowRecording *recording = windows.recording) {
        windows.recording = nullptr;
        session_recording_stop(*windows.monitor, *recording);
        delete recording;
    }
}

// Each modem's last eye points of the session, for the eye displays; none
// draws a black display.
static void keep_last_eyes(const OpenedSession &session) {
    for (int m = 0; m < 2; ++m) {
        const std::vector<EyePoint> *points = opened_session_last_eye(session, m + 1);
        const size_t count = points != nullptr ? std::min<size_t>(points->size(), EYE_POINTS_WANTED) : 0;
        if (count > 0) {
            // The newest points when a directive holds more than a tick's.
            std::memcpy(windows.opened_eye[m], points->data() + (points->size() - count), count * sizeof(EyePoint));
        }
        windows.opened_eye_count[m] = static_cast<int>(count);
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

void open_session_file(HWND main, const char *chosen) {
    // Read whole before anything changes: a file that is not a session
    // leaves the window as it was, live or showing another file.
    HCURSOR previous_cursor = SetCursor(LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_WAIT)));
    std::unique_ptr<OpenedSession> session(new OpenedSession);
    std::string error, warning;
    const bool read = opened_session_read(chosen, *session, error, warning);
    SetCursor(previous_cursor);
    if (!read) {
        MessageBoxA(main, error.c_str(), ABOUT_CAPTION, MB_ICONERROR | MB_OK);
        return;
    }
    // Live monitoring ends here as a close ends it: a recording completed,
    // both captures stopped. The ticks then do nothing, and the lists show
    // the file.
    if (!windows.opened) {
        end_recording();
        monitor_close(*windows.monitor);
    }
    windows.opened = true;
    windows.opened_path = chosen;
    SetCursor(LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_WAIT)));
    monitor_show_session(*windows.monitor, *session);
    windows.opened_calls.clear();
    // Their times since the session's start, and on the wall clock when
    // the session says when it started.
    trace_calls(session->trace, windows.opened_calls, session->start_us > 0 ? session->start_us : -1);
    keep_last_eyes(*session);
    session.reset();
    reset_lists();
    sync_lists(0);
    SetCursor(previous_cursor);
    windows.calls_shown.clear();
    refresh_call_summary();
    show_session_state(main);
    if (!warning.empty()) {
        MessageBoxA(main, warning.c_str(), ABOUT_CAPTION, MB_ICONWARNING | MB_OK);
    }
}
