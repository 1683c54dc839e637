// The simulated driver's device: opening by name, the six device-control
// calls with their buffer and count rules, faults, and the call log.
#include <cctype>
#include <cstdio>
#include <cstring>
#include <strings.h>
#include <string>

#include "simulator/sim_internal.h"

namespace {

char sim_device_name[256] = "trvlmd";
uint32_t open_handles = 0;
uint32_t open_attempts = 0;
SimFaults faults = {};
std::string call_log;

// One row per device-control call: its code, its name in the call log and
// whether it takes a 32-bit input word.
struct CallName {
    uint32_t code;
    const char *name;
    bool takes_input;
};
const CallName call_names[] = {
    {IOCTL_TARVEL_GET_STATUS,      "IOCTL_TARVEL_GET_STATUS",      false},
    {IOCTL_TARVEL_GET_EYE_1,       "IOCTL_TARVEL_GET_EYE_1",       true},
    {IOCTL_TARVEL_GET_EYE_2,       "IOCTL_TARVEL_GET_EYE_2",       true},
    {IOCTL_TARVEL_READ_CAPTURE,    "IOCTL_TARVEL_READ_CAPTURE",    true},
    {IOCTL_TARVEL_CAPTURE_BEGIN_1, "IOCTL_TARVEL_CAPTURE_BEGIN_1", true},
    {IOCTL_TARVEL_CAPTURE_BEGIN_2, "IOCTL_TARVEL_CAPTURE_BEGIN_2", true},
};

const CallName *find_call(uint32_t code) {
    for (const CallName &call : call_names) {
        if (call.code == code) {
            return &call;
        }
    }
    return nullptr;
}

// Unknown codes are logged by their number, e.g. "0x001B201C".
void log_call(uint32_t code, bool has_input, uint32_t input, uint32_t count) {
    const CallName *call = find_call(code);
    char name[32];
    if (call != nullptr) {
        snprintf(name, sizeof name, "%s", call->name);
    } else {
        snprintf(name, sizeof name, "0x%08X", (unsigned)code);
    }
    char line[96];
    if (has_input) {
        snprintf(line, sizeof line, "%s %u %u\n", name, (unsigned)input, (unsigned)count);
    } else {
        snprintf(line, sizeof line, "%s - %u\n", name, (unsigned)count);
    }
    call_log += line;
}

uint32_t smaller(uint64_t a, uint64_t b) {
    return uint32_t(a < b ? a : b);
}

// Status: one whole record or nothing.
void serve_status(unsigned char *out, uint32_t out_size, uint32_t *count, uint32_t *bytes) {
    StatusRecord record;
    if (out_size < STATUS_RECORD_BYTES || !sim_take_record(&record)) {
        return;
    }
    const uint32_t words[10] = {record.code,   record.param1, record.param2, record.param3,
                                record.param4, record.param5, record.param6, record.param7,
                                record.param8, record.modem};
    for (int i = 0; i < 10; ++i) {
        out[4 * i] = (unsigned char)words[i];
        out[4 * i + 1] = (unsigned char)(words[i] >> 8);
        out[4 * i + 2] = (unsigned char)(words[i] >> 16);
        out[4 * i + 3] = (unsigned char)(words[i] >> 24);
    }
    *bytes = STATUS_RECORD_BYTES;
    *count = faults.status_count != 0 ? faults.status_count : STATUS_RECORD_BYTES;
}

// Eye points: as many as are queued, wanted, fit the buffer, and at most 512.
void serve_eye(int modem, bool has_input, uint32_t wanted, unsigned char *out, uint32_t out_size,
               uint32_t *count, uint32_t *bytes) {
    if (has_input) {
        uint32_t points = smaller(wanted, out_size / 4);
        points = smaller(points, EYE_POINTS_WANTED);
        points = uint32_t(sim_take_eye(modem, out, points));
        *bytes = points * 4;
        *count = points;
    }
    if (faults.eye_count != 0) {
        *count = faults.eye_count;
    }
}

// Capture data: as much as is pending, fits the buffer, and at most 524,288.
void serve_capture(bool has_input, uint32_t index, unsigned char *out, uint32_t out_size,
                   uint32_t *count, uint32_t *bytes) {
    if (!has_input || index > 1) {
        return;
    }
    const bool pending = sim_pending_capture(int(index) + 1) != 0;
    *bytes = uint32_t(sim_take_capture(int(index), out, smaller(out_size, CAPTURE_BUFFER_SIZE)));
    *count = *bytes;
    if (pending && faults.capture_count != 0) {
        *count = faults.capture_count;
    }
}

// Capture locks by device path; an empty name is a free slot.
constexpr size_t LOCK_SLOTS = 8;
constexpr size_t LOCK_NAME_BYTES = 96;
char lock_names[LOCK_SLOTS][LOCK_NAME_BYTES];

}  // namespace

