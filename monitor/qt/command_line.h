// The window's command line: `LineWatch [options] [device]`, with Qt's
// conventions (--help, --version) and the device name as the one positional
// argument.
#pragma once

#include <QString>
#include <QStringList>

// What the command line asks for.
enum WindowCommand {
    WINDOW_RUN,    // open the window on *device (empty: the platform's default)
    WINDOW_PRINT,  // print *message on standard output and exit 0 (help, version)
    WINDOW_ERROR,  // print *message on standard error and exit 2
};

// Parses the arguments (the program name first, Qt's own options already
// removed). Needs a QCoreApplication for the help text.
// *reset_settings (when given) tells whether --reset-settings was asked for.
WindowCommand parse_window_command_line(const QStringList &arguments, QString *device, QString *message,
                                        bool *reset_settings = nullptr);

// True when the raw arguments ask for help or the version, which needs no
// display.
bool window_wants_text_only(int argc, char **argv);
