// Opening a session off the GUI thread: the core's open runs on a thread of
// its own while a small modal window shows how much of the file has been
// read and offers Cancel. The main window stays disabled but keeps running
// its timers, so the live monitor goes on; the thread posts OPEN_DONE_MESSAGE
// to the main window when it is over, and only the GUI thread frees what it
// read. A session that does not fit in memory is a message, nothing else.
#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <string>

#include "monitor/monitor.h"
#include "monitor/session_open.h"
#include "monitor/win32/win32_windows.h"
#include "monitor/window_tables.h"

const char PROGRESS_CLASS_NAME[] = "LineWatchOpenProgress";
static const char PROGRESS_CAPTION[] = "Open Session";

// The progress bar's range: thousandths of the file.
constexpr int PROGRESS_RANGE = 1000;
// A file read faster than this opens without the window ever showing.
constexpr unsigned PROGRESS_SHOW_AFTER_MS = 400;
constexpr int PROGRESS_BAR_ID = 1;
constexpr int PROGRESS_TEXT_ID = 3;  // IDCANCEL is 2

struct OpenJob {
    std::string path;
    HWND main = nullptr;
    HWND window = nullptr;  // the progress window, null once it is gone
    HWND bar = nullptr;
    HANDLE thread = nullptr;
    ULONGLONG started_ms = 0;
    std::atomic<bool> cancel{false};
    std::atomic<int> permille{0};
    // Written by the thread before it posts OPEN_DONE_MESSAGE.
    SessionOpenResult result = SESSION_UNREADABLE;
    MonitorSession *session = nullptr;
    std::string error;
};

static void read_progress(void *context, uint64_t bytes_read, uint64_t file_bytes) {
    if (file_bytes > 0) {
        const uint64_t permille = bytes_read >= file_bytes ? PROGRESS_RANGE : bytes_read * PROGRESS_RANGE / file_bytes;
        static_cast<OpenJob *>(context)->permille = static_cast<int>(permille);
    }
}

static DWORD WINAPI read_session(void *parameter) {
    OpenJob *job = static_cast<OpenJob *>(parameter);
    SessionOpenControl control;
    control.context = job;
    control.progress = read_progress;
    control.cancel = &job->cancel;
    job->result = monitor_open_session(job->path.c_str(), &job->session, job->error, control);
    PostMessageA(job->main, OPEN_DONE_MESSAGE, 0, reinterpret_cast<LPARAM>(job));
    return 0;
}

// The progress window gives the main window back.
static void end_progress(OpenJob &job) {
    if (job.window != nullptr) {
        EnableWindow(job.main, TRUE);
        HWND window = job.window;
        job.window = nullptr;
        DestroyWindow(window);
    }
}

static void cancel_open(OpenJob &job) {
    job.cancel = true;  // the read stops at its next directive and posts its end
    end_progress(job);
}

// The size of the window's client area in pixels of its monitor.
static int scaled(HWND window, int pixels) { return MulDiv(pixels, window_dpi(window), 96); }

static void lay_out_progress(HWND window) {
    RECT client;
    GetClientRect(window, &client);
    const int margin = scaled(window, 12);
    const int row = scaled(window, 24);
    const int button_width = scaled(window, 88);
    HWND text = GetDlgItem(window, PROGRESS_TEXT_ID);
    HWND bar = GetDlgItem(window, PROGRESS_BAR_ID);
    HWND cancel = GetDlgItem(window, IDCANCEL);
    MoveWindow(text, margin, margin, client.right - 2 * margin, row, TRUE);
    MoveWindow(bar, margin, margin + row + margin / 2, client.right - 2 * margin, scaled(window, 18), TRUE);
    MoveWindow(cancel, client.right - margin - button_width, client.bottom - margin - row, button_width, row, TRUE);
}

