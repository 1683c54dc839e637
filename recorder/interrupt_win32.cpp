// Interrupts on Windows: a console control handler for Ctrl+C, Ctrl+Break
// and the closing of the console (and logoff or shutdown).
//
// The handler runs on a thread of its own. For Ctrl+C and Ctrl+Break it only
// asks the recorder to finish. When the console is closing, the process ends
// as soon as the handler returns, so the handler waits until the recorder
// has cleared the flag and closed its files (release_interrupts), a little
// less than the time Windows grants a closing console.
#include <windows.h>

#include "recorder/interrupt.h"
#include "recorder/recorder.h"

namespace {

constexpr DWORD CLOSE_WAIT_MS = 4500;

HANDLE finished = nullptr;  // set once recording has ended

BOOL WINAPI on_console_event(DWORD event) {
    return recorder_console_event(event);
}

}  // namespace

int recorder_console_event(unsigned long event) {
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
        recorder_interrupt();
        return TRUE;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        recorder_interrupt();
        if (finished != nullptr) {
            WaitForSingleObject(finished, CLOSE_WAIT_MS);
        }
        return TRUE;
    default:
        return FALSE;
    }
}

void catch_interrupts() {
    if (finished == nullptr) {
        finished = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    } else {
        ResetEvent(finished);
    }
    SetConsoleCtrlHandler(on_console_event, TRUE);
}

void release_interrupts() {
    if (finished != nullptr) {
        SetEvent(finished);
    }
    SetConsoleCtrlHandler(on_console_event, FALSE);
}
