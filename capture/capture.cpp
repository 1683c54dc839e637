// Capture slots, the recording flag and the capture and restart requests.
#include "capture/capture.h"

#include <cstdio>
#include <cstring>

#include "decoder/driver_memory.h"
#include "driverlink/common/windows_names.h"

const char CREATED_LOG_TEXT[] = "Created new log file %s";
const char FAILED_LOG_TEXT[] = "Failed to create new log file error = %d";
const char CAPTURE_BUSY_TEXT[] =
    "Failed to create new log file: another program is reading this device's capture data";

static void read_last_data(void *context);

// The device's capture lock goes once neither capture runs.
static void release_capture_lock(CaptureSet &captures) {
    if (captures.lock != NO_HANDLE && !captures.slot[0].active && !captures.slot[1].active) {
        captures.link->source->unlock_capture(captures.lock);
        captures.lock = NO_HANDLE;
    }
}

void capture_set_init(CaptureSet &captures, DriverLink &link) {
    captures.link = &link;
    for (CaptureSlot &slot : captures.slot) {
        slot.file = NO_CAPTURE_FILE;
        slot.file_name[0] = '\0';
        slot.byte_limit = 0;
        slot.byte_count = 0;
        slot.active = false;
    }
    captures.log_counter = 1;
    captures.lock = NO_HANDLE;
    captures.start_refused_busy = false;
    captures.memory_tap = NO_DRIVER_MEMORY;
    captures.replaying = false;
}

DriverMemory capture_memory(const CaptureSet &captures) {
    return captures.memory_tap.read != nullptr ? captures.memory_tap
                                               : driver_source_memory(*captures.link->source);
}

static CaptureSlot *slot_of(CaptureSet &captures, int modem) {
    if (modem != 1 && modem != 2) {
        return nullptr;
    }
    return &captures.slot[modem - 1];
}

static bool start_capture(CaptureSet &captures, PlatformHandle key, CaptureSlot *slot,
                          const char *file_name, int64_t byte_limit) {
    if (file_name == nullptr || std::strlen(file_name) >= CAPTURE_NAME_BYTES) {
        return false;
    }
    DriverSource &source = *captures.link->source;
    if (captures.lock == NO_HANDLE) {
        // Another reader would take the data away from this capture (and
        // this one from it): nothing is created and the flag is not touched.
        captures.lock = source.lock_capture(captures.link->device_name);
        if (captures.lock == NO_HANDLE) {
            captures.start_refused_busy = platform_last_error() == platform_capture_busy_error();
            return false;
        }
    }
    SetupValue &setup_value = captures.setup;
    if (!read_recording_flag(source, key, &setup_value)) {
        release_capture_lock(captures);
        return false;
    }
    change_recording_bit(&setup_value, true);
    if (file_name != slot->file_name) {
        std::memcpy(slot->file_name, file_name, std::strlen(file_name) + 1);
    }
    // A replay's capture has no file: the session holds no capture data.
    PlatformHandle file = captures.replaying ? NO_HANDLE : platform_create_file(slot->file_name);
    if (file == NO_HANDLE && !captures.replaying) {
        const int error = platform_last_error();
        release_capture_lock(captures);
        platform_set_last_error(error);
        return false;
    }
    write_recording_flag(source, key, setup_value);
    if (slot->active && slot->file.handle != NO_HANDLE) {
        platform_close_file(slot->file.handle);  // never leak a capture started twice
    }
    slot->file = {file, 0, false};
    slot->byte_count = 0;
    slot->byte_limit = byte_limit;
    slot->active = true;
    set_presence_closing_hook(*captures.link, read_last_data, &captures);
    return true;
}

static bool stop_capture(CaptureSet &captures, PlatformHandle key, CaptureSlot *slot) {
    slot->active = false;
    if (slot->file.handle != NO_HANDLE) {
        platform_close_file(slot->file.handle);
    }
    slot->file.handle = NO_HANDLE;
    // The file is closed whatever happens to the flag: a value that cannot
    // be read whole is left as it is. The lock goes once the flag is
    // cleared, so that the next reader finds it as this one leaves it.
    const bool cleared = set_recording_flag(*captures.link->source, key, false);
    release_capture_lock(captures);
    return cleared;
}

