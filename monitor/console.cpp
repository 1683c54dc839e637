// The console monitor: ticks, output and shutdown.
#include "monitor/console.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <string>

#include "decoder/status.h"
#include "driverlink/device.h"
#include "driverlink/platform.h"
#include "formatting/escape.h"
#include "driverlink/driver_source.h"
#include "calls/call_watch.h"
#include "monitor/console_output.h"
#include "monitor/monitor.h"
#include "monitor/session_open.h"
#include "monitor/session_recording.h"
#include "monitor/window_tables.h"
#include "process/stop_signals.h"
#include "trace/trace.h"

FILE *console_out = nullptr;
FILE *console_err = nullptr;
uint64_t console_tick_limit = 0;

static volatile std::sig_atomic_t stop_requested = 0;

void console_request_stop() { stop_requested = 1; }

static void on_stop_signal(int) { stop_requested = 1; }

static const char CONSOLE_USAGE[] =
    "Usage: LineWatch --console [--escape] [--record FILE [--eye-every N]] [--calls FILE] [device]\n"
    "       LineWatch --console [--escape] --open FILE\n"
    "Monitors the Tarvel driver without a window: every status line goes to\n"
    "standard output as \"1: line\" or \"2: line\", every driver-internal error\n"
    "to standard error as \"0: line\". Capture files are written as in the window.\n"
    "SIGINT, SIGTERM, SIGHUP or any other signal that would end it stop it:\n"
    "captures closed, recording flag cleared.\n"
    "\n"
    "  --escape   one output line per status line: backslash, TAB, line feed,\n"
    "             carriage return and other control bytes escaped\n"
    "  --record FILE  records the session into FILE (compressed when FILE ends\n"
    "             in .gz): every record, the driver memory it read, the eye points\n"
    "  --eye-every N  records the eye points of one tick in N (0: none; default 1)\n"
    "  --calls FILE   appends each call's summary to FILE as one JSON line when\n"
    "                 the call ends (and at the end for a call still running)\n"
    "  --open FILE    prints the lines of a recorded session (or any trace) as the\n"
    "             console showed them, and exits\n"
    "  device     the driver device \\\\.\\device (at most 75 characters)\n";

struct ConsoleSink {
    ConsoleOutput out;
    ConsoleOutput err;
    bool escape;
    bool output_failed;
    StopDeadline deadline;  // shared by both outputs
    uint64_t lines_lost;    // lines not written (whole) for want of time after a stop
    Monitor *monitor;       // the live monitor, whose events come here
    bool recording_failed;
};

// "N: " and the line (escaped or as it is) and a newline, written at once,
// line by line so that a pipe sees each line as it is decoded.
static OutputResult put_line(ConsoleSink *sink, const ConsoleOutput &output, int modem,
                             const char *line) {
    char text[8 + 4 * STATUS_LINE_BYTES];
    size_t length = std::snprintf(text, sizeof text, "%d: ", modem);
    if (sink->escape) {
        length += escape_line(line, text + length, sizeof text - length);
    } else {
        const size_t line_length = strnlen(line, STATUS_LINE_BYTES - 1);
        std::memcpy(text + length, line, line_length);
        length += line_length;
        text[length++] = '\n';
    }
    const OutputResult result = console_output_write(output, text, length, stop_requested, &sink->deadline);
    if (result == OUTPUT_LOST) {
        ++sink->lines_lost;
    }
    return result;
}

static void console_add_line(void *context, int modem, const char *line) {
    ConsoleSink *sink = static_cast<ConsoleSink *>(context);
    if (put_line(sink, sink->out, modem, line) == OUTPUT_FAILED) {
        sink->output_failed = true;
    }
}

static void console_warning(void *context, const char *line) {
    ConsoleSink *sink = static_cast<ConsoleSink *>(context);
    put_line(sink, sink->err, 0, line);
}

// A message on standard error once the run is over. Standard error may be
// stalled too: it waits at most the grace of a stop, then the message goes
// the way of the lost lines.
static void report_after_run(FILE *err, const char *text) {
    const volatile std::sig_atomic_t finished = 1;
    ConsoleOutput report = console_output_open(err);
    StopDeadline deadline{0};
    console_output_write(report, text, std::strlen(text), finished, &deadline);
    console_output_close(&report);
}

// A message of the console itself on standard error, in order with the
// "0: " lines.
static void put_message(ConsoleSink *sink, const char *text) {
    console_output_write(sink->err, text, std::strlen(text), stop_requested, &sink->deadline);
}

