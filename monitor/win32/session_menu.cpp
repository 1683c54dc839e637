// The File menu's sessions: Record Session... asks for a file with the
// common save dialog and records into it, Stop Recording completes it; the
// caption says what the window does (recording, with the file's size and
// time; an opened session's name) and the menu offers only what applies.
#include <windows.h>

#include <string>

#include "monitor/monitor.h"
#include "monitor/session_recording.h"
#include "monitor/win32/win32_windows.h"
#include "monitor/window_tables.h"

static const char RECORD_TITLE[] = "Record Session";

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

void record_session(HWND main) {
    if (windows.recording != nullptr || windows.opened) {
        return;
    }
    char chosen[MAX_PATH] = "session.trace.gz";
    const std::string folder = current_folder();
    OPENFILENAMEA dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = main;
    dialog.lpstrFilter = "Compressed sessions (*.trace.gz)\0*.trace.gz\0"
                         "Sessions (*.trace)\0*.trace\0"
                         "All files (*.*)\0*.*\0";
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = chosen;
    dialog.nMaxFile = sizeof chosen;
    dialog.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
    dialog.lpstrTitle = RECORD_TITLE;
    // The current directory stays where it is: capture files go there.
    dialog.Flags = OFN_EXPLORER | OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
    if (!GetSaveFileNameA(&dialog)) {
        return;  // cancelled
    }
    char path[MAX_PATH + 16];
    if (!session_file_name(chosen, dialog.nFilterIndex != 2, path, sizeof path)) {
        MessageBoxA(main, "The file name is too long.", RECORD_TITLE, MB_ICONERROR | MB_OK);
        return;
    }
    // The dialog asked about the name as typed; a name that gained its
    // extension is asked about here.
    if (strcmp(path, chosen) != 0 && GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES) {
        const std::string question = std::string(path) + " already exists.\nDo you want to replace it?";
        if (MessageBoxA(main, question.c_str(), RECORD_TITLE, MB_ICONWARNING | MB_YESNO) != IDYES) {
            return;
        }
    }
    SessionRecording *recording = new SessionRecording;
    if (!session_recording_start(*windows.monitor, *recording, path)) {
        const std::string text = std::string(recording->writer.error()) + "\nNothing is recorded.";
        delete recording;
        MessageBoxA(main, text.c_str(), RECORD_TITLE, MB_ICONERROR | MB_OK);
        return;
    }
    windows.recording = recording;
    show_session_state(main);
}

// Takes the recording from the window before anything that runs a message
// loop: the ticks under a message box see no recording.
static SessionRecording *take_recording(HWND main) {
    SessionRecording *recording = windows.recording;
    windows.recording = nullptr;
    show_session_state(main);
    return recording;
}

void stop_recording(HWND main) {
    SessionRecording *recording = windows.recording;
    if (recording == nullptr) {
        return;
    }
    take_recording(main);
    const bool complete = session_recording_stop(*windows.monitor, *recording);
    const std::string text = std::string(recording->writer.error()) + "\nThe file ends with what was written before.";
    delete recording;
    if (!complete) {
        MessageBoxA(main, text.c_str(), RECORD_TITLE, MB_ICONERROR | MB_OK);
    }
}

void recording_tick(HWND main) {
    static_assert(CAPTION_TICKS > 0);
    SessionRecording *recording = windows.recording;
    if (recording == nullptr) {
        return;
    }
    if (session_recording_failed(*windows.monitor, *recording)) {
        take_recording(main);
        const std::string text = std::string(recording->writer.error()) + ".\nMonitoring goes on.";
        delete recording;
        MessageBoxA(main, text.c_str(), RECORD_TITLE, MB_ICONERROR | MB_OK);
        return;
    }
    if (++windows.caption_ticks >= CAPTION_TICKS) {
        windows.caption_ticks = 0;
        show_session_state(main);
    }
}

void end_recording() {
    if (SessionRecording *recording = windows.recording) {
        windows.recording = nullptr;
        session_recording_stop(*windows.monitor, *recording);
        delete recording;
    }
}
