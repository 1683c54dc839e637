// The recorder program: flag on, wait for a modem, copy, flag off.
#include "recorder/recorder.h"

#include <csignal>
#include <cstdint>

#include "recorder/interrupt.h"

#include "driverlink/device.h"
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

// The transfer buffer for both modems, for the program's lifetime.
static unsigned char transfer_buffer[CAPTURE_BUFFER_SIZE];

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

// One capture file of the recording: how many bytes reached it, and whether
// a write failed. After a failed write the file is left alone for the rest
// of the session, so it stays an exact prefix of what the driver delivered.
struct RecordingFile {
    PlatformHandle handle;
    uint64_t bytes_written;
    bool failed;
};

static void report_create_failure(int modem) {
    const int error = platform_last_error();
    std::fprintf(errors(), "Creating %s failed, error = %d%s\n", RECORDING_FILE_NAMES[modem - 1], error,
                 error == platform_not_regular_file_error()
                     ? " (something other than a regular file has that name)"
                     : "");
    std::fflush(errors());
}

static void report_write_failure(const RecordingFile &file, int modem) {
    std::fprintf(errors(), "Write to %s failed, error = %d; it holds the first %llu bytes, the rest "
                           "is not written\n",
                 RECORDING_FILE_NAMES[modem - 1], platform_last_error(),
                 static_cast<unsigned long long>(file.bytes_written));
    std::fflush(errors());
}

// Sets or clears bit 0 of TarvelSetup under the recorder's key.
static bool change_flag(bool on) {
    PlatformHandle key = platform_open_key(RECORDER_KEY, REGISTRY_QUERY | REGISTRY_SET);
    if (key == NO_HANDLE) {
        return false;
    }
    bool done = set_recording_flag(key, on);
    platform_close_key(key);
    return done;
}

// The files of the running recording and how many modems the last presence
// check reported, for the last read when the device closes.
static RecordingFile *recording_files = nullptr;
static int modems_present = 0;

// One read of modem index 0 or 1 into its file; the count of bytes read.
static uint32_t copy_once(int index) {
    uint32_t input = static_cast<uint32_t>(index);
    uint32_t count = 0;
    platform_device_control(device, IOCTL_TARVEL_READ_CAPTURE, &input, sizeof input,
                            transfer_buffer, CAPTURE_BUFFER_SIZE, &count);
    // A driver that reports more than the buffer holds delivered no more
    // than the buffer.
    if (count > CAPTURE_BUFFER_SIZE) {
        count = CAPTURE_BUFFER_SIZE;
    }
    RecordingFile *file = &recording_files[index];
    if (count == 0 || file->handle == NO_HANDLE || file->failed) {
        return count;
    }
    if (platform_write_file(file->handle, transfer_buffer, count)) {
        file->bytes_written += count;
    } else {
        file->failed = true;
        report_write_failure(*file, index + 1);
    }
    return count;
}

// The count has fallen to 0 and the device is about to close: each modem
// that was being copied gets read until the driver holds nothing more (a
// bounded number of reads).
static void read_last_data() {
    if (recording_files == nullptr) {
        return;
    }
    constexpr int LAST_READS_MAX = 64;
    for (int index = 0; index < modems_present; ++index) {
        for (int read = 0; read < LAST_READS_MAX && copy_once(index) != 0; ++read) {
        }
    }
}

// Copies until no modem is active or an interrupt comes.
static void copy_sessions(RecordingFile files[2]) {
    recording_files = files;
    set_presence_closing_hook(read_last_data);
    int present = modem_presence();
    while (present > 0 && !interrupted) {
        if (present > 2) {
            present = 2;
        }
        modems_present = present;
        uint64_t pass_total = 0;
        for (int index = 0; index < present; ++index) {
            pass_total += copy_once(index);
        }
        if (pass_total == 0) {
            platform_sleep(IDLE_REST_MS);
        }
        present = modem_presence();
    }
    if (present > 0) {
        // Interrupted while modems are active: what the driver already
        // holds still goes to the files, as at the end of a session.
        modems_present = present > 2 ? 2 : present;
        read_last_data();
    }
    set_presence_closing_hook(nullptr);
    recording_files = nullptr;
    modems_present = 0;
}

// Records with the device's capture lock held: the flag on, wait for a
// modem, copy, flag off.
static void record_locked() {
    while (modem_presence() == 0) {
        if (interrupted) {
            change_flag(false);
            return;
        }
        platform_sleep(WAIT_REST_MS);
    }

    say(PORTS_OPENED_TEXT);
    RecordingFile files[2];
    for (int index = 0; index < 2; ++index) {
        files[index].handle = platform_create_file(RECORDING_FILE_NAMES[index]);
        files[index].bytes_written = 0;
        files[index].failed = false;
        if (files[index].handle == NO_HANDLE) {
            report_create_failure(index + 1);
        }
    }

    copy_sessions(files);

    say(PORTS_CLOSED_TEXT);
    change_flag(false);
    for (RecordingFile &file : files) {
        if (file.handle != NO_HANDLE) {
            platform_close_file(file.handle);
        }
    }
}

static int record(int argc, char **argv) {
    const char *argument = argc > 1 ? argv[1] : nullptr;
    if (!choose_device_name(platform_is_nt_family(), argument)) {
        std::fprintf(errors(), "Device name too long: at most %d characters\n",
                     static_cast<int>(DEVICE_ARGUMENT_MAX));
        return 0;
    }
    program_key = RECORDER_KEY;

    PlatformHandle key = platform_open_key(RECORDER_KEY, REGISTRY_QUERY | REGISTRY_SET);
    if (key == NO_HANDLE) {
        say(NOT_INSTALLED_TEXT);
        return 0;
    }
    // One program at a time reads the device's capture data: a second
    // reader would take chunks away from the first one's files. Without the
    // lock nothing is touched, the flag least of all.
    const PlatformHandle lock = platform_lock_capture(device_name);
    if (lock == NO_HANDLE) {
        const int error = platform_last_error();
        platform_close_key(key);
        if (error == platform_capture_busy_error()) {
            std::fprintf(errors(), "Another program is reading the capture data of %s; nothing "
                                   "recorded\n", device_name);
        } else {
            std::fprintf(errors(), "Cannot take the capture lock of %s, error = %d; nothing recorded\n",
                         device_name, error);
        }
        return 1;
    }
    bool flag_set = set_recording_flag(key, true);
    platform_close_key(key);
    if (!flag_set) {
        // The driver records nothing without the flag.
        std::fprintf(errors(), "Cannot set the recording flag: TarvelSetup could not be read "
                               "whole or written\n");
        platform_unlock_capture(lock);
        return 0;
    }
    record_locked();
    platform_unlock_capture(lock);
    return 0;
}

int run_recorder(int argc, char **argv) {
    interrupted = 0;
    console_failed = false;
    catch_interrupts();
    int result = record(argc, argv);
    release_interrupts();
    if (console_failed) {
        std::fprintf(errors(), "Standard output could not be written\n");
        std::fflush(errors());
        return 1;
    }
    return result;
}
