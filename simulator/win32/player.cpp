// tarvel-sim.exe's player: trace directives into the driver and the registry.
#include "simulator/win32/player.h"

#include <windows.h>

#include <cstring>

#include "driverlink/ioctl.h"
#include "simulator/win32/tarvelsim_control.h"

namespace {

const char *const PROGRAM_KEYS[] = {"SOFTWARE\\Velmora\\Tarvel", "SOFTWARE\\Ostrand\\Tarvel"};
// Both registry views: a 32-bit program on 64-bit Windows reads the 32-bit
// view of SOFTWARE, a 64-bit program the 64-bit one.
const REGSAM REGISTRY_VIEWS[] = {KEY_WOW64_64KEY, KEY_WOW64_32KEY};

constexpr DWORD SLICE_MS = 20;                  // longest sleep between looks at the call log
constexpr uint32_t CAPTURE_PIECE = 256 * 1024;  // capture bytes offered per call
constexpr uint32_t RECORD_BATCH = 256;          // records offered per call

volatile LONG stopping = 0;
HANDLE control = INVALID_HANDLE_VALUE;
FILE *call_log = nullptr;

struct CallName {
    uint32_t code;
    const char *name;
};
const CallName CALL_NAMES[] = {
    {IOCTL_TARVEL_GET_STATUS, "IOCTL_TARVEL_GET_STATUS"},
    {IOCTL_TARVEL_GET_EYE_1, "IOCTL_TARVEL_GET_EYE_1"},
    {IOCTL_TARVEL_GET_EYE_2, "IOCTL_TARVEL_GET_EYE_2"},
    {IOCTL_TARVEL_READ_CAPTURE, "IOCTL_TARVEL_READ_CAPTURE"},
    {IOCTL_TARVEL_CAPTURE_BEGIN_1, "IOCTL_TARVEL_CAPTURE_BEGIN_1"},
    {IOCTL_TARVEL_CAPTURE_BEGIN_2, "IOCTL_TARVEL_CAPTURE_BEGIN_2"},
};

bool control_call(DWORD code, const void *input, DWORD input_size, void *output,
                  DWORD output_size, DWORD *returned) {
    DWORD count = 0;
    const BOOL done = DeviceIoControl(control, code, const_cast<void *>(input), input_size, output,
                                      output_size, &count, nullptr);
    if (returned != nullptr) {
        *returned = count;
    }
    return done != 0;
}

// Copies the calls the driver has served since the last look into the log.
void drain_call_log() {
    if (call_log == nullptr) {
        return;
    }
    TarvelSimLogEntry rows[256];
    for (;;) {
        DWORD bytes = 0;
        if (!control_call(TARVELSIM_READ_LOG, nullptr, 0, rows, sizeof rows, &bytes)) {
            return;
        }
        const DWORD count = bytes / sizeof rows[0];
        for (DWORD i = 0; i < count; ++i) {
            char line[96];
            format_log_line(rows[i].code, rows[i].has_input != 0, rows[i].input, rows[i].count,
                            line, sizeof line);
            std::fputs(line, call_log);
        }
        std::fflush(call_log);
        if (count < sizeof rows / sizeof rows[0]) {
            return;
        }
    }
}

// Sleeps ms milliseconds (or until asked to stop), looking at the call log
// between slices.
void pass_time(uint32_t ms) {
    const ULONGLONG end = GetTickCount64() + ms;
    for (;;) {
        drain_call_log();
        const ULONGLONG now = GetTickCount64();
        if (now >= end || stopping) {
            return;
        }
        const ULONGLONG left = end - now;
        Sleep(DWORD(left < SLICE_MS ? left : SLICE_MS));
    }
}

// Writes a value under both programs' keys, in both registry views.
bool set_value_everywhere(const char *name, DWORD type, const void *data, DWORD size) {
    bool all = true;
    for (const char *path : PROGRAM_KEYS) {
        for (REGSAM view : REGISTRY_VIEWS) {
            HKEY key = nullptr;
            LONG status = RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0,
                                          KEY_SET_VALUE | KEY_QUERY_VALUE | view, nullptr, &key,
                                          nullptr);
            if (status == ERROR_SUCCESS) {
                status = RegSetValueExA(key, name, 0, type, static_cast<const BYTE *>(data), size);
                RegCloseKey(key);
            }
            if (status != ERROR_SUCCESS) {
                std::fprintf(stderr, "tarvel-sim: writing %s under HKLM\\%s failed, error = %ld\n",
                             name, path, status);
                all = false;
            }
        }
    }
    return all;
}

