// Stop signals of the window.
#include "monitor/qt/stop_signals.h"

#include <QSocketNotifier>
#include <QWidget>

#include <csignal>

#include <fcntl.h>
#include <unistd.h>

namespace {

int stop_pipe[2] = {-1, -1};
QSocketNotifier *notifier = nullptr;

struct SavedHandler {
    int number;
    struct sigaction previous;
};
SavedHandler saved[] = {{SIGINT, {}}, {SIGTERM, {}}, {SIGHUP, {}}};

void on_stop_signal(int) {
    // Only async-signal-safe work here: one byte into the pipe.
    const char byte = 1;
    const ssize_t written = write(stop_pipe[1], &byte, 1);
    (void)written;
}

}  // namespace

bool window_stop_signals_install(QWidget *window) {
    if (stop_pipe[0] >= 0 || pipe2(stop_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        return false;
    }
    notifier = new QSocketNotifier(stop_pipe[0], QSocketNotifier::Read, window);
    QObject::connect(notifier, &QSocketNotifier::activated, window, [window] {
        char bytes[16];
        while (read(stop_pipe[0], bytes, sizeof bytes) > 0) {
        }
        window->close();
    });
    for (SavedHandler &s : saved) {
        struct sigaction action {};
        action.sa_handler = on_stop_signal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        sigaction(s.number, &action, &s.previous);
    }
    return true;
}

void window_stop_signals_remove() {
    if (stop_pipe[0] < 0) {
        return;
    }
    for (SavedHandler &s : saved) {
        sigaction(s.number, &s.previous, nullptr);
    }
    delete notifier;
    notifier = nullptr;
    close(stop_pipe[0]);
    close(stop_pipe[1]);
    stop_pipe[0] = stop_pipe[1] = -1;
}
