// SIGINT, SIGTERM, SIGHUP and every other signal that would end the process
// (SIGQUIT, SIGUSR1, SIGALRM, ...; see process/stop_signals.h) close the
// main window, so that a monitor stopped from a terminal or a script shuts
// down the way the close button does it: both captures stopped, files
// complete, recording flag cleared. SIGPIPE and SIGXFSZ are ignored: they
// come back as write errors.
#pragma once

class QWidget;

// Routes those signals to a close of `window` (through a pipe that the
// event loop watches). False when the pipe cannot be made.
bool window_stop_signals_install(QWidget *window);
// Puts the previous handlers back and closes the pipe.
void window_stop_signals_remove();
