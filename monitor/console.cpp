// The console monitor: ticks, output and shutdown.
#include "monitor/console.h"

#include <chrono>
#include <csignal>
#include <cstring>

#include "driverlink/device.h"
#include "driverlink/platform.h"
#include "formatting/escape.h"
#include "driverlink/driver_source.h"
#include "monitor/monitor.h"
#include "monitor/window_tables.h"

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
    "SIGINT, SIGTERM or SIGHUP stop it: captures closed, recording flag cleared.\n"
    "\n"
    "  --escape   one output line per status line: backslash, TAB, line feed,\n"
    "             carriage return and other control bytes escaped\n"
    "  device     the driver device \\\\.\\device (at most 75 characters)\n";

struct ConsoleSink {
    FILE *out;
    FILE *err;
    bool escape;
    bool output_failed;
};

static void put_line(FILE *stream, int modem, const char *line, bool escape) {
    fprintf(stream, "%d: ", modem);
    if (escape) {
        put_escaped(line, stream);
    } else {
        fputs(line, stream);
        putc('\n', stream);
    }
    // Line by line, so that a pipe sees each line as it is decoded.
    fflush(stream);
}

static void console_add_line(void *context, int modem, const char *line) {
    ConsoleSink *sink = static_cast<ConsoleSink *>(context);
    put_line(sink->out, modem, line, sink->escape);
    if (ferror(sink->out)) {
        sink->output_failed = true;
    }
}

static void console_warning(void *context, const char *line) {
    ConsoleSink *sink = static_cast<ConsoleSink *>(context);
    put_line(sink->err, 0, line, sink->escape);
}

struct SignalSaver {
    int number;
    struct sigaction previous;
};

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
    SignalSaver saved[] = {{SIGINT, {}}, {SIGTERM, {}}, {SIGHUP, {}}, {SIGPIPE, {}}, {SIGXFSZ, {}}};
    for (SignalSaver &s : saved) {
        struct sigaction action {};
        // A closed standard output is an output error, and a file-size
        // limit a failed capture write, not the end of the process: the
        // captures must still be closed and the flag cleared.
        action.sa_handler = s.number == SIGPIPE || s.number == SIGXFSZ ? SIG_IGN : on_stop_signal;
        sigemptyset(&action.sa_mask);
        sigaction(s.number, &action, &s.previous);
    }

    ConsoleSink sink{out, err, escape, false};
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

    for (SignalSaver &s : saved) {
        sigaction(s.number, &s.previous, nullptr);
    }
    if (sink.output_failed) {
        fprintf(err, "LineWatch: standard output could not be written; stopped\n");
        return 1;
    }
    return 0;
}

int run_console(int argc, char **argv) {
    PlatformDriverSource source;
    return run_console(source, argc, argv);
}