int sim_lock_capture(const char *device_path) {
    if (device_path == nullptr || device_path[0] == '\0' || strlen(device_path) >= LOCK_NAME_BYTES) {
        return SIM_LOCK_FULL;
    }
    int free_slot = -1;
    for (size_t i = 0; i < LOCK_SLOTS; ++i) {
        // Device names compare without regard to letter case.
        if (strcasecmp(lock_names[i], device_path) == 0) {
            return SIM_LOCK_BUSY;
        }
        if (lock_names[i][0] == '\0' && free_slot < 0) {
            free_slot = int(i);
        }
    }
    if (free_slot < 0) {
        return SIM_LOCK_FULL;
    }
    snprintf(lock_names[free_slot], LOCK_NAME_BYTES, "%s", device_path);
    return free_slot;
}

void sim_unlock_capture(int lock) {
    if (lock >= 0 && size_t(lock) < LOCK_SLOTS) {
        lock_names[lock][0] = '\0';
    }
}

void sim_reset_device() {
    memset(lock_names, 0, sizeof lock_names);
    snprintf(sim_device_name, sizeof sim_device_name, "%s", "trvlmd");
    open_handles = 0;
    open_attempts = 0;
    faults = SimFaults{};
    call_log.clear();
    // Room for the log of a flood at once (address space only, until
    // written), so that a growing log is never copied to a new block in the
    // middle of a client's status tick.
    constexpr size_t CALL_LOG_ROOM = size_t(64) << 20;
    if (call_log.capacity() < CALL_LOG_ROOM) call_log.reserve(CALL_LOG_ROOM);
}

void sim_reset() {
    sim_reset_device();
    sim_reset_queues();
    sim_reset_script();
    sim_reset_registry();
}

void sim_set_device_name(const char *name) {
    snprintf(sim_device_name, sizeof sim_device_name, "%s", name != nullptr ? name : "");
}

// Device names compare without regard to letter case, as the platform's do.
bool sim_open_device(const char *device_path) {
    ++open_attempts;
    if (device_path == nullptr || strncmp(device_path, "\\\\.\\", 4) != 0) {
        return false;
    }
    const char *name = device_path + 4;
    if (sim_device_name[0] == '\0' || strlen(name) != strlen(sim_device_name)) {
        return false;
    }
    for (size_t i = 0; name[i] != '\0'; ++i) {
        if (tolower((unsigned char)name[i]) != tolower((unsigned char)sim_device_name[i])) {
            return false;
        }
    }
    if (faults.refuse_open && sim_any_modem_active()) {
        return false;
    }
    ++open_handles;
    return true;
}

void sim_close_device() {
    if (open_handles > 0) {
        --open_handles;
    }
}

bool sim_device_open() {
    return open_handles > 0;
}

uint32_t sim_open_count() {
    return open_attempts;
}