// TarvelSetup as the driver leaves it: kept when a program already set it,
// else the 4-byte word 0 (a missing value under either key is made).
void prepare_setup_value() {
    for (const char *path : PROGRAM_KEYS) {
        for (REGSAM view : REGISTRY_VIEWS) {
            HKEY key = nullptr;
            if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0,
                                KEY_SET_VALUE | KEY_QUERY_VALUE | view, nullptr, &key,
                                nullptr) != ERROR_SUCCESS) {
                continue;
            }
            DWORD size = 0;
            if (RegQueryValueExA(key, "TarvelSetup", nullptr, nullptr, nullptr, &size) ==
                ERROR_FILE_NOT_FOUND) {
                const BYTE zero[4] = {0, 0, 0, 0};
                RegSetValueExA(key, "TarvelSetup", 0, REG_BINARY, zero, sizeof zero);
            }
            RegCloseKey(key);
        }
    }
}

// The setup-size fault: TarvelSetup becomes n bytes '@', 'A', ... under both keys.
void make_long_setup_value(uint32_t n) {
    if (n <= 4) {
        return;
    }
    const uint32_t size = n > (1u << 20) ? (1u << 20) : n;
    std::vector<BYTE> value(size);
    for (uint32_t i = 0; i < size; ++i) {
        value[i] = BYTE(0x40 + i % 0x40);
    }
    set_value_everywhere("TarvelSetup", REG_BINARY, value.data(), size);
}

TarvelSimFaults current_faults;

void send_faults() {
    control_call(TARVELSIM_SET_FAULTS, &current_faults, sizeof current_faults, nullptr, 0, nullptr);
}

void set_active(uint32_t count) {
    set_value_everywhere("ActiveModems", REG_DWORD, &count, sizeof count);
    control_call(TARVELSIM_SET_ACTIVE, &count, sizeof count, nullptr, 0, nullptr);
}

// Offers bytes to a queue that takes what fits and says how much; waits for
// room (the programs reading) until everything is queued or the player stops.
bool feed(DWORD code, uint32_t modem, const unsigned char *bytes, size_t count, size_t unit,
          uint32_t piece) {
    std::vector<unsigned char> message;
    size_t done = 0;
    while (done < count && !stopping) {
        size_t size = count - done < piece ? count - done : piece;
        size -= size % unit;
        const bool with_modem = code == TARVELSIM_QUEUE_CAPTURE;
        message.assign(with_modem ? 4 : 0, 0);
        if (with_modem) {
            std::memcpy(message.data(), &modem, 4);
        }
        message.insert(message.end(), bytes + done, bytes + done + size);
        uint32_t queued = 0;
        DWORD returned = 0;
        if (!control_call(code, message.data(), DWORD(message.size()), &queued, sizeof queued,
                          &returned) ||
            returned != sizeof queued) {
            std::fprintf(stderr, "tarvel-sim: the driver refused data, error = %lu\n",
                         GetLastError());
            return false;
        }
        done += code == TARVELSIM_QUEUE_RECORDS ? size_t(queued) * unit : queued;
        if (done < count) {
            pass_time(SLICE_MS);  // the queue is full until a program reads
        }
    }
    return true;
}

bool queue_records(const std::vector<StatusRecord> &records) {
    std::vector<unsigned char> bytes;
    for (const StatusRecord &record : records) {
        const uint32_t words[10] = {record.code,   record.param1, record.param2, record.param3,
                                    record.param4, record.param5, record.param6, record.param7,
                                    record.param8, record.modem};
        for (uint32_t word : words) {
            for (int shift = 0; shift < 32; shift += 8) {
                bytes.push_back((unsigned char)(word >> shift));
            }
        }
    }
    return feed(TARVELSIM_QUEUE_RECORDS, 0, bytes.data(), bytes.size(), STATUS_RECORD_BYTES,
                RECORD_BATCH * STATUS_RECORD_BYTES);
}

bool queue_eye(int modem, const std::vector<EyePoint> &points) {
    std::vector<unsigned char> message(4, 0);
    const uint32_t number = uint32_t(modem);
    std::memcpy(message.data(), &number, 4);
    for (const EyePoint &point : points) {
        message.push_back((unsigned char)point.x);
        message.push_back((unsigned char)(uint16_t(point.x) >> 8));
        message.push_back((unsigned char)point.y);
        message.push_back((unsigned char)(uint16_t(point.y) >> 8));
    }
    return control_call(TARVELSIM_QUEUE_EYE, message.data(), DWORD(message.size()), nullptr, 0,
                        nullptr);
}