// A line of an opened session: modem 0's to standard error, the others to
// standard output, as the live console wrote them.
static bool print_opened_line(void *context, int modem, const char *line) {
    ConsoleSink *sink = static_cast<ConsoleSink *>(context);
    if (modem == 0) {
        put_line(sink, sink->err, 0, line);
    } else if (put_line(sink, sink->out, modem, line) == OUTPUT_FAILED) {
        sink->output_failed = true;
    }
    return !stop_requested && !sink->output_failed;
}

// The end of a run: streams closed and the status the run ended with.
static int finish_run(ConsoleSink &sink, FILE *err, bool recording_failed) {
    console_output_close(&sink.out);
    console_output_close(&sink.err);
    if (sink.output_failed) {
        report_after_run(err, "LineWatch: standard output could not be written; stopped\n");
        return 1;
    }
    if (sink.lines_lost != 0) {
        char text[160];
        std::snprintf(text, sizeof text, "LineWatch: stopped; %llu lines could not be written in time and are lost\n",
                      static_cast<unsigned long long>(sink.lines_lost));
        report_after_run(err, text);
        return 1;
    }
    return recording_failed ? 1 : 0;
}

// --open: the lines of a session file, then the end.
static int open_session(const char *path, ConsoleSink &sink, FILE *err) {
    MonitorSession *session = nullptr;
    std::string error;
    const SessionOpenResult result = monitor_open_session(path, &session, error);
    if (result != SESSION_OPENED) {
        console_output_close(&sink.out);
        console_output_close(&sink.err);
        if (result == SESSION_NO_MEMORY) {
            fprintf(err, "LineWatch: %s\n", error.c_str());
            return 1;
        }
        // The reader's own message, where the reader says it, then ours.
        fprintf(stderr, "%s\n", error.c_str());
        fprintf(err, "LineWatch: %s cannot be opened as a session\n", path);
        return 2;
    }
    if (!session->warning.empty()) {
        fprintf(stderr, "%s\n", session->warning.c_str());
    }
    monitor_session_each_line(*session, print_opened_line, &sink);
    monitor_close_session(session);
    return finish_run(sink, err, false);
}

// Why a recording stopped, on standard error; monitoring goes on.
static void console_recording_changed(void *context, RecordingChange change) {
    ConsoleSink *sink = static_cast<ConsoleSink *>(context);
    if (change != RECORDING_FAILED && change != RECORDING_INCOMPLETE) {
        return;
    }
    sink->recording_failed = true;
    char text[600];
    std::snprintf(text, sizeof text, change == RECORDING_FAILED ? "LineWatch: %s; monitoring goes on\n"
                                                                : "LineWatch: %s; the recording is incomplete\n",
                  monitor_recording_error(*sink->monitor));
    put_message(sink, text);
}

// The same file named twice: by the same name, or by two names of one
// existing file.
static bool same_file(const char *first, const char *second) {
    return std::strcmp(first, second) == 0 || platform_same_file(first, second);
}

