// The console monitor: ticks, output and shutdown.
#include "monitor/console.h"

#include <chrono>
#include <csignal>
#include <cstring>

#include "decoder/status.h"
#include "driverlink/device.h"
#include "driverlink/platform.h"
#include "formatting/escape.h"
#include "driverlink/driver_source.h"
#include "monitor/console_output.h"
#include "monitor/monitor.h"
#include "monitor/window_tables.h"
#include "process/stop_signals.h"

FILE *console_out = nullptr;
FILE *console_err = nullptr;
uint64_t console_tick_limit = 0;

static volatile std::sig_atomic_t stop_requested = 0;

void console_request_stop() { stop_requested = 1; }

static void on_stop_signal(int) { stop_requested = 1; }

static const char CONSOLE_USAGE[] =
    "Usage: LineWatch --console [--escape] [device]\n"
    "Monitors the Tarvel driver without a window: every status line goes to\n"
    "standard output as \"1: line\" or \"2: line\", every driver-internal error\n"
    "to standard error as \"0: line\". Capture files are written as in the window.\n"
    "SIGINT, SIGTERM, SIGHUP or any other signal that would end it stop it:\n"
    "captures closed, recording flag cleared.\n"
    "\n"
    "  --escape   one output line per status line: backslash, TAB, line feed,\n"
    "             carriage return and other control bytes escaped\n"
    "  device     the driver device \\\\.\\device (at most 75 characters)\n";

struct ConsoleSink {
    ConsoleOutput out;
    ConsoleOutput err;
    bool escape;
    bool output_failed;
    StopDeadline deadline;  // shared by both outputs
    uint64_t lines_lost;    // lines not written (whole) for want of time after a stop
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

int run_console(DriverSource &source, int argc, char **argv) {
    FILE *out = console_out != nullptr ? console_out : stdout;
    FILE *err = console_err != nullptr ? console_err : stderr;
    bool escape = false;
    const char *argument = nullptr;
    bool options_done = false;
    for (int i = 1; i < argc; ++i) {
        const char *arg = argv[i];
        if (!options_done && std::strcmp(arg, "--") == 0) {
            options_done = true;
        } else if (!options_done && std::strcmp(arg, "--console") == 0) {
        } else if (!options_done && std::strcmp(arg, "--escape") == 0) {
            escape = true;
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
    Monitor *monitor = monitor_new(source);
    if (!monitor_start(*monitor, argument)) {
        fprintf(err, "LineWatch: device name too long: at most %d characters\n",
                static_cast<int>(DEVICE_ARGUMENT_MAX));
        monitor_delete(monitor);
        return 2;
    }

    stop_requested = 0;
    // Every signal that would end the process stops it instead, and none
    // restarts a blocked call. A closed standard output is an output error,
    // and a file-size limit a failed capture write, not the end of the
    // process: the captures must still be closed and the flag cleared.
    StopSignalRoute signals;
    signals.install(on_stop_signal, false);

    ConsoleSink sink{console_output_open(out), console_output_open(err), escape, false, {0}, 0};
    const MonitorSink monitor_sink{&sink, console_add_line, console_warning};
    using Clock = std::chrono::steady_clock;
    uint64_t ticks = 0;
    while (!stop_requested && !sink.output_failed) {
        const Clock::time_point started = Clock::now();
        // No window to keep answering: each status tick drains all there is.
        monitor_round(*monitor, monitor_sink, 0);
        ++ticks;
        if (console_tick_limit != 0 && ticks >= console_tick_limit) {
            break;
        }
        const auto spent = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started);
        if (!stop_requested && spent.count() < TIMER_PERIOD_MS) {
            source.sleep(TIMER_PERIOD_MS - static_cast<unsigned>(spent.count()));
        }
    }
    monitor_delete(monitor);  // captures stopped, flag cleared

    signals.restore();
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
    return 0;
}

int run_console(int argc, char **argv) {
    PlatformDriverSource source;
    return run_console(source, argc, argv);
}
