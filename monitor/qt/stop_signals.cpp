// Stop signals of the window.
#include "monitor/qt/stop_signals.h"

#include <QSocketNotifier>
#include <QWidget>

#include <fcntl.h>
#include <unistd.h>

#include "process/stop_signals.h"

namespace {

int stop_pipe[2] = {-1, -1};
QSocketNotifier *notifier = nullptr;

StopSignalRoute route;

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
    // The event loop and Qt's own calls retry what a signal interrupts.
    route.install(on_stop_signal, true);
    return true;
}

void window_stop_signals_remove() {
    if (stop_pipe[0] < 0) {
        return;
    }
    route.restore();
    delete notifier;
    notifier = nullptr;
    close(stop_pipe[0]);
    close(stop_pipe[1]);
    stop_pipe[0] = stop_pipe[1] = -1;
}
