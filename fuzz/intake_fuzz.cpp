// next_status_line and the capture operations over the in-process
// simulated driver, driven by a stream of operations:
//
//   0 RECORD(40)          queue a status record (any modem, any code)
//   1 COUNT(4)            ActiveModems
//   2 ADDR(4) LEN(1) TEXT driver memory: LEN bytes of text and a NUL
//   3 MODEM(1) LEN(2) B(1) queue LEN bytes of capture data B for modem 1 or 2
//   4                     next_status_line
//   5                     drain_captures
//   6 COUNT(4)            the driver reports COUNT for every capture read
//   7 COUNT(4)            the driver reports COUNT for every status call
//   8 ON(1)               the device refuses to open while a modem is active
//
// Capture files land in a private scratch directory nested deep enough
// that no name of 127 characters can climb out of the tree. Every line must
// be terminated within its buffer, and a created file's name must be
// relative.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "capture/capture.h"
#include "capture/intake.h"
#include "decoder/driver_memory.h"
#include "driverlink/device.h"
#include "simulator/inproc/inproc_source.h"
#include "fuzz/fuzz_input.h"
#include "simulator/sim.h"

namespace {

// Makes and enters $TMPDIR/tarvel-fuzz-XXXXXX/d/d/.../d (64 levels; /tmp
// without TMPDIR) once.
void enter_scratch_directory() {
    static bool entered = false;
    if (entered) {
        return;
    }
    const char *tmp = getenv("TMPDIR");
    std::string pattern = std::string(tmp != nullptr && tmp[0] != '\0' ? tmp : "/tmp") +
                          "/tarvel-fuzz-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr || chdir(pattern.c_str()) != 0) {
        abort();
    }
    for (int level = 0; level < 64; ++level) {
        if (mkdir("d", 0700) != 0 || chdir("d") != 0) {
            abort();
        }
    }
    entered = true;
}

void remove_files() {
    DIR *dir = opendir(".");
    if (dir == nullptr) {
        return;
    }
    while (dirent *entry = readdir(dir)) {
        if (strcmp(entry->d_name, ".") != 0 && strcmp(entry->d_name, "..") != 0) {
            unlink(entry->d_name);
        }
    }
    closedir(dir);
}

void check_line(const StatusLine &line) {
    if (memchr(line, 0, STATUS_LINE_BYTES) == nullptr) {
        __builtin_trap();
    }
    static const char created[] = "Created new log file ";
    if (strncmp(line, created, sizeof created - 1) == 0) {
        const char *name = line + sizeof created - 1;
        // Absolute, or a first part that is ".." itself ("..x" is a name
        // like any other in the directory).
        const bool parent = name[0] == '.' && name[1] == '.' &&
                            (name[2] == '\0' || name[2] == '/' || name[2] == '\\');
        if (name[0] == '/' || name[0] == '\\' || parent) {
            __builtin_trap();  // a driver-supplied name escaped the directory
        }
    }
}

}  // namespace

// The monitor's link and captures over the simulated driver in this
// process, made anew for every input.
struct FuzzWorld {
    InprocDriverSource source;
    DriverLink link;
    CaptureSet captures;
};

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static FuzzWorld *world = new FuzzWorld;
    enter_scratch_directory();
    sim_reset();
    world->source.reset();
    driver_link_init(world->link, &world->source, MONITOR_KEY);
    choose_device_name(world->link, true, nullptr);
    capture_set_init(world->captures, world->link);

    FuzzInput in = {data, size, 0};
    SimFaults faults = {};
    StatusLine line;
    for (int op = 0; op < 256 && !fuzz_done(in); ++op) {
        switch (fuzz_byte(in) % 9) {
        case 0: {
            unsigned char bytes[STATUS_RECORD_BYTES];
            fuzz_take(in, bytes, sizeof bytes);
            sim_queue_record(status_record_from_bytes(bytes));
            break;
        }
        case 1:
            sim_set_active_modems(fuzz_word(in));
            break;
        case 2: {
            const uint32_t address = fuzz_word(in);
            unsigned char text[257] = {};
            const size_t length = fuzz_byte(in);
            fuzz_take(in, text, length);
            sim_map_memory(address, text, length + 1);
            break;
        }
        case 3: {
            const int modem = 1 + fuzz_byte(in) % 2;
            const size_t length = fuzz_byte(in) | (size_t(fuzz_byte(in)) << 8);
            sim_queue_capture_fill(modem, length, fuzz_byte(in));
            break;
        }
        case 4:
            memset(line, 0xA5, sizeof line);
            if (modem_presence(world->link) > 0) {
                const int modem = next_status_line(world->captures, line);
                if (modem < -1 || modem > 2) {
                    __builtin_trap();
                }
                check_line(line);
            }
            break;
        case 5:
            drain_captures(world->captures);
            break;
        case 6:
            faults.capture_count = fuzz_word(in);
            sim_set_faults(faults);
            break;
        case 7:
            faults.status_count = fuzz_word(in);
            sim_set_faults(faults);
            break;
        case 8:
            faults.refuse_open = fuzz_byte(in) & 1;
            sim_set_faults(faults);
            break;
        }
    }
    set_capture(world->captures, false, 1);
    set_capture(world->captures, false, 2);
    reset_captures(world->captures);
    driver_link_close(world->link);
    if (world->source.open_keys() != 0 || world->source.open_devices() != 0) {
        __builtin_trap();  // a registry key was left open
    }
    remove_files();
    return 0;
}
