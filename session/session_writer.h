// The session writer: records what the monitor saw into a trace that any
// program reading traces can open again (tarvel-decode prints the lines the
// monitor showed, tarvel-sim plays it back). A name ending in ".gz" is
// written gzip-compressed.
//
// The monitor calls, from its ticks:
//   open(path, start, options)   once; the header names the start time and program
//   begin_tick(now)              at the start of each 100 ms tick
//   active(n)                    when ActiveModems is read (changes are written)
//   record(fetching modem, record, reads, shown)
//                                for every record fetched, in fetch order
//   eye(modem, points, count)    with each tick's eye points
//   flush_if_due(now)            once a tick: the file reaches the disk once a second
//   close()                      at the end
// Times are microseconds since 1970 (UTC), as the monitor stamps its lines.
//
// Everything goes into a 64 KiB buffer: records and the driver memory
// their decoding read as they are, the other directives as text. A full
// buffer goes to a thread of the writer's own (FileThread) that turns the
// records into rec directives, compares the memory with what the file
// holds, compresses and writes, while the next buffer fills; so a burst of
// records costs the monitor's thread a copy of each. A flush waits until
// the file holds everything.
//
// A write error (full disk, the file removed) stops the recording: every
// later call does nothing, error() says what happened, and nothing that
// already reached the file is lost. Nothing here ever ends the program.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "decoder/status.h"
#include "driverlink/ioctl.h"
#include "session/file_thread.h"
#include "session/memory_read_log.h"
#include "session/written_memory.h"

struct SessionOptions {
    const char *program = "";    // written into the header ("LineWatch 0.1.0")
    // Eye points: 1 records those of every tick, N those of one tick in N,
    // 0 none.
    uint32_t eye_every = 1;
    // zlib level 1 to 9, for ".gz" names. 1 compresses eye points twice as
    // fast as 3 and keeps an hour of them at full rate near 170 MB.
    int compression_level = 1;
};

class SessionWriter {
public:
    SessionWriter() = default;
    ~SessionWriter();
    SessionWriter(const SessionWriter &) = delete;
    SessionWriter &operator=(const SessionWriter &) = delete;

    // Creates (or replaces) the file and writes the header, and holds the
    // file's capture lock until close: a capture file still being written
    // (by a recorder, or a monitor's capture) is refused and left whole, and
    // no capture can replace the session while it is recorded. False with
    // error() set when the file cannot be created, is held by a capture, or
    // cannot be written.
    bool open(const char *path, int64_t start_us, const SessionOptions &options);

    void begin_tick(int64_t time_us);
    // One record as fetched. fetching_modem is the modem (1 or 2) whose
    // status tick fetched it. reads holds what decoding it read of driver
    // memory (null: nothing). shown is the line the monitor showed when it
    // did not come from decoding the record: a capture request's message, a
    // driver-internal error's text ("" when the record showed nothing);
    // null for a record whose line is the decoder's.
    void record(int fetching_modem, const StatusRecord &record, const MemoryReadLog *reads,
                const char *shown = nullptr);
    // Called before every record: a count the file already holds costs a compare.
    void active(uint32_t active_modems) {
        if (recording() && (!active_known_ || active_modems != last_active_)) put_active(active_modems);
    }
    void eye(int modem, const EyePoint *points, size_t count);
    // Hands everything written so far to the file, at most once a second
    // (a compressed file up to a point from which it can be read).
    void flush_if_due(int64_t now_us);
    // Writes what is pending, the time up to the last tick, and closes the
    // file. False when the recording stopped on an error (error() says why).
    bool close();

    bool recording() const { return file_ != nullptr; }
    bool failed() const { return !error_.empty(); }
    const char *error() const { return error_.c_str(); }
    const char *path() const { return path_.c_str(); }
    uint64_t records() const { return records_; }
    uint64_t file_bytes() const { return file_bytes_; }  // on disk, as of the last flush
    int64_t recorded_us() const { return last_tick_us_ - start_us_; }

private:
    void put(const char *text, size_t length);
    template <class Format>
    void put_formatted(size_t max, Format format);
    void put_pending_wait();
    void put_active(uint32_t active_modems);
    void put_reads(const MemoryReadLog &reads);
    char *expand_read(char *out, const MemoryRead &read, const unsigned char *bytes);
    static size_t expand(void *writer, const char *in, size_t length, size_t *taken, char *out, size_t room);
    // Room for `length` more bytes in the buffer, handing it over when full;
    // false when the recording stopped.
    bool room(size_t length);
    bool write_buffer();
    void flush_now();
    void fail(const char *what);
    void close_file();

    // gzFile, kept opaque so that users of this header need no zlib.
    void *file_ = nullptr;
    int descriptor_ = -1;
    std::string path_;
    std::string error_;
    SessionOptions options_;
    WrittenMemory memory_;     // what the file says of driver memory: the file's thread's
    FileThread thread_;
    char *buffer_ = nullptr;   // the thread's buffer being filled
    size_t used_ = 0;
    bool changed_[MEMORY_LOG_BYTES];
    int64_t start_us_ = 0;
    int64_t last_tick_us_ = 0;
    int64_t written_ms_ = 0;   // the time the file has reached through its waits
    int64_t tick_ms_ = 0;      // the current tick's time
    int64_t last_flush_us_ = 0;
    uint64_t tick_count_ = 0;
    uint64_t records_ = 0;
    uint64_t file_bytes_ = 0;
    int last_fetch_ = 0;
    bool active_known_ = false;
    uint32_t last_active_ = 0;
};
