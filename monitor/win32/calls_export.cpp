// Export List... and Export Call...: the common save dialog, the core's CSV
// or JSON of the listed calls or of the selected one, and an atomic save (a
// temporary file beside the chosen one, written whole and flushed, then
// moved over it), so that a failed save never leaves half a file and an
// older file stays as it was. A name that gains its extension here is
// asked about before it is replaced, as the dialog asks about the name typed.
#include <windows.h>

#include <cstdio>
#include <string>

#include "calls/call_export.h"
#include "monitor/window_tables.h"
#include "monitor/win32/calls_view.h"
#include "monitor/win32/win32_windows.h"

namespace {

const char FILTERS[] = "CSV (*.csv)\0*.csv\0JSON (*.json)\0*.json\0";

// The reason of the last Win32 error, as the system words it.
std::string last_error_text() {
    const DWORD code = GetLastError();
    char text[256] = {};
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                                        text, sizeof text, nullptr);
    std::string reason = length > 0 ? std::string(text, length) : "error " + std::to_string(code);
    while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r' || reason.back() == ' ')) reason.pop_back();
    return reason;
}

// Writes bytes to path through a temporary file beside it. False with the reason.
bool save_atomically(const char *path, const std::string &bytes, std::string &reason) {
    const std::string temporary = std::string(path) + ".part";
    HANDLE file = CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        reason = last_error_text();
        return false;
    }
    bool good = true;
    size_t done = 0;
    while (good && done < bytes.size()) {
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1 << 20));
        DWORD written = 0;
        good = WriteFile(file, bytes.data() + done, chunk, &written, nullptr) && written == chunk;
        done += written;
    }
    good = good && FlushFileBuffers(file);
    if (!good) reason = last_error_text();
    CloseHandle(file);
    if (good && !MoveFileExA(temporary.c_str(), path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        reason = last_error_text();
        good = false;
    }
    if (!good) DeleteFileA(temporary.c_str());
    return good;
}

// Asks for a file; the path actually written and its format. False when cancelled.
bool choose_file(HWND owner, const char *title, const char *proposed, char *path, size_t size, CallsFileFormat *format) {
    char chosen[MAX_PATH] = {};
    snprintf(chosen, sizeof chosen, "%s", proposed);
    const std::string here;  // the dialog's own choice of folder
    OPENFILENAMEA dialog = file_dialog(owner, chosen, sizeof chosen, here, FILTERS, title, OFN_OVERWRITEPROMPT);
    if (!GetSaveFileNameA(&dialog)) return false;
    if (!calls_export_name(chosen, dialog.nFilterIndex == 2, path, size, format)) {
        MessageBoxA(owner, "The file name is too long.", ABOUT_CAPTION, MB_ICONERROR | MB_OK);
        return false;
    }
    // The dialog asked about the name as typed; one that gained its
    // extension is asked about here.
    if (strcmp(path, chosen) != 0 && GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES) {
        const std::string question = std::string(path) + " already exists.\nDo you want to replace it?";
        if (MessageBoxA(owner, question.c_str(), ABOUT_CAPTION, MB_ICONWARNING | MB_YESNO) != IDYES) return false;
    }
    return true;
}

void save_or_say(HWND owner, const char *title, const char *path, const std::string &bytes) {
    std::string reason;
    if (!save_atomically(path, bytes, reason)) {
        const std::string text = "Could not save " + std::string(path) + ":\n" + reason;
        MessageBoxA(owner, text.c_str(), title, MB_ICONERROR | MB_OK);
    }
}

}  // namespace

void calls_export_list(CallsView &view) {
    calls_list_sync(view);
    char path[MAX_PATH + 8];
    CallsFileFormat format;
    if (!choose_file(view.window, "Export Calls", "calls.csv", path, sizeof path, &format)) return;
    // The rows may have moved on while the dialog was open.
    calls_list_sync(view);
    std::string out;
    if (format == CALLS_FILE_JSON) {
        calls_list_json(view.rows, out);
    } else {
        calls_list_csv(view.rows, out);
    }
    save_or_say(view.window, "Export Calls", path, out);
}

void calls_export_call(CallsView &view) {
    const Call *selected[2];
    calls_selected(view, selected);
    if (selected[0] == nullptr) {
        MessageBoxA(view.window, "Select a call in the list first.", "Export Call", MB_ICONINFORMATION | MB_OK);
        return;
    }
    // A copy: the call may end or give way while the dialog is open.
    const Call call = *selected[0];
    char proposed[64];
    snprintf(proposed, sizeof proposed, "modem%d-call%u.csv", call.modem, call.number);
    char path[MAX_PATH + 8];
    CallsFileFormat format;
    if (!choose_file(view.window, "Export Call", proposed, path, sizeof path, &format)) return;
    std::string out;
    if (format == CALLS_FILE_JSON) {
        call_json(call, true, out);
    } else {
        call_detail_csv(call, out);
    }
    save_or_say(view.window, "Export Call", path, out);
}