LRESULT CALLBACK open_progress_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    OpenJob *job = reinterpret_cast<OpenJob *>(GetWindowLongPtrA(window, GWLP_USERDATA));
    switch (message) {
    case WM_CREATE: {
        const auto *create = reinterpret_cast<const CREATESTRUCTA *>(lparam);
        job = static_cast<OpenJob *>(create->lpCreateParams);
        SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(job));
        const char *name = job->path.c_str();
        for (const char *c = name; *c != '\0'; ++c) {
            if (*c == '\\' || *c == '/') name = c + 1;
        }
        const std::string text = std::string("Reading ") + name + "...";
        HFONT font = ui_font(window);
        HWND label = CreateWindowExA(0, "STATIC", text.c_str(), WS_CHILD | WS_VISIBLE | SS_LEFTNOWORDWRAP |
                                     SS_ENDELLIPSIS, 0, 0, 0, 0, window, reinterpret_cast<HMENU>(PROGRESS_TEXT_ID),
                                     create->hInstance, nullptr);
        job->bar = CreateWindowExA(0, PROGRESS_CLASSA, nullptr, WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, window,
                                   reinterpret_cast<HMENU>(PROGRESS_BAR_ID), create->hInstance, nullptr);
        SendMessageA(job->bar, PBM_SETRANGE32, 0, PROGRESS_RANGE);
        HWND cancel = CreateWindowExA(0, "BUTTON", "Cancel", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON,
                                      0, 0, 0, 0, window, reinterpret_cast<HMENU>(IDCANCEL), create->hInstance,
                                      nullptr);
        SendMessageA(label, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        SendMessageA(cancel, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        SetTimer(window, 1, TIMER_PERIOD_MS, nullptr);
        return 0;
    }
    case WM_SIZE:
        lay_out_progress(window);
        return 0;
    case WM_TIMER:
        if (job != nullptr) {
            SendMessageA(job->bar, PBM_SETPOS, static_cast<WPARAM>(job->permille.load()), 0);
            if (!IsWindowVisible(window) && GetTickCount64() - job->started_ms >= PROGRESS_SHOW_AFTER_MS) {
                ShowWindow(window, SW_SHOW);
            }
        }
        return 0;
    case WM_COMMAND:
        if (LOWORD(wparam) == IDCANCEL && job != nullptr) {
            cancel_open(*job);
        }
        return 0;
    case WM_CLOSE:
        if (job != nullptr) {
            cancel_open(*job);
        }
        return 0;
    case WM_DESTROY:
        KillTimer(window, 1);
        return 0;
    }
    return DefWindowProcA(window, message, wparam, lparam);
}

bool opening_session() { return windows.opening != nullptr; }

void open_session_file(HWND main, const char *path) {
    if (windows.opening != nullptr) {
        return;  // one open at a time
    }
    OpenJob *job = new (std::nothrow) OpenJob;
    if (job == nullptr) {
        MessageBoxA(main, "Not enough memory to open a session.", ABOUT_CAPTION, MB_ICONERROR | MB_OK);
        return;
    }
    job->path = path;
    job->main = main;
    job->started_ms = GetTickCount64();
    // Centred over the main window, a size for one line of text, the bar and the button.
    RECT owner;
    GetWindowRect(main, &owner);
    const int width = scaled(main, 420), height = scaled(main, 136);
    const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU;
    job->window = CreateWindowExA(WS_EX_DLGMODALFRAME, PROGRESS_CLASS_NAME, PROGRESS_CAPTION, style,
                                  (owner.left + owner.right - width) / 2, (owner.top + owner.bottom - height) / 2,
                                  width, height, main, nullptr, windows.instance, job);
    job->thread = job->window != nullptr ? CreateThread(nullptr, 0, read_session, job, CREATE_SUSPENDED, nullptr)
                                         : nullptr;
    if (job->thread == nullptr) {
        if (job->window != nullptr) DestroyWindow(job->window);
        delete job;
        MessageBoxA(main, "The session cannot be read: no thread to read it on.", ABOUT_CAPTION,
                    MB_ICONERROR | MB_OK);
        return;
    }
    // Below the GUI thread, which must keep answering while the file is read.
    SetThreadPriority(job->thread, THREAD_PRIORITY_BELOW_NORMAL);
    ResumeThread(job->thread);
    windows.opening = job;
    // Modal: the main window takes no input, but its timers go on.
    EnableWindow(main, FALSE);
}

void open_session_done(HWND main, LPARAM lparam) {
    OpenJob *job = reinterpret_cast<OpenJob *>(lparam);
    if (job == nullptr || job != windows.opening) {
        return;
    }
    WaitForSingleObject(job->thread, INFINITE);
    CloseHandle(job->thread);
    windows.opening = nullptr;
    const bool cancelled = job->cancel.load();
    end_progress(*job);
    SetForegroundWindow(main);
    if (job->result == SESSION_OPENED && !cancelled) {
        show_opened_session(main, job->session);
    } else {
        monitor_close_session(job->session);
        if (job->result == SESSION_NO_MEMORY) {
            const std::string text = job->error + ".\nThe live monitor goes on.";
            MessageBoxA(main, text.c_str(), ABOUT_CAPTION, MB_ICONERROR | MB_OK);
        } else if (job->result != SESSION_CANCELLED && !cancelled) {
            MessageBoxA(main, job->error.c_str(), ABOUT_CAPTION, MB_ICONERROR | MB_OK);
        }
    }
    delete job;
}

void end_open_session() {
    OpenJob *job = windows.opening;
    if (job == nullptr) {
        return;
    }
    job->cancel = true;
    end_progress(*job);
    WaitForSingleObject(job->thread, INFINITE);
    CloseHandle(job->thread);
    monitor_close_session(job->session);
    windows.opening = nullptr;
    delete job;
}
