// tarvel-sim.exe: the simulated Tarvel modem driver on Windows. Makes sure
// the kernel driver tarvelsim.sys runs as a service, then plays traces into
// it in real time; programs reach it as they reach the real driver.
#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "trace/trace.h"
#include "simulator/win32/player.h"
#include "simulator/win32/service.h"

namespace {

const char USAGE[] =
    "usage: tarvel-sim [options] TRACE...\n"
    "       tarvel-sim --remove\n"
    "Plays Tarvel traces into the simulated kernel driver tarvelsim.sys, which\n"
    "serves the devices \\\\.\\trvlmd and \\\\.\\TRVLM. Installs and starts the driver's\n"
    "service when it is not running; needs an administrator.\n"
    "\n"
    "  --driver PATH              the driver to install (default: tarvelsim.sys beside this program)\n"
    "  --loop                     replay the traces when they end\n"
    "  --stay                     keep serving after the traces end, until Ctrl+C\n"
    "  --log FILE                 write one line per device-control call served\n"
    "  --fault-status-count N     report N for every status call that delivers a record\n"
    "  --fault-eye-count N        report N points on every eye call\n"
    "  --fault-capture-count N    report N bytes on every capture read with data pending\n"
    "  --fault-refuse-open        refuse to open the device while a modem is active\n"
    "  --fault-setup-size N       make TarvelSetup a value of N patterned bytes\n"
    "  --remove                   stop the driver's service and delete it\n"
    "  --help                     show this text\n"
    "  --version                  show the version\n"
    "\n"
    "A count a fault asks for is never more than the caller's buffer: the\n"
    "count is what Windows copies back. TRACE may be - for standard input.\n";

BOOL WINAPI on_console_event(DWORD event) {
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT || event == CTRL_CLOSE_EVENT) {
        stop_player();
        return TRUE;
    }
    return FALSE;
}

// tarvelsim.sys in the folder of this program.
bool default_driver_path(char *path, DWORD capacity) {
    const DWORD length = GetModuleFileNameA(nullptr, path, capacity);
    if (length == 0 || length >= capacity) {
        return false;
    }
    char *slash = std::strrchr(path, '\\');
    const size_t folder = slash != nullptr ? size_t(slash - path) + 1 : 0;
    return std::snprintf(path + folder, capacity - folder, "tarvelsim.sys") <
           int(capacity - folder);
}

}  // namespace

int main(int argc, char **argv) {
    PlayerOptions options = {};
    const char *log_path = nullptr;
    const char *driver_path = nullptr;
    bool remove = false;
    std::vector<const char *> traces;

    for (int i = 1; i < argc; ++i) {
        const char *arg = argv[i];
        const char *next = i + 1 < argc ? argv[i + 1] : nullptr;
        uint32_t *count_option = nullptr;
        if (std::strcmp(arg, "--help") == 0) {
            std::fputs(USAGE, stdout);
            return 0;
        } else if (std::strcmp(arg, "--version") == 0) {
            std::printf("tarvel-sim %s\n", TARVEL_VERSION);
            return 0;
        } else if (std::strcmp(arg, "--loop") == 0) {
            options.loop = true;
        } else if (std::strcmp(arg, "--stay") == 0) {
            options.stay = true;
        } else if (std::strcmp(arg, "--remove") == 0) {
            remove = true;
        } else if (std::strcmp(arg, "--fault-refuse-open") == 0) {
            options.refuse_open = true;
        } else if (std::strcmp(arg, "--driver") == 0 || std::strcmp(arg, "--log") == 0) {
            if (next == nullptr || next[0] == '\0') {
                std::fprintf(stderr, "tarvel-sim: %s needs a value\n%s", arg, USAGE);
                return 2;
            }
            (arg[2] == 'd' ? driver_path : log_path) = next;
            ++i;
        } else if (std::strcmp(arg, "--fault-status-count") == 0) {
            count_option = &options.status_count;
        } else if (std::strcmp(arg, "--fault-eye-count") == 0) {
            count_option = &options.eye_count;
        } else if (std::strcmp(arg, "--fault-capture-count") == 0) {
            count_option = &options.capture_count;
        } else if (std::strcmp(arg, "--fault-setup-size") == 0) {
            count_option = &options.setup_value_size;
        } else if (arg[0] == '-' && arg[1] != '\0') {
            std::fprintf(stderr, "tarvel-sim: unknown option %s\n%s", arg, USAGE);
            return 2;
        } else {
            traces.push_back(arg);
        }
        if (count_option != nullptr) {
            if (!parse_count(next, count_option)) {
                std::fprintf(stderr, "tarvel-sim: %s needs a number from 0 to 4294967295\n", arg);
                return 2;
            }
            ++i;
        }
    }
    if (remove) {
        if (!remove_driver_service()) {
            return 1;
        }
        std::printf("tarvel-sim: the driver service is removed\n");
        return 0;
    }
    if (traces.empty() && !options.stay) {
        std::fprintf(stderr, "tarvel-sim: no trace given (use --stay to serve an idle driver)\n%s",
                     USAGE);
        return 2;
    }
    if (traces.empty()) {
        options.loop = false;  // nothing to replay
    }

    std::vector<TraceDirective> script;
    if (!read_trace_files(traces, &script)) {
        return 2;  // the reader has reported FILE:LINE: message
    }

    char own_driver[MAX_PATH];
    if (driver_path == nullptr) {
        if (!default_driver_path(own_driver, sizeof own_driver)) {
            std::fprintf(stderr, "tarvel-sim: cannot tell where tarvelsim.sys is; use --driver\n");
            return 1;
        }
        driver_path = own_driver;
    }
    char full_driver[MAX_PATH];
    const DWORD full = GetFullPathNameA(driver_path, sizeof full_driver, full_driver, nullptr);
    if (full == 0 || full >= sizeof full_driver) {
        std::fprintf(stderr, "tarvel-sim: bad driver path %s\n", driver_path);
        return 1;
    }
    if (ensure_driver_service(full_driver) == SERVICE_FAILED) {
        return 1;
    }

    if (log_path != nullptr) {
        options.log = std::fopen(log_path, "wb");  // LF line ends, as on Linux
        if (options.log == nullptr) {
            std::fprintf(stderr, "tarvel-sim: cannot write %s: %s\n", log_path, std::strerror(errno));
            return 1;
        }
    }
    SetConsoleCtrlHandler(on_console_event, TRUE);
    const int status = play_into_driver(options, script);
    if (options.log != nullptr) {
        std::fclose(options.log);
    }
    return status;
}