void apply_fault(const TraceDirective &directive) {
    switch (directive.fault) {
    case FAULT_STATUS_COUNT: current_faults.status_count = directive.value; break;
    case FAULT_EYE_COUNT: current_faults.eye_count = directive.value; break;
    case FAULT_CAPTURE_COUNT: current_faults.capture_count = directive.value; break;
    case FAULT_REFUSE_OPEN: current_faults.refuse_open = directive.value != 0; break;
    case FAULT_SETUP_SIZE: make_long_setup_value(directive.value); break;
    case FAULT_OFF: current_faults = TarvelSimFaults{}; break;
    }
    send_faults();
}

// Plays the script once. Consecutive records go to the driver together.
bool play_once(const std::vector<TraceDirective> &script) {
    std::vector<StatusRecord> records;
    for (size_t i = 0; i < script.size() && !stopping; ++i) {
        const TraceDirective &directive = script[i];
        if (directive.op == TRACE_REC) {
            records.push_back(directive.record);
            if (i + 1 < script.size() && script[i + 1].op == TRACE_REC) {
                continue;
            }
            if (!queue_records(records)) {
                return false;
            }
            records.clear();
            continue;
        }
        bool fed = true;
        switch (directive.op) {
        case TRACE_ACTIVE: set_active(directive.value); break;
        case TRACE_EYE: fed = queue_eye(directive.modem, directive.points); break;
        case TRACE_CAP:
            fed = feed(TARVELSIM_QUEUE_CAPTURE, uint32_t(directive.modem), directive.bytes.data(),
                       directive.bytes.size(), 1, CAPTURE_PIECE);
            break;
        case TRACE_CAP_FILL: {
            const std::vector<unsigned char> piece(CAPTURE_PIECE, directive.fill_byte);
            for (uint32_t left = directive.value; left > 0 && fed && !stopping;) {
                const uint32_t size = left < CAPTURE_PIECE ? left : CAPTURE_PIECE;
                fed = feed(TARVELSIM_QUEUE_CAPTURE, uint32_t(directive.modem), piece.data(), size, 1,
                           CAPTURE_PIECE);
                left -= size;
            }
            break;
        }
        case TRACE_WAIT: pass_time(directive.value); break;
        case TRACE_FAULT: apply_fault(directive); break;
        case TRACE_MEM:
        case TRACE_STR:
        case TRACE_UNREADABLE:
            // The NT family never maps driver memory into a program: there
            // is nothing to place it in.
            break;
        case TRACE_REC: break;
        case TRACE_SESSION:
        case TRACE_FETCH:
        case TRACE_SHOWN: break;  // what the monitor saw: nothing for the driver to do
        }
        if (!fed) {
            return false;
        }
        drain_call_log();
    }
    return true;
}

}  // namespace

void stop_player() {
    InterlockedExchange(&stopping, 1);
}

void format_log_line(uint32_t code, bool has_input, uint32_t input, uint32_t count, char *line,
                     size_t size) {
    char name[32];
    std::snprintf(name, sizeof name, "0x%08X", (unsigned)code);
    for (const CallName &call : CALL_NAMES) {
        if (call.code == code) {
            std::snprintf(name, sizeof name, "%s", call.name);
        }
    }
    if (has_input) {
        std::snprintf(line, size, "%s %u %u\n", name, (unsigned)input, (unsigned)count);
    } else {
        std::snprintf(line, size, "%s - %u\n", name, (unsigned)count);
    }
}

int play_into_driver(const PlayerOptions &options, const std::vector<TraceDirective> &script) {
    control = CreateFileA(TARVELSIM_CONTROL_LINK, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                          OPEN_EXISTING, 0, nullptr);
    if (control == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "tarvel-sim: cannot open the driver's control device %s, error = %lu\n",
                     TARVELSIM_CONTROL_LINK, GetLastError());
        return 1;
    }
    call_log = options.log;
    control_call(TARVELSIM_RESET, nullptr, 0, nullptr, 0, nullptr);
    current_faults = TarvelSimFaults{options.status_count, options.eye_count, options.capture_count,
                                     options.refuse_open ? 1u : 0u};
    send_faults();
    prepare_setup_value();
    make_long_setup_value(options.setup_value_size);
    set_active(0);

    int status = 0;
    do {
        if (!play_once(script)) {
            status = 1;
            break;
        }
    } while (options.loop && !stopping);
    while (status == 0 && options.stay && !stopping) {
        pass_time(100);
    }

    set_active(0);
    drain_call_log();
    CloseHandle(control);
    control = INVALID_HANDLE_VALUE;
    return status;
}
