// The recorder program: flag on, wait for a modem, copy, flag off.
#include "recorder/recorder.h"

#include <csignal>
#include <cstdint>

#include "recorder/interrupt.h"

#include "capture/capture_copy.h"
#include "driverlink/device.h"
#include "driverlink/driver_source.h"
#include "driverlink/ioctl.h"
#include "driverlink/platform.h"
#include "driverlink/recording_flag.h"

FILE *recorder_console = nullptr;
FILE *recorder_errors = nullptr;

const char NOT_INSTALLED_TEXT[] = "Tarvel driver not installed\n";
const char PORTS_OPENED_TEXT[] = "Port(s) opened\n";
const char PORTS_CLOSED_TEXT[] = "Port(s) closed\n";

const char *const RECORDING_FILE_NAMES[2] = {"session.rec.1", "session.rec.2"};

// Rest between presence checks while waiting for a modem, and after a pass
// that found no data.
constexpr unsigned WAIT_REST_MS = 5;
constexpr unsigned IDLE_REST_MS = 100;

static volatile std::sig_atomic_t interrupted = 0;

void recorder_interrupt() { interrupted = 1; }

static FILE *console() { return recorder_console != nullptr ? recorder_console : stdout; }
static FILE *errors() { return recorder_errors != nullptr ? recorder_errors : stderr; }

// Whether a console message could not be written (standard output closed
// or full); the recorder goes on recording and reports it at the end.
static bool console_failed = false;

static void say(const char *text) {
    if (std::fputs(text, console()) == EOF || std::fflush(console()) != 0 || std::ferror(console())) {
        console_failed = true;
    }
}

// One run of the recorder: its link to the driver, the two capture files,
// how many modems the last presence check reported (for the last read when
// the device closes) and the transfer buffer for both modems.
struct Recording {
    DriverLink link;
    CaptureFile files[2];
    int modems_present;
    unsigned char buffer[CAPTURE_BUFFER_SIZE];
};

static void report_create_failure(int modem) {
    const int error = platform_last_error();
    std::fprintf(errors(), "Creating %s failed, error = %d%s\n", RECORDING_FILE_NAMES[modem - 1], error,
                 error == platform_not_regular_file_error()
                     ? " (something other than a regular file has that name)"
                     : "");
    std::fflush(errors());
}

static void report_write_failure(const CaptureFile &file, int modem) {
    std::fprintf(errors(), "Write to %s failed, error = %d; it holds the first %llu bytes, the rest "
                           "is not written\n",
                 RECORDING_FILE_NAMES[modem - 1], platform_last_error(),
                 static_cast<unsigned long long>(file.bytes_written));
    std::fflush(errors());
}

// One read of modem index 0 or 1 into its file; the count of bytes read.
static uint32_t copy_once(Recording &recording, int index) {
    const uint32_t count = read_capture_data(recording.link, index, recording.buffer);
    if (!write_capture_data(recording.files[index], recording.buffer, count)) {
        report_write_failure(recording.files[index], index + 1);
    }
    return count;
}

// The count has fallen to 0 and the device is about to close: each modem
// that was being copied gets read until the driver holds nothing more (a
// bounded number of reads).
static void read_last_data(void *context) {
    Recording &recording = *static_cast<Recording *>(context);
    for (int index = 0; index < recording.modems_present; ++index) {
        for (int read = 0; read < LAST_READS_MAX && copy_once(recording, index) != 0; ++read) {
        }
    }
}

// Copies until no modem is active or an interrupt comes.
static void copy_sessions(Recording &recording) {
    set_presence_closing_hook(recording.link, read_last_data, &recording);
    int present = modem_presence(recording.link);
    while (present > 0 && !interrupted) {
        if (present > 2) {
            present = 2;
        }
        recording.modems_present = present;
        uint64_t pass_total = 0;
        for (int index = 0; index < present; ++index) {
            pass_total += copy_once(recording, index);
        }
        if (pass_total == 0) {
            recording.link.source->sleep(IDLE_REST_MS);
        }
        present = modem_presence(recording.link);
    }
    if (present > 0) {
        // Interrupted while modems are active: what the driver already
        // holds still goes to the files, as at the end of a session.
        recording.modems_present = present > 2 ? 2 : present;
        read_last_data(&recording);
    }
    set_presence_closing_hook(recording.link, nullptr, nullptr);
    recording.modems_present = 0;
}

