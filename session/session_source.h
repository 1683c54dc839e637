// A recorded session played as a driver: the monitor (or any program that
// reaches its driver through a DriverSource) runs over it as over a live
// driver. Records come through IOCTL_TARVEL_GET_STATUS in file order, once
// the time of their tick has come: time passes only when the program sleeps
// (the wait directives against the program's sleeps), so a replay runs as
// fast as the program's own loop. Records that one status tick fetched and
// the next one did not (the session's fetch directives) are delivered as
// two drains: the first ends with "no record" before the second starts.
// Driver memory (mem, str, unreadable) is what read_memory reads,
// ActiveModems what the registry gives, each tick's eye points what the eye
// calls deliver (the latest points of a modem, once).
//
// A session is never changed and nothing is recorded from it: capture
// begin and capture read calls deliver nothing, every registry write
// (TarvelSetup, the recording flag) is refused, and the capture lock is
// never refused, since there is no device whose data another reader could
// take away. The file is read whole at open and never written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "driverlink/driver_source.h"
#include "trace/sparse_memory.h"
#include "trace/trace.h"

class SessionDriverSource final : public DriverSource {
public:
    // Reads the session (plain or gzip). A file that cannot be read or is
    // not a trace: the reader has named the file and line on standard
    // error, and the result says which.
    TraceReadResult open(const char *path);
    // Plays directives already read (a trace of any kind).
    void play(std::vector<TraceDirective> trace);
    // Every record has been delivered.
    bool finished();

    bool nt_family() override { return true; }
    PlatformHandle open_device(const char *path) override;
    void close_device(PlatformHandle device) override;
    bool device_control(PlatformHandle device, uint32_t code, const void *input, uint32_t input_size,
                        void *output, uint32_t output_size, uint32_t *returned) override;
    PlatformHandle open_key(const char *key_path, unsigned access) override;
    void close_key(PlatformHandle key) override;
    ValueRead read_value(PlatformHandle key, const char *value_name, void *buffer,
                         uint32_t *size) override;
    bool write_value(PlatformHandle key, const char *value_name, const void *data,
                     uint32_t size) override;
    size_t read_memory(uint32_t address, unsigned char *dest, size_t count) override;
    void sleep(unsigned milliseconds) override;
    PlatformHandle lock_capture(const char *device_name) override;
    void unlock_capture(PlatformHandle lock) override;

private:
    // Carries out the directives up to the next record, or up to a wait
    // whose time has not come.
    void advance();
    bool next_status(unsigned char *output, uint32_t output_size, uint32_t *returned);
    uint32_t next_eye(int modem, const void *input, uint32_t input_size, void *output,
                      uint32_t output_size);

    std::vector<TraceDirective> trace_;
    size_t next_ = 0;          // the next directive to carry out
    size_t records_left_ = 0;  // records not delivered yet
    SparseMemory memory_;
    uint32_t active_modems_ = 0;
    std::vector<EyePoint> eye_[2];
    int64_t now_ms_ = 0;       // the time the program has slept
    int64_t trace_ms_ = 0;     // the time the waits carried out add up to
    int last_fetch_ = 0;       // the fetching tick of the last record delivered
    bool drain_ended_ = true;  // "no record" has been answered since that record
};
