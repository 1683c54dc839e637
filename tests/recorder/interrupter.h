// Interrupting a recorder that runs in the test's own process: SIGINT or
// SIGTERM on POSIX hosts, the console events Ctrl+C and Ctrl+Break on
// Windows, sent again every few milliseconds so the recorder sees one
// whichever phase it is in when it arrives.
#pragma once

#include <atomic>
#include <chrono>
#include <csignal>
#include <thread>

#ifdef _WIN32
#include <windows.h>

#include "recorder/interrupt.h"
#else
#include <pthread.h>
#endif

// The two interrupts that the recorder must treat alike.
constexpr int FIRST_INTERRUPT = SIGINT;    // Ctrl+C on Windows
constexpr int SECOND_INTERRUPT = SIGTERM;  // Ctrl+Break on Windows

#ifdef _WIN32
inline BOOL WINAPI swallow_console_event(DWORD) { return TRUE; }

// Interrupts that reach the test outside the recorder must not end it.
inline void ignore_interrupts() { SetConsoleCtrlHandler(swallow_console_event, TRUE); }
inline void restore_interrupts() { SetConsoleCtrlHandler(swallow_console_event, FALSE); }

// Through the console when the test runs in one that delivers the event
// (Wine delivers Ctrl+C in a terminal, not Ctrl+Break); otherwise the
// handler is called from this thread, as Windows calls it from one of its own.
inline void send_interrupt(int which) {
    const DWORD event = which == SECOND_INTERRUPT ? CTRL_BREAK_EVENT : CTRL_C_EVENT;
    if (!GenerateConsoleCtrlEvent(event, 0)) {
        recorder_console_event(event);
    }
}
#else
inline void swallow_signal(int) {}

inline void ignore_interrupts() {
    std::signal(SIGINT, swallow_signal);
    std::signal(SIGTERM, swallow_signal);
}
inline void restore_interrupts() {
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
}
#endif

struct Interrupter {
    explicit Interrupter(int which) {
#ifndef _WIN32
        const pthread_t target = pthread_self();
#endif
        thread = std::thread([=, this] {
            while (!done) {
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
                if (!done) {
#ifdef _WIN32
                    send_interrupt(which);
#else
                    pthread_kill(target, which);
#endif
                }
            }
        });
    }
    ~Interrupter() {
        done = true;
        thread.join();
    }
    std::atomic<bool> done{false};
    std::thread thread;
};
