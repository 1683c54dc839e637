// tarvel-sim: the simulated Tarvel modem driver as a daemon. Plays traces in
// real time and serves the device to programs built with the POSIX platform
// backend.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include <unistd.h>

#include "process/standard_fds.h"
#include "simulator/sim_daemon.h"
#include "trace/trace.h"

namespace {

const char USAGE[] =
    "usage: tarvel-sim [options] TRACE...\n"
    "Plays Tarvel traces as the simulated driver and serves its device.\n"
    "\n"
    "  --device NAME              serve device \\\\.\\NAME (default trvlmd)\n"
    "  --loop                     replay the traces when they end\n"
    "  --stay                     keep serving after the traces end, until SIGTERM/SIGINT\n"
    "  --log FILE                 write one line per device-control call served\n"
    "  --fault-status-count N     report N for every status call that delivers a record\n"
    "  --fault-eye-count N        report N points on every eye call\n"
    "  --fault-capture-count N    report N bytes on every capture read with data pending\n"
    "  --fault-refuse-open        refuse to open the device while a modem is active\n"
    "  --fault-setup-size N       make TarvelSetup a value of N patterned bytes\n"
    "  --help                     show this text\n"
    "  --version                  show the version\n"
    "\n"
    "The world lives in $TARVEL_SIM_DIR (default $XDG_RUNTIME_DIR/tarvel-sim,\n"
    "else /tmp/tarvel-sim-UID). TRACE may be - for standard input.\n";

// Out of memory is a clean failure with a message, never an abort.
[[noreturn]] void out_of_memory() {
    fputs("tarvel-sim: out of memory\n", stderr);
    _exit(1);
}

}  // namespace

// Flushes standard output after --help or --version; 1 with a message on
// standard error when it could not be written (closed or full).
static int finish_output() {
    if (fflush(stdout) != 0 || ferror(stdout)) {
        fprintf(stderr, "tarvel-sim: standard output could not be written: %s\n",
                strerror(errno != 0 ? errno : EIO));
        return 1;
    }
    return 0;
}

int main(int argc, char **argv) {
    if (!ensure_standard_fds()) {
        return 1;
    }
    std::set_new_handler(out_of_memory);
    DaemonOptions options = {};
    options.device_name = "trvlmd";
    const char *log_path = nullptr;
    std::vector<const char *> traces;

    for (int i = 1; i < argc; ++i) {
        const char *arg = argv[i];
        const char *next = i + 1 < argc ? argv[i + 1] : nullptr;
        uint32_t *count_option = nullptr;
        if (strcmp(arg, "--help") == 0) {
            fputs(USAGE, stdout);
            return finish_output();
        } else if (strcmp(arg, "--version") == 0) {
            printf("tarvel-sim %s\n", TARVEL_VERSION);
            return finish_output();
        } else if (strcmp(arg, "--loop") == 0) {
            options.loop = true;
        } else if (strcmp(arg, "--stay") == 0) {
            options.stay = true;
        } else if (strcmp(arg, "--fault-refuse-open") == 0) {
            options.faults.refuse_open = true;
        } else if (strcmp(arg, "--device") == 0 || strcmp(arg, "--log") == 0) {
            if (next == nullptr || next[0] == '\0') {
                fprintf(stderr, "tarvel-sim: %s needs a value\n%s", arg, USAGE);
                return 2;
            }
            (arg[2] == 'd' ? options.device_name : log_path) = next;
            ++i;
        } else if (strcmp(arg, "--fault-status-count") == 0) {
            count_option = &options.faults.status_count;
        } else if (strcmp(arg, "--fault-eye-count") == 0) {
            count_option = &options.faults.eye_count;
        } else if (strcmp(arg, "--fault-capture-count") == 0) {
            count_option = &options.faults.capture_count;
        } else if (strcmp(arg, "--fault-setup-size") == 0) {
            count_option = &options.faults.setup_value_size;
        } else if (arg[0] == '-' && arg[1] != '\0') {
            fprintf(stderr, "tarvel-sim: unknown option %s\n%s", arg, USAGE);
            return 2;
        } else {
            traces.push_back(arg);
        }
        if (count_option != nullptr) {
            if (!parse_count(next, count_option)) {
                fprintf(stderr, "tarvel-sim: %s needs a number from 0 to 4294967295\n", arg);
                return 2;
            }
            ++i;
        }
    }
    if (traces.empty() && !options.stay) {
        fprintf(stderr, "tarvel-sim: no trace given (use --stay to serve an idle driver)\n%s", USAGE);
        return 2;
    }

    std::vector<TraceDirective> script;
    if (!read_trace_files(traces, &script)) {
        return 2;  // the reader has reported FILE:LINE: message
    }

    options.log_path = log_path;
    return run_daemon(options, script);
}
