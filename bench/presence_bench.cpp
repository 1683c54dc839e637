// Status intake rate: one modem_presence call plus one status call per
// record, against the tarvel-sim daemon (the whole path the programs take:
// registry files, Unix socket, daemon) and against the simulated driver's
// core in this process (the same registry read and status call, no
// transport).
#include <benchmark/benchmark.h>

#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include "driverlink/device.h"
#include "driverlink/driver_source.h"
#include "driverlink/ioctl.h"
#include "driverlink/platform.h"
#include "simulator/sim.h"

namespace {

constexpr int RECORDS = 200000;

std::string simulator_path() {
    const char *binaries = getenv("TARVEL_BINARY_DIR");
    if (binaries != nullptr) {
        return std::string(binaries) + "/simulator/tarvel-sim";
    }
    char self[PATH_MAX] = {};
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    std::string dir = n > 0 ? std::string(self, size_t(n)) : std::string(".");
    dir = dir.substr(0, dir.rfind('/'));
    return dir + "/../simulator/tarvel-sim";
}

bool wait_for_socket(const std::string &path) {
    for (int i = 0; i < 3000; ++i) {  // at most 30 s: the daemon parses a large trace first
        const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address = {};
        address.sun_family = AF_UNIX;
        snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
        const bool up = connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
        close(fd);
        if (up) {
            return true;
        }
        const timespec pause = {0, 10000000};
        nanosleep(&pause, nullptr);
    }
    return false;
}

void BM_PresenceAndStatusDaemon(benchmark::State &state) {
    char pattern[] = "/tmp/tarvel-bench-XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
        state.SkipWithError("mkdtemp failed");
        return;
    }
    const std::string dir = pattern;
    setenv("TARVEL_SIM_DIR", (dir + "/world").c_str(), 1);
    const std::string trace = dir + "/trace.txt";
    FILE *file = fopen(trace.c_str(), "w");
    fputs("active 1\n", file);
    for (int i = 0; i < RECORDS; ++i) {
        fprintf(file, "rec 1 64 26 %d\n", i);
    }
    fclose(file);

    const std::string program = simulator_path();
    const pid_t pid = fork();
    if (pid == 0) {
        execl(program.c_str(), program.c_str(), "--stay", trace.c_str(), (char *)nullptr);
        _exit(127);
    }
    if (!wait_for_socket(dir + "/world/trvlmd")) {
        state.SkipWithError(("tarvel-sim did not start: " + program).c_str());
    } else {
        PlatformDriverSource source;
        DriverLink link;
        driver_link_init(link, &source, MONITOR_KEY);
        choose_device_name(link, source.nt_family(), nullptr);
        int64_t records = 0;
        for (auto _ : state) {
            unsigned char record[STATUS_RECORD_BYTES];
            uint32_t returned = 0;
            const int present = state.range(0) == 0 ? modem_presence(link)
                                                    : modem_presence_recent(link, PRESENCE_REUSE_US);
            if (present != 0) {
                driver_control(link, IOCTL_TARVEL_GET_STATUS, nullptr, 0, record, sizeof record, &returned);
            }
            if (returned != STATUS_RECORD_BYTES) {
                state.SkipWithError("the daemon delivered no record");
                break;
            }
            ++records;
        }
        state.SetItemsProcessed(records);
        driver_link_close(link);
    }
    if (pid > 0) {  // never kill(-1, ...): that would reach every process
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
    }
    const std::string remove = "rm -rf '" + dir + "'";
    if (system(remove.c_str()) != 0) {
        fprintf(stderr, "could not remove %s\n", dir.c_str());
    }
}
// Argument 0: a registry read before every record; 1: the drain's check,
// a read at most a millisecond old.
BENCHMARK(BM_PresenceAndStatusDaemon)->Iterations(RECORDS)->UseRealTime()->Unit(benchmark::kMicrosecond)->Arg(0)->Arg(1);

void BM_PresenceAndStatusCore(benchmark::State &state) {
    sim_reset();
    sim_set_active_modems(1);
    for (int i = 0; i < RECORDS; ++i) {
        StatusRecord record = {};
        record.code = 64;
        record.param1 = 26;
        record.param2 = uint32_t(i);
        record.modem = 1;
        sim_queue_record(record);
    }
    int64_t records = 0;
    for (auto _ : state) {
        unsigned char word[4] = {0, 0, 0, 0};
        uint32_t size = sizeof word;
        unsigned char record[STATUS_RECORD_BYTES];
        uint32_t returned = 0;
        if (sim_get_value(MONITOR_KEY, ACTIVE_MODEMS_VALUE, word, &size) && word[0] != 0) {
            sim_device_control(IOCTL_TARVEL_GET_STATUS, nullptr, 0, record, sizeof record, &returned);
        }
        sim_clear_call_log();
        if (returned != STATUS_RECORD_BYTES) {
            state.SkipWithError("the core delivered no record");
            break;
        }
        ++records;
    }
    state.SetItemsProcessed(records);
}
BENCHMARK(BM_PresenceAndStatusCore)->Iterations(RECORDS)->UseRealTime()->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
