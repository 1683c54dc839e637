// The window's command line: `LineWatch [options] [device | FILE]`, with
// Qt's conventions (--help, --version) and one positional argument: a file
// that exists is a session to open (in a window of its own, with no live
// monitor), anything else the device name.
#pragma once

#include <QString>
#include <QStringList>

// What the command line asks for.
enum WindowCommand {
    WINDOW_RUN,    // open the window on *device (empty: the platform's default)
    WINDOW_OPEN,   // open the session in *session only
    WINDOW_PRINT,  // print *message on standard output and exit 0 (help, version)
    WINDOW_ERROR,  // print *message on standard error and exit 2
};

// Parses the arguments (the program name first, Qt's own options already
// removed). Needs a QCoreApplication for the help text.
// *reset_settings (when given) tells whether --reset-settings was asked for;
// *session (when given) receives the session file of WINDOW_OPEN, which
// without it is never returned.
WindowCommand parse_window_command_line(const QStringList &arguments, QString *device, QString *message,
                                        bool *reset_settings = nullptr, QString *session = nullptr);

// True when the raw arguments ask for help or the version, which needs no
// display.
bool window_wants_text_only(int argc, char **argv);
