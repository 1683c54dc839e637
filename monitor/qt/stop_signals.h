// SIGINT, SIGTERM and SIGHUP close the main window, so that a monitor
// stopped from a terminal or a script shuts down the way the close button
// does it: both captures stopped, files complete, recording flag cleared.
#pragma once

class QWidget;

// Routes the three signals to a close of `window` (through a pipe that the
// event loop watches). False when the pipe cannot be made.
bool window_stop_signals_install(QWidget *window);
// Puts the previous handlers back and closes the pipe.
void window_stop_signals_remove();