static void record_locked(Recording &recording);

static int record(Recording &recording, int argc, char **argv) {
    DriverLink &link = recording.link;
    DriverSource &source = *link.source;
    const char *argument = argc > 1 ? argv[1] : nullptr;
    if (!choose_device_name(link, source.nt_family(), argument)) {
        std::fprintf(errors(), "Device name too long: at most %d characters\n",
                     static_cast<int>(DEVICE_ARGUMENT_MAX));
        return 0;
    }

    PlatformHandle key = source.open_key(RECORDER_KEY, REGISTRY_QUERY | REGISTRY_SET);
    if (key == NO_HANDLE) {
        say(NOT_INSTALLED_TEXT);
        return 0;
    }
    // One program at a time reads the device's capture data: a second
    // reader would take chunks away from the first one's files. Without the
    // lock nothing is touched, the flag least of all.
    const PlatformHandle lock = source.lock_capture(link.device_name);
    if (lock == NO_HANDLE) {
        const int error = platform_last_error();
        source.close_key(key);
        if (error == platform_capture_busy_error()) {
            std::fprintf(errors(), "Another program is reading the capture data of %s; nothing "
                                   "recorded\n", link.device_name);
        } else {
            std::fprintf(errors(), "Cannot take the capture lock of %s, error = %d; nothing recorded\n",
                         link.device_name, error);
        }
        return 1;
    }
    bool flag_set = set_recording_flag(source, key, true);
    source.close_key(key);
    if (!flag_set) {
        // The driver records nothing without the flag.
        std::fprintf(errors(), "Cannot set the recording flag: TarvelSetup could not be read "
                               "whole or written\n");
        source.unlock_capture(lock);
        return 0;
    }
    record_locked(recording);
    source.unlock_capture(lock);
    return 0;
}

// Records with the device's capture lock held: wait for a modem, copy, flag
// off.
static void record_locked(Recording &recording) {
    DriverLink &link = recording.link;
    DriverSource &source = *link.source;

    while (modem_presence(link) == 0) {
        if (interrupted) {
            set_program_recording_flag(link, false);
            return;
        }
        source.sleep(WAIT_REST_MS);
    }

    say(PORTS_OPENED_TEXT);
    for (int index = 0; index < 2; ++index) {
        recording.files[index] = {platform_create_file(RECORDING_FILE_NAMES[index]), 0, false};
        if (recording.files[index].handle == NO_HANDLE) {
            report_create_failure(index + 1);
        }
    }

    copy_sessions(recording);

    say(PORTS_CLOSED_TEXT);
    set_program_recording_flag(link, false);
    for (CaptureFile &file : recording.files) {
        if (file.handle != NO_HANDLE) {
            platform_close_file(file.handle);
        }
    }
}

int run_recorder(DriverSource &source, int argc, char **argv) {
    interrupted = 0;
    console_failed = false;
    catch_interrupts();
    // 512 KiB of transfer buffer: on the heap, once per run.
    Recording *recording = new Recording;
    driver_link_init(recording->link, &source, RECORDER_KEY);
    recording->files[0] = recording->files[1] = NO_CAPTURE_FILE;
    recording->modems_present = 0;
    int result = record(*recording, argc, argv);
    driver_link_close(recording->link);
    delete recording;
    release_interrupts();
    if (console_failed) {
        std::fprintf(errors(), "Standard output could not be written\n");
        std::fflush(errors());
        return 1;
    }
    return result;
}

int run_recorder(int argc, char **argv) {
    PlatformDriverSource source;
    return run_recorder(source, argc, argv);
}
