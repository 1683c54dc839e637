// A recorded session played as a driver.
#include "session/session_source.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "driverlink/ioctl.h"

namespace {
// Handles of their own ranges, never NO_HANDLE.
constexpr PlatformHandle SESSION_DEVICE = 0x7000;
constexpr PlatformHandle SESSION_KEY = 0x7100;
constexpr PlatformHandle SESSION_LOCK = 0x7200;
// The registry value of the active modems' count (the driver link's
// ACTIVE_MODEMS_VALUE; named here so that readers of sessions need not link
// the driver link).
constexpr char ACTIVE_MODEMS[] = "ActiveModems";
}  // namespace

TraceReadResult SessionDriverSource::open(const char *path) {
    std::vector<TraceDirective> trace;
    const TraceReadResult result = read_trace_path(path, &trace);
    play(result == TRACE_READ_OK ? std::move(trace) : std::vector<TraceDirective>());
    return result;
}

void SessionDriverSource::play(std::vector<TraceDirective> trace) {
    trace_ = std::move(trace);
    next_ = 0;
    records_left_ = size_t(std::count_if(trace_.begin(), trace_.end(),
                                         [](const TraceDirective &d) { return d.op == TRACE_REC; }));
    memory_.blocks.clear();
    active_modems_ = 0;
    eye_[0].clear();
    eye_[1].clear();
    now_ms_ = trace_ms_ = 0;
    last_fetch_ = 0;
    drain_ended_ = true;
}

bool SessionDriverSource::finished() { return records_left_ == 0; }

void SessionDriverSource::advance() {
    while (next_ < trace_.size()) {
        const TraceDirective &d = trace_[next_];
        switch (d.op) {
        case TRACE_REC:
            return;
        case TRACE_WAIT:
            if (now_ms_ < trace_ms_ + int64_t(d.value)) return;
            trace_ms_ += d.value;
            break;
        case TRACE_MEM:
        case TRACE_STR:
            sparse_write(memory_, d.address, d.bytes.data(), d.bytes.size());
            break;
        case TRACE_UNREADABLE:
            sparse_unmap(memory_, d.address, d.value);
            break;
        case TRACE_ACTIVE:
            active_modems_ = d.value;
            break;
        case TRACE_EYE:
            if (d.modem == 1 || d.modem == 2) eye_[d.modem - 1] = d.points;
            break;
        default:
            break;  // capture data is never played; faults and headers do nothing here
        }
        ++next_;
    }
}

bool SessionDriverSource::next_status(unsigned char *output, uint32_t output_size, uint32_t *returned) {
    advance();
    // No record before the end or before a wait whose time has not come.
    if (next_ >= trace_.size() || trace_[next_].op != TRACE_REC || output == nullptr ||
        output_size < STATUS_RECORD_BYTES) {
        drain_ended_ = true;
        return true;
    }
    const TraceDirective &d = trace_[next_];
    // Records that the other status tick fetched: the drain of this tick
    // ends first, as it ended live.
    if (!drain_ended_ && d.fetched_by != 0 && last_fetch_ != 0 && d.fetched_by != last_fetch_) {
        drain_ended_ = true;
        return true;
    }
    status_record_to_bytes(d.record, output);
    *returned = STATUS_RECORD_BYTES;
    last_fetch_ = d.fetched_by;
    drain_ended_ = false;
    --records_left_;
    ++next_;
    return true;
}

uint32_t SessionDriverSource::next_eye(int modem, const void *input, uint32_t input_size, void *output,
                                       uint32_t output_size) {
    advance();
    uint32_t wanted = 0;
    if (input != nullptr && input_size >= sizeof wanted) std::memcpy(&wanted, input, sizeof wanted);
    std::vector<EyePoint> &points = eye_[modem - 1];
    const uint32_t count = std::min<uint32_t>({uint32_t(points.size()), wanted, output_size / 4});
    unsigned char *out = static_cast<unsigned char *>(output);
    for (uint32_t i = 0; i < count; ++i) {
        const uint16_t x = uint16_t(points[i].x), y = uint16_t(points[i].y);
        out[4 * i] = uint8_t(x);
        out[4 * i + 1] = uint8_t(x >> 8);
        out[4 * i + 2] = uint8_t(y);
        out[4 * i + 3] = uint8_t(y >> 8);
    }
    points.clear();
    return count;
}

PlatformHandle SessionDriverSource::open_device(const char *) { return SESSION_DEVICE; }

void SessionDriverSource::close_device(PlatformHandle) {}

bool SessionDriverSource::device_control(PlatformHandle device, uint32_t code, const void *input,
                                         uint32_t input_size, void *output, uint32_t output_size,
                                         uint32_t *returned) {
    uint32_t count = 0;
    bool done = device == SESSION_DEVICE;
    if (done) {
        switch (code) {
        case IOCTL_TARVEL_GET_STATUS:
            next_status(static_cast<unsigned char *>(output), output_size, &count);
            break;
        case IOCTL_TARVEL_GET_EYE_1:
        case IOCTL_TARVEL_GET_EYE_2:
            count = output != nullptr ? next_eye(code == IOCTL_TARVEL_GET_EYE_1 ? 1 : 2, input, input_size,
                                                 output, output_size)
                                      : 0;
            break;
        case IOCTL_TARVEL_READ_CAPTURE:
        case IOCTL_TARVEL_CAPTURE_BEGIN_1:
        case IOCTL_TARVEL_CAPTURE_BEGIN_2:
            break;  // a session holds no capture data
        default:
            done = false;
            break;
        }
    }
    if (returned != nullptr) *returned = count;
    return done;
}

PlatformHandle SessionDriverSource::open_key(const char *key_path, unsigned access) {
    return key_path != nullptr && access != 0 ? SESSION_KEY : NO_HANDLE;
}

void SessionDriverSource::close_key(PlatformHandle) {}

ValueRead SessionDriverSource::read_value(PlatformHandle key, const char *value_name, void *buffer,
                                          uint32_t *size) {
    if (key != SESSION_KEY || value_name == nullptr || size == nullptr) return VALUE_FAILED;
    if (std::strcmp(value_name, ACTIVE_MODEMS) != 0) return VALUE_MISSING;
    advance();
    if (*size < 4 || buffer == nullptr) {
        *size = 4;
        return VALUE_TOO_LARGE;
    }
    unsigned char *bytes = static_cast<unsigned char *>(buffer);
    for (int i = 0; i < 4; ++i) bytes[i] = uint8_t(active_modems_ >> (8 * i));
    *size = 4;
    return VALUE_READ;
}

bool SessionDriverSource::write_value(PlatformHandle, const char *, const void *, uint32_t) { return false; }

size_t SessionDriverSource::read_memory(uint32_t address, unsigned char *dest, size_t count) {
    if (address == 0 || dest == nullptr) return 0;
    return sparse_read(memory_, address, dest, count);
}

void SessionDriverSource::sleep(unsigned milliseconds) { now_ms_ += milliseconds; }

PlatformHandle SessionDriverSource::lock_capture(const char *) { return SESSION_LOCK; }

void SessionDriverSource::unlock_capture(PlatformHandle) {}