int run_console(DriverSource &source, int argc, char **argv) {
    FILE *out = console_out != nullptr ? console_out : stdout;
    FILE *err = console_err != nullptr ? console_err : stderr;
    bool escape = false;
    const char *argument = nullptr;
    const char *record_path = nullptr;
    const char *open_path = nullptr;
    const char *calls_path = nullptr;
    uint32_t eye_every = 1;
    bool eye_every_given = false;
    bool options_done = false;
    for (int i = 1; i < argc; ++i) {
        const char *arg = argv[i];
        if (!options_done && std::strcmp(arg, "--") == 0) {
            options_done = true;
        } else if (!options_done && std::strcmp(arg, "--console") == 0) {
        } else if (!options_done && std::strcmp(arg, "--escape") == 0) {
            escape = true;
        } else if (!options_done && (std::strcmp(arg, "--record") == 0 || std::strcmp(arg, "--open") == 0 ||
                                     std::strcmp(arg, "--eye-every") == 0 || std::strcmp(arg, "--calls") == 0)) {
            if (i + 1 >= argc || argv[i + 1][0] == '\0') {
                fprintf(err, "LineWatch: %s needs a value\n%s", arg, CONSOLE_USAGE);
                return 2;
            }
            const char *value = argv[++i];
            if (arg[2] == 'c') {
                calls_path = value;
            } else if (arg[2] == 'r') {
                record_path = value;
            } else if (arg[2] == 'o') {
                open_path = value;
            } else if (!parse_count(value, &eye_every)) {
                fprintf(err, "LineWatch: --eye-every takes a count, not %s\n", value);
                return 2;
            } else {
                eye_every_given = true;
            }
        } else if (!options_done && (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0)) {
            fputs(CONSOLE_USAGE, out);
            if (fflush(out) != 0 || ferror(out)) {
                fprintf(err, "LineWatch: standard output could not be written\n");
                return 1;
            }
            return 0;
        } else if (!options_done && arg[0] == '-' && arg[1] != '\0') {
            fprintf(err, "LineWatch: unknown option %s\n%s", arg, CONSOLE_USAGE);
            return 2;
        } else if (argument == nullptr) {
            argument = arg;
        } else {
            fprintf(err, "LineWatch: more than one device given\n");
            return 2;
        }
    }
    if (open_path != nullptr && (record_path != nullptr || calls_path != nullptr || argument != nullptr)) {
        fprintf(err, "LineWatch: --open takes neither --record, --calls nor a device\n");
        return 2;
    }
    if (eye_every_given && record_path == nullptr) {
        fprintf(err, "LineWatch: --eye-every goes with --record\n");
        return 2;
    }
    if (record_path != nullptr && calls_path != nullptr && same_file(record_path, calls_path)) {
        fprintf(err, "LineWatch: --record and --calls name the same file %s\n", calls_path);
        return 2;
    }

    stop_requested = 0;
    // Every signal that would end the process stops it instead, and none
    // restarts a blocked call. A closed standard output is an output error,
    // and a file-size limit a failed capture write, not the end of the
    // process: the captures must still be closed and the flag cleared.
    StopSignalRoute signals;
    signals.install(on_stop_signal, false);
    ConsoleSink sink{console_output_open(out), console_output_open(err), escape, false, {0}, 0, nullptr, false};
    if (open_path != nullptr) {
        const int status = open_session(open_path, sink, err);
        signals.restore();
        return status;
    }

    Monitor *monitor = monitor_new(source);
    if (monitor == nullptr || !monitor_start(*monitor, argument)) {
        if (monitor == nullptr) {
            fprintf(err, "LineWatch: not enough memory to start\n");
        } else {
            fprintf(err, "LineWatch: device name too long: at most %d characters\n",
                    static_cast<int>(DEVICE_ARGUMENT_MAX));
        }
        monitor_delete(monitor);
        signals.restore();
        console_output_close(&sink.out);
        console_output_close(&sink.err);
        return 2;
    }
    // The calls file is appended to: the summaries of earlier runs stay.
    FILE *calls_file = nullptr;
    if (calls_path != nullptr) {
        calls_file = std::fopen(calls_path, "a");
        if (calls_file == nullptr) {
            fprintf(err, "LineWatch: %s: %s\n", calls_path, std::strerror(errno));
            monitor_delete(monitor);
            signals.restore();
            console_output_close(&sink.out);
            console_output_close(&sink.err);
            return 2;
        }
        // Each summary written as its call ends.
        monitor_calls_to(*monitor, {calls_file, call_json_line_sink});
    }
    sink.monitor = monitor;
    monitor_set_events(*monitor, {&sink, console_add_line, console_warning, console_recording_changed, nullptr,
                                  nullptr});

    // The session file, when one is asked for. A file that cannot be
    // written stops the recording, never the monitoring.
    if (record_path != nullptr && !monitor_record_start(*monitor, record_path, eye_every)) {
        sink.recording_failed = true;
        char text[600];
        std::snprintf(text, sizeof text, "LineWatch: %s; monitoring goes on\n", monitor_recording_error(*monitor));
        put_message(&sink, text);
    }

    using Clock = std::chrono::steady_clock;
    uint64_t ticks = 0;
    while (!stop_requested && !sink.output_failed) {
        const Clock::time_point started = Clock::now();
        // No window to keep answering: each status tick drains all there is.
        monitor_round(*monitor, 0);
        ++ticks;
        if (console_tick_limit != 0 && ticks >= console_tick_limit) {
            break;
        }
        const auto spent = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started);
        if (!stop_requested && spent.count() < TIMER_PERIOD_MS) {
            source.sleep(TIMER_PERIOD_MS - static_cast<unsigned>(spent.count()));
        }
    }
    monitor_record_stop(*monitor);
    bool calls_failed = false;
    if (calls_file != nullptr) {
        monitor_finish_calls(*monitor);  // a call still running is written too
        if (std::fflush(calls_file) != 0 || std::ferror(calls_file)) {
            calls_failed = true;
            char text[600];
            std::snprintf(text, sizeof text, "LineWatch: %s: the call summaries could not be written\n", calls_path);
            put_message(&sink, text);
        }
        std::fclose(calls_file);
    }
    monitor_delete(monitor);  // captures stopped, flag cleared

    signals.restore();
    return finish_run(sink, err, sink.recording_failed || calls_failed);
}

int run_console(int argc, char **argv) {
    PlatformDriverSource source;
    return run_console(source, argc, argv);
}
