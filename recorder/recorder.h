// The console session recorder: switches recording on, copies each active
// modem's session data into session.rec.1 and session.rec.2 until no modem is
// active any more, then switches recording off.
#pragma once

#include <cstdio>

// Where the three console messages go (standard output when null) and where
// errors go (standard error when null). Tests and benchmarks redirect them.
extern FILE *recorder_console;
extern FILE *recorder_errors;

// Console messages.
extern const char NOT_INSTALLED_TEXT[];  // "Tarvel driver not installed\n"
extern const char PORTS_OPENED_TEXT[];   // "Port(s) opened\n"
extern const char PORTS_CLOSED_TEXT[];   // "Port(s) closed\n"

// Capture files, modem 1 and modem 2.
extern const char *const RECORDING_FILE_NAMES[2];

// The whole program: `recorder [device]`. Returns 0, or 1 when another
// program holds the device's capture lock (then nothing is recorded and the
// flag is left alone) or when a console message could not be written
// (recording itself goes on). An interrupt (on POSIX hosts every signal that
// would end the process: SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGUSR1, ...; on
// Windows Ctrl+C, Ctrl+Break and closing the console) ends it the way the
// end of recording does (flag cleared, files closed with everything written
// so far); on POSIX hosts SIGPIPE and SIGXFSZ are ignored (output and write
// errors instead); the previous handlers are restored on return.
int run_recorder(int argc, char **argv);
// The same over a driver source chosen by the caller (run_recorder uses the
// platform's own driver).
class DriverSource;
int run_recorder(DriverSource &source, int argc, char **argv);

// Asks a running recorder to finish; safe from a signal handler and from a
// console control handler's thread.
void recorder_interrupt();