bool set_capture(CaptureSet &captures, bool start, int modem, const char *file_name, int64_t byte_limit) {
    CaptureSlot *slot = slot_of(captures, modem);
    if (slot == nullptr) {
        return false;
    }
    if (!start && !slot->active) {
        return true;
    }
    DriverSource &source = *captures.link->source;
    PlatformHandle key = source.open_key(MONITOR_KEY, REGISTRY_QUERY | REGISTRY_SET);
    if (key == NO_HANDLE) {
        return false;
    }
    captures.start_refused_busy = false;
    bool done = start ? start_capture(captures, key, slot, file_name, byte_limit)
                      : stop_capture(captures, key, slot);
    source.close_key(key);
    return done;
}

static void begin_capture_calls(CaptureSet &captures, int modem) {
    // The driver expects the pair right after a new capture file, 0x1B2018 first.
    uint32_t number = static_cast<uint32_t>(modem);
    uint32_t returned = 0;
    driver_control(*captures.link, IOCTL_TARVEL_CAPTURE_BEGIN_1, &number, sizeof number, nullptr, 0,
                   &returned);
    driver_control(*captures.link, IOCTL_TARVEL_CAPTURE_BEGIN_2, &number, sizeof number, nullptr, 0,
                   &returned);
}

// Renames the capture just stopped to "<n>.log" and says so in line. False
// when the rename failed and the capture still has its old name.
static bool rename_finished_capture(const CaptureSet &captures, CaptureSlot *slot, int32_t n, StatusLine &line) {
    char log_name[CAPTURE_NAME_BYTES];
    std::snprintf(log_name, sizeof log_name, "%d.log", static_cast<int>(n));
    if (captures.replaying || std::strcmp(log_name, slot->file_name) == 0 ||
        platform_same_file(log_name, slot->file_name)) {
        // The finished capture already is that file (by the same or another
        // spelling of its name): deleting the target first would delete the
        // capture itself. A replay touches no file at all.
        std::snprintf(line, STATUS_LINE_BYTES, CREATED_LOG_TEXT, log_name);
        return true;
    }
    platform_delete_file(log_name);
    if (platform_rename_file(slot->file_name, log_name)) {
        std::snprintf(line, STATUS_LINE_BYTES, CREATED_LOG_TEXT, log_name);
        return true;
    }
    std::snprintf(line, STATUS_LINE_BYTES, FAILED_LOG_TEXT, platform_last_error());
    return false;
}

void restart_capture(CaptureSet &captures, int modem, int32_t param1, StatusLine &line) {
    CaptureSlot *slot = slot_of(captures, modem);
    if (slot == nullptr || param1 < 10000 || param1 >= 20000) {
        return;
    }
    char session_name[CAPTURE_NAME_BYTES];
    std::snprintf(session_name, sizeof session_name, "session.rec.%d", modem);
    if (slot->active) {
        set_capture(captures, false, modem);
        if (param1 > 10000 && !rename_finished_capture(captures, slot, param1 - 10000, line) &&
            (std::strcmp(slot->file_name, session_name) == 0 ||
             platform_same_file(slot->file_name, session_name))) {
            // The finished capture could not be renamed and still is
            // session.rec.N: starting the new capture would replace it.
            return;
        }
    }
    std::memcpy(slot->file_name, session_name, sizeof session_name);
    if (!set_capture(captures, true, modem, slot->file_name, RESTART_BYTE_LIMIT) &&
        captures.start_refused_busy) {
        std::snprintf(line, STATUS_LINE_BYTES, "%s", CAPTURE_BUSY_TEXT);
        return;
    }
    begin_capture_calls(captures, modem);
}

// A name from driver memory names a file in the current directory or below
// it: not absolute (no leading slash or backslash), no colon (a drive
// letter, or a stream of a file on Windows), no ".." that climbs above the
// start, no control characters (a line break in a name would also break the
// status line that reports it), and no Windows device name such as NUL,
// aux.txt or COM1 in any part: there the data would go to a device. The
// driver is a Windows driver and its names are Windows names, so the same
// names are refused on every host: a session replayed elsewhere gives the
// same lines.
static bool driver_name_valid(const char *name) {
    if (name[0] == '/' || name[0] == '\\' || std::strchr(name, ':') != nullptr ||
        path_names_windows_device(name)) {
        return false;
    }
    int depth = 0;
    const char *part = name;
    for (const char *p = name;; ++p) {
        const unsigned char c = static_cast<unsigned char>(*p);
        if (c != '\0' && (c < 0x20 || c == 0x7f)) {
            return false;
        }
        if (c == '/' || c == '\\' || c == '\0') {
            const size_t length = static_cast<size_t>(p - part);
            if (length == 2 && part[0] == '.' && part[1] == '.') {
                if (--depth < 0) {
                    return false;
                }
            } else if (length != 0 && !(length == 1 && part[0] == '.')) {
                ++depth;
            }
            part = p + 1;
        }
        if (c == '\0') {
            return true;
        }
    }
}