bool sim_device_control(uint32_t code, const void *input, uint32_t input_size,
                        void *output, uint32_t output_size, uint32_t *returned) {
    uint32_t bytes = 0;
    return sim_device_control_bytes(code, input, input_size, output, output_size, returned, &bytes);
}

bool sim_device_control_bytes(uint32_t code, const void *input, uint32_t input_size,
                              void *output, uint32_t output_size, uint32_t *returned,
                              uint32_t *bytes_written) {
    uint32_t count = 0;
    uint32_t bytes = 0;
    unsigned char *out = static_cast<unsigned char *>(output);
    if (out == nullptr) {
        output_size = 0;
    }
    const CallName *call = find_call(code);
    const bool has_input = call != nullptr && call->takes_input && input != nullptr && input_size >= 4;
    uint32_t word = 0;
    if (has_input) {
        const unsigned char *in = static_cast<const unsigned char *>(input);
        word = in[0] | (in[1] << 8) | (in[2] << 16) | (uint32_t(in[3]) << 24);
    }
    switch (code) {
    case IOCTL_TARVEL_GET_STATUS:
        serve_status(out, output_size, &count, &bytes);
        break;
    case IOCTL_TARVEL_GET_EYE_1:
        serve_eye(1, has_input, word, out, output_size, &count, &bytes);
        break;
    case IOCTL_TARVEL_GET_EYE_2:
        serve_eye(2, has_input, word, out, output_size, &count, &bytes);
        break;
    case IOCTL_TARVEL_READ_CAPTURE:
        serve_capture(has_input, word, out, output_size, &count, &bytes);
        break;
    case IOCTL_TARVEL_CAPTURE_BEGIN_1:
    case IOCTL_TARVEL_CAPTURE_BEGIN_2:
        break;  // the simulated driver records whatever is queued; nothing to switch
    default:
        break;
    }
    log_call(code, has_input, word, count);
    if (returned != nullptr) {
        *returned = count;
    }
    if (bytes_written != nullptr) {
        *bytes_written = bytes;
    }
    return call != nullptr;
}

bool sim_take_status(SimTakenRecord *taken, uint32_t *returned) {
    const bool delivered = sim_take_record_memory(taken);
    const uint32_t count = !delivered               ? 0
                           : faults.status_count != 0 ? faults.status_count
                                                      : STATUS_RECORD_BYTES;
    log_call(IOCTL_TARVEL_GET_STATUS, false, 0, count);
    *returned = count;
    return delivered;
}

SimFaults sim_get_faults() {
    return faults;
}

unsigned char sim_setup_pattern_byte(size_t index) {
    return (unsigned char)(0x40 + index % 0x40);
}

// TarvelSetup is made anew under both keys whenever the setup size changes
// to a nonzero value.
void sim_set_faults(const SimFaults &new_faults) {
    const uint32_t previous_setup_size = faults.setup_value_size;
    faults = new_faults;
    if (faults.setup_value_size > SIM_SETUP_SIZE_MAX) {
        faults.setup_value_size = SIM_SETUP_SIZE_MAX;
    }
    if (faults.setup_value_size != 0 && faults.setup_value_size != previous_setup_size) {
        std::string value(faults.setup_value_size, '\0');
        for (size_t i = 0; i < value.size(); ++i) {
            value[i] = char(sim_setup_pattern_byte(i));
        }
        sim_set_value(SIM_MONITOR_KEY, "TarvelSetup", value.data(), uint32_t(value.size()));
        sim_set_value(SIM_RECORDER_KEY, "TarvelSetup", value.data(), uint32_t(value.size()));
    }
}

void sim_log_capture_dropped(int modem, size_t bytes) {
    char line[64];
    snprintf(line, sizeof line, "CAPTURE_DROPPED %d %zu\n", modem, bytes);
    call_log += line;
}

const char *sim_call_log() {
    return call_log.c_str();
}

void sim_clear_call_log() {
    call_log.clear();
}
