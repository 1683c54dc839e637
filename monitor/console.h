// The monitor without a window: `LineWatch --console [--escape] [--record
// FILE [--eye-every N]] [device]`, or `--open FILE` to print the lines of a
// recorded session as the live console printed them.
// It runs the same core and the same five 100 ms ticks as the window. Each
// status line goes to standard output as "1: " or "2: " and the line;
// driver-internal errors go to standard error as "0: " and the line, every
// one of them. With --escape each line is escaped so that it takes exactly
// one output line. SIGINT, SIGTERM and SIGHUP shut it down the way closing
// the window does: both captures stopped, files complete, flag cleared.
// SIGPIPE and SIGXFSZ are ignored: a closed standard output and a file-size
// limit come back as output and write errors.
#pragma once

#include <cstdint>
#include <cstdio>

// Where status lines and driver-internal errors go (null: standard output
// and standard error). Tests redirect them.
extern FILE *console_out;
extern FILE *console_err;

// Tests: stop after this many ticks (0: run until a stop is asked for).
extern uint64_t console_tick_limit;

// The whole console mode; argv[0] is the program name and the options
// follow it (--console among them). Returns the exit status: 0 after a
// requested stop (or the end of an opened session), 1 when the output or
// the session being recorded could not be written, 2 for a bad command line
// or a file to open that is not a trace.
int run_console(int argc, char **argv);
// The same over a driver source chosen by the caller (run_console uses the
// platform's own driver).
class DriverSource;
int run_console(DriverSource &source, int argc, char **argv);

// Asks a running console monitor to shut down; safe from a signal handler.
void console_request_stop();