void open_named_capture(CaptureSet &captures, int modem, uint32_t limit_mib, uint32_t name_address,
                        StatusLine &line) {
    CaptureSlot *slot = slot_of(captures, modem);
    if (slot == nullptr) {
        return;
    }
    set_capture(captures, false, modem);
    if (limit_mib == 0) {
        return;
    }
    if (name_address != 0) {
        // Read into a scratch buffer: a name that does not fit is refused
        // whole, never cut into another file's name.
        char name[CAPTURE_NAME_BYTES];
        long length = read_driver_block(capture_memory(captures), name_address, name, sizeof name);
        if (length == DRIVER_TEXT_CUT) {
            std::snprintf(line, STATUS_LINE_BYTES, FAILED_LOG_TEXT, platform_name_too_long_error());
            return;
        }
        if (length < 0) {
            std::snprintf(line, STATUS_LINE_BYTES, FAILED_LOG_TEXT, CAPTURE_NAME_UNREADABLE_ERROR);
            return;
        }
        if (!driver_name_valid(name)) {
            std::snprintf(line, STATUS_LINE_BYTES, FAILED_LOG_TEXT, CAPTURE_NAME_INVALID_ERROR);
            return;
        }
        std::memcpy(slot->file_name, name, sizeof name);
    } else {
        std::snprintf(slot->file_name, sizeof slot->file_name, "%d.log",
                      static_cast<int>(captures.log_counter));
        // Wraps instead of overflowing after 2^31 - 1 files.
        captures.log_counter = static_cast<int32_t>(static_cast<uint32_t>(captures.log_counter) + 1u);
    }
    int64_t limit = limit_mib >= NAMED_LIMIT_MAX_MIB ? CAPTURE_BYTE_LIMIT_MAX
                                                     : static_cast<int64_t>(limit_mib) << 20;
    if (set_capture(captures, true, modem, slot->file_name, limit)) {
        begin_capture_calls(captures, modem);
        std::snprintf(line, STATUS_LINE_BYTES, CREATED_LOG_TEXT, slot->file_name);
    } else if (captures.start_refused_busy) {
        std::snprintf(line, STATUS_LINE_BYTES, "%s", CAPTURE_BUSY_TEXT);
    } else {
        std::snprintf(line, STATUS_LINE_BYTES, FAILED_LOG_TEXT, platform_last_error());
    }
}

// One read of modem 1 or 2's pending data into its active capture: counted
// towards the limit, written unless the limit is reached (then the capture
// stops) or an earlier write to this file failed.
static void read_into_capture(CaptureSet &captures, int modem) {
    CaptureSlot *slot = &captures.slot[modem - 1];
    if (!slot->active) {
        return;
    }
    const uint32_t count = read_capture_data(*captures.link, modem - 1, captures.buffer);
    if (count == 0) {
        return;
    }
    slot->byte_count += count;
    if (slot->byte_count >= slot->byte_limit) {
        set_capture(captures, false, modem);
        return;
    }
    if (slot->file.handle != NO_HANDLE) {
        write_capture_data(slot->file, captures.buffer, count);
    }
}

// The device is about to close because no modem is active any more: each
// running capture takes one last read of what the driver still holds.
static void read_last_data(void *context) {
    CaptureSet &captures = *static_cast<CaptureSet *>(context);
    read_into_capture(captures, 1);
    read_into_capture(captures, 2);
}

void drain_captures(CaptureSet &captures) {
    int present = modem_presence(*captures.link);
    if (present <= 0) {
        set_capture(captures, false, 1);
        set_capture(captures, false, 2);
        return;
    }
    if (present > 2) {
        present = 2;
    }
    for (int modem = 1; modem <= present; ++modem) {
        read_into_capture(captures, modem);
    }
}

void reset_captures(CaptureSet &captures) {
    for (CaptureSlot &slot : captures.slot) {
        if (slot.active && slot.file.handle != NO_HANDLE) {
            platform_close_file(slot.file.handle);
        }
        slot.active = false;
    }
    release_capture_lock(captures);
    DriverLink &link = *captures.link;
    const DriverMemory tap = captures.memory_tap;
    const bool replaying = captures.replaying;
    capture_set_init(captures, link);
    captures.replaying = replaying;
    captures.memory_tap = tap;  // a recording outlives a restart of the captures
}
