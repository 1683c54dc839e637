// Writing a session: directives formatted into a fixed buffer, handed to
// zlib (compressed, or passed through for a plain file) when the buffer
// fills and at each flush.
#include "session/session_writer.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <zlib.h>
#ifdef _WIN32
#include <io.h>
#include <share.h>
#include <stdlib.h>
#else
#include <sys/file.h>
#include <unistd.h>
#endif

#include "trace/trace_write.h"

namespace {

gzFile as_gz(void *file) { return static_cast<gzFile>(file); }

// What a session file that a capture holds is told: the capture's data
// must not be cut off, nor the session mixed into it.
const char CAPTURE_HOLDS_FILE[] = "a capture (a recorder's or a monitor's) is writing this file; nothing was recorded";

// Opens path for writing, emptied, unless a capture holds it: every capture
// file is locked while it is written (flock on POSIX hosts, no sharing on
// Windows), and the session file takes the same lock for as long as it is
// open, so that neither truncates the other and a second session cannot
// take the file either. The file is emptied only once the lock is ours.
// -1 with *busy set when a capture holds the file; -1 with errno set on any
// other failure.
int open_session_file(const char *path, bool *busy) {
    *busy = false;
#ifdef _WIN32
    const int fd = _sopen(path, _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY, _SH_DENYWR, _S_IREAD | _S_IWRITE);
    constexpr unsigned long SHARING_VIOLATION = 32;  // ERROR_SHARING_VIOLATION
    if (fd < 0) *busy = errno == EACCES && static_cast<unsigned long>(_doserrno) == SHARING_VIOLATION;
    return fd;
#else
    const int fd = ::open(path, O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) return -1;
    int error = 0;
    struct stat info;
    if (flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
        *busy = true;
        error = EBUSY;
    } else if (fstat(fd, &info) != 0) {
        error = errno;
    } else if (S_ISREG(info.st_mode) && ftruncate(fd, 0) != 0) {
        error = errno;  // a device or a pipe has nothing to empty
    }
    if (error != 0) {
        ::close(fd);
        errno = error;
        return -1;
    }
    return fd;
#endif
}

bool ends_with(const char *text, const char *suffix) {
    const size_t n = strlen(text), m = strlen(suffix);
    return n >= m && strcmp(text + n - m, suffix) == 0;
}

// Changed bytes closer than this are written as one mem directive: the
// unchanged bytes between them cost less than a new line would.
constexpr size_t MEM_GAP_BYTES = 8;

// Waits longer than a directive's 32-bit count are split.
constexpr int64_t MAX_WAIT_MS = 0xFFFFFFFF;

constexpr int64_t FLUSH_INTERVAL_US = 1000000;

// A record goes into the buffer as it is, behind a mark, and becomes its rec
// directive on the file's thread: the monitor's thread copies 41 bytes where
// it would format a line. The mark is a control byte, which the text of the
// other directives never holds (quoted texts escape every control byte).
constexpr char RECORD_MARK = '\x01';
constexpr size_t RECORD_ENTRY_BYTES = 1 + sizeof(StatusRecord);

// The driver memory that decoding a record read goes the same way: behind
// its mark, the count of reads, the bytes of data, whether reads were lost,
// the reads and their data as logged. The file's thread compares them with
// what the file holds and writes what changed.
constexpr char READS_MARK = '\x02';
constexpr size_t READS_HEADER_BYTES = 1 + 4 + 4 + 1;
constexpr size_t READS_ENTRY_MAX = READS_HEADER_BYTES + MEMORY_LOG_READS * sizeof(MemoryRead) + MEMORY_LOG_BYTES;
// The most text one entry of reads can become: every data byte in hex, a
// mem directive's head for every run of changed bytes, an unreadable
// directive for every read, the note of lost reads.
constexpr size_t READS_TEXT_MAX =
    2 * MEMORY_LOG_BYTES + 16 * (MEMORY_LOG_BYTES / 9 + MEMORY_LOG_READS) + 34 * MEMORY_LOG_READS + 64;
static_assert(trace_mem_line_max(0) <= 16 && TRACE_UNREADABLE_LINE_MAX <= 34, "the sums above hold the directives");
static_assert(READS_ENTRY_MAX < FILE_THREAD_BUFFER_BYTES && READS_TEXT_MAX < FILE_THREAD_BUFFER_BYTES,
              "an entry and its text fit one buffer");

}  // namespace

SessionWriter::~SessionWriter() { close(); }

bool SessionWriter::open(const char *path, int64_t start_us, const SessionOptions &options) {
    close();
    error_.clear();
    path_ = path != nullptr ? path : "";
    options_ = options;
    memory_.blocks.clear();
    used_ = 0;
    start_us_ = last_tick_us_ = last_flush_us_ = start_us < 0 ? 0 : start_us;
    written_ms_ = tick_ms_ = start_us_ / 1000;
    tick_count_ = records_ = file_bytes_ = 0;
    last_fetch_ = 0;
    active_known_ = false;
    bool busy = false;
    descriptor_ = open_session_file(path_.c_str(), &busy);
    if (descriptor_ < 0) {
        error_ = path_ + ": " + (busy ? CAPTURE_HOLDS_FILE : strerror(errno));
        return false;
    }
    char mode[8];
    int level = options_.compression_level;
    if (level < 1 || level > 9) level = 3;
    if (ends_with(path_.c_str(), ".gz")) {
        snprintf(mode, sizeof mode, "wb%d", level);
    } else {
        snprintf(mode, sizeof mode, "wbT");  // zlib passes a plain file through
    }
    gzFile file = gzdopen(descriptor_, mode);
    if (file == nullptr) {
        error_ = path_ + ": " + strerror(ENOMEM);
#ifdef _WIN32
        _close(descriptor_);
#else
        ::close(descriptor_);
#endif
        descriptor_ = -1;
        return false;
    }
    gzbuffer(file, 1 << 16);
    file_ = file;
    thread_.start(file_, expand, this);
    buffer_ = thread_.buffer();

    const char *program = options_.program != nullptr ? options_.program : "";
    const size_t length = strlen(program);
    put_formatted(trace_session_line_max(length), [&](char *out) {
        return trace_write_session(out, start_us_ / 1000, program, length);
    });
    flush_now();
    return recording();
}

void SessionWriter::begin_tick(int64_t time_us) {
    if (!recording()) return;
    ++tick_count_;
    last_tick_us_ = time_us;
    tick_ms_ = time_us / 1000;
    // A clock set back: the file's time carries on from here.
    if (tick_ms_ < written_ms_) written_ms_ = tick_ms_;
}

// The time between ticks is written only before what happened at the later
// tick (and at the end), so that idle ticks cost nothing; the waits add up
// to the tick's time in whole milliseconds, without drifting.
void SessionWriter::put_pending_wait() {
    while (tick_ms_ > written_ms_) {
        int64_t step = tick_ms_ - written_ms_;
        if (step > MAX_WAIT_MS) step = MAX_WAIT_MS;
        put_formatted(TRACE_SHORT_LINE_MAX, [step](char *out) { return trace_write_wait(out, uint32_t(step)); });
        written_ms_ += step;
    }
}

void SessionWriter::put_active(uint32_t active_modems) {
    put_pending_wait();
    put_formatted(TRACE_SHORT_LINE_MAX,
                  [active_modems](char *out) { return trace_write_active(out, active_modems); });
    active_known_ = true;
    last_active_ = active_modems;
}

// The bytes of one read that the file does not hold yet, as mem directives
// at out; the failed rest of a read as one unreadable directive. Runs on
// the file's thread: the file's map of driver memory is the thread's alone.
char *SessionWriter::expand_read(char *out, const MemoryRead &read, const unsigned char *bytes) {
    uint32_t address = read.address;
    size_t got = read.got;
    size_t count = read.count;
    // Address 0 is never mapped: nothing to say about it.
    if (address == 0) {
        if (count == 0) return out;
        ++address;
        if (got > 0) {
            ++bytes;
            --got;
        }
        --count;
    }
    if (got > 0 && !written_holds(memory_, address, bytes, got) &&
        written_changes(memory_, address, bytes, got, changed_) > 0) {
        size_t i = 0;
        while (i < got) {
            if (!changed_[i]) {
                ++i;
                continue;
            }
            size_t end = i + 1;  // one past the last changed byte of this run
            for (size_t j = end; j < got && j - end <= MEM_GAP_BYTES; ++j) {
                if (changed_[j]) end = j + 1;
            }
            const uint64_t at = uint64_t(address) + i;
            if (at > 0xFFFFFFFFu) break;
            size_t n = end - i;
            if (at + n - 1 > 0xFFFFFFFFu) n = size_t(0x100000000u - at);
            out = trace_write_mem(out, uint32_t(at), bytes + i, n);
            i = end;
        }
        written_store(memory_, address, bytes, got);
    }
    if (got < count) {
        const uint64_t at = uint64_t(address) + got;
        if (at > 0xFFFFFFFFu) return out;
        size_t n = count - got;
        if (at + n - 1 > 0xFFFFFFFFu) n = size_t(0x100000000u - at);
        if (written_unreadable(memory_, uint32_t(at), n)) return out;
        out = trace_write_unreadable(out, uint32_t(at), uint32_t(n));  // at >= 1: n fits
        written_mark_unreadable(memory_, uint32_t(at), n);
    }
    return out;
}

void SessionWriter::put_reads(const MemoryReadLog &reads) {
    const uint32_t count = uint32_t(reads.read_count < MEMORY_LOG_READS ? reads.read_count : MEMORY_LOG_READS);
    const uint32_t data = uint32_t(reads.data_used < MEMORY_LOG_BYTES ? reads.data_used : MEMORY_LOG_BYTES);
    if (!room(READS_HEADER_BYTES + count * sizeof(MemoryRead) + data)) return;
    char *out = buffer_ + used_;
    *out++ = READS_MARK;
    memcpy(out, &count, 4);
    memcpy(out + 4, &data, 4);
    out[8] = reads.overflowed ? 1 : 0;
    out += 9;
    memcpy(out, reads.reads, count * sizeof(MemoryRead));
    out += count * sizeof(MemoryRead);
    memcpy(out, reads.data, data);
    out += data;
    used_ = size_t(out - buffer_);
}

// The FileExpander of session files: text as it is, each marked record as
// its rec directive, each entry of reads as the directives of what changed.
size_t SessionWriter::expand(void *writer, const char *in, size_t length, size_t *taken, char *out, size_t room) {
    SessionWriter &self = *static_cast<SessionWriter *>(writer);
    size_t i = 0;
    size_t n = 0;
    while (i < length) {
        if (in[i] == RECORD_MARK) {
            if (length - i < RECORD_ENTRY_BYTES || room - n < TRACE_REC_LINE_MAX) break;
            StatusRecord record;
            memcpy(&record, in + i + 1, sizeof record);
            n = size_t(trace_write_rec(out + n, record) - out);
            i += RECORD_ENTRY_BYTES;
            continue;
        }
        if (in[i] == READS_MARK) {
            if (length - i < READS_HEADER_BYTES || room - n < READS_TEXT_MAX) break;
            uint32_t count = 0;
            uint32_t data = 0;
            memcpy(&count, in + i + 1, 4);
            memcpy(&data, in + i + 5, 4);
            const bool overflowed = in[i + 9] != 0;
            if (count > MEMORY_LOG_READS || data > MEMORY_LOG_BYTES) break;
            const size_t size = READS_HEADER_BYTES + count * sizeof(MemoryRead) + data;
            if (length - i < size) break;
            const char *reads = in + i + READS_HEADER_BYTES;
            const unsigned char *bytes =
                reinterpret_cast<const unsigned char *>(reads + count * sizeof(MemoryRead));
            char *end = out + n;
            for (uint32_t r = 0; r < count; ++r) {
                MemoryRead read;
                memcpy(&read, reads + r * sizeof(MemoryRead), sizeof read);
                if (read.offset > data || read.got > data - read.offset) continue;
                end = self.expand_read(end, read, bytes + read.offset);
            }
            if (overflowed) {
                static const char note[] = "# driver memory reads of the next record not all kept\n";
                memcpy(end, note, sizeof note - 1);
                end += sizeof note - 1;
            }
            n = size_t(end - out);
            i += size;
            continue;
        }
        size_t run = 0;
        while (i + run < length && run < room - n && in[i + run] != RECORD_MARK && in[i + run] != READS_MARK) ++run;
        if (run == 0) break;
        memcpy(out + n, in + i, run);
        n += run;
        i += run;
    }
    *taken = i;
    return n;
}

void SessionWriter::record(int fetching_modem, const StatusRecord &record,
                           const MemoryReadLog *reads, const char *shown) {
    if (!recording()) return;
    if (tick_ms_ > written_ms_) put_pending_wait();
    if (reads != nullptr && (reads->read_count != 0 || reads->overflowed)) put_reads(*reads);
    if ((fetching_modem == 1 || fetching_modem == 2) && fetching_modem != last_fetch_) {
        put_formatted(TRACE_SHORT_LINE_MAX,
                      [fetching_modem](char *out) { return trace_write_fetch(out, fetching_modem); });
        last_fetch_ = fetching_modem;
    }
    if (shown != nullptr) {
        const size_t length = strlen(shown);
        put_formatted(trace_shown_line_max(length),
                      [shown, length](char *out) { return trace_write_shown(out, shown, length); });
    }
    if (!room(RECORD_ENTRY_BYTES)) return;
    buffer_[used_] = RECORD_MARK;
    memcpy(buffer_ + used_ + 1, &record, sizeof record);
    used_ += RECORD_ENTRY_BYTES;
    ++records_;
}

void SessionWriter::eye(int modem, const EyePoint *points, size_t count) {
    if (!recording() || options_.eye_every == 0 || points == nullptr || count == 0) return;
    if (modem != 1 && modem != 2) return;
    const uint64_t tick = tick_count_ > 0 ? tick_count_ - 1 : 0;
    if (tick % options_.eye_every != 0) return;
    put_pending_wait();
    put_formatted(TRACE_EYEHEX_HEAD_MAX, [modem](char *out) { return trace_write_eyehex_head(out, modem); });
    constexpr size_t POINTS_PER_STEP = 64;
    for (size_t first = 0; first < count; first += POINTS_PER_STEP) {
        const size_t n = count - first < POINTS_PER_STEP ? count - first : POINTS_PER_STEP;
        put_formatted(TRACE_EYEHEX_POINT_CHARS * n,
                      [points, first, n](char *out) { return trace_append_eye_points(out, points + first, n); });
    }
    put_formatted(1, [](char *out) {
        *out = '\n';
        return out + 1;
    });
}

void SessionWriter::flush_if_due(int64_t now_us) {
    if (!recording()) return;
    if (now_us - last_flush_us_ < FLUSH_INTERVAL_US && now_us >= last_flush_us_) return;
    last_flush_us_ = now_us;
    flush_now();
#ifndef _WIN32
    // A file removed under the recording would swallow everything after.
    struct stat info;
    if (recording() && fstat(descriptor_, &info) == 0 && info.st_nlink == 0) {
        error_ = path_ + ": the file was removed; recording stopped";
        close_file();
    }
#endif
}

bool SessionWriter::close() {
    if (recording()) {
        put_pending_wait();
        if (write_buffer()) {
            thread_.stop();  // the last buffer written, or its failure known
            if (thread_.failed()) {
                fail("write error");
                return false;
            }
            const int result = gzclose(as_gz(file_));
            file_ = nullptr;
            descriptor_ = -1;
            buffer_ = nullptr;
            if (result != Z_OK) {
                error_ = path_ + ": " + strerror(result == Z_ERRNO && errno != 0 ? errno : EIO);
            }
        }
    }
    return !failed();
}

// Stops the thread and closes the file: what reached it stays.
void SessionWriter::close_file() {
    thread_.stop();
    gzclose(as_gz(file_));
    file_ = nullptr;
    descriptor_ = -1;
    buffer_ = nullptr;
    used_ = 0;
}

void SessionWriter::fail(const char *what) {
    error_ = path_ + ": " + what + ": " + thread_.reason() + "; recording stopped";
    close_file();
}

bool SessionWriter::write_buffer() {
    if (!recording()) return false;
    if (used_ > 0) {
        const bool ok = thread_.hand_over(used_, false);
        buffer_ = thread_.buffer();
        used_ = 0;
        if (!ok) {
            fail("write error");
            return false;
        }
    }
    return true;
}

void SessionWriter::flush_now() {
    if (!recording()) return;
    const bool ok = thread_.hand_over(used_, true);
    buffer_ = thread_.buffer();
    used_ = 0;
    if (!ok) {
        fail("write error");
        return;
    }
    file_bytes_ = thread_.file_bytes();
}

bool SessionWriter::room(size_t length) {
    if (length <= FILE_THREAD_BUFFER_BYTES - used_) return true;
    return write_buffer();
}

void SessionWriter::put(const char *text, size_t length) {
    if (!recording()) return;
    if (length <= FILE_THREAD_BUFFER_BYTES - used_) {  // the usual case
        memcpy(buffer_ + used_, text, length);
        used_ += length;
        return;
    }
    while (length > 0) {
        if (used_ == FILE_THREAD_BUFFER_BYTES && !write_buffer()) return;
        size_t n = FILE_THREAD_BUFFER_BYTES - used_;
        if (n > length) n = length;
        memcpy(buffer_ + used_, text, n);
        used_ += n;
        text += n;
        length -= n;
    }
}

// A directive formatted in place when the buffer has room for the most it
// can take; one longer than a whole buffer (a shown text of many kilobytes)
// is formatted aside first.
template <class Format>
void SessionWriter::put_formatted(size_t max, Format format) {
    if (!recording()) return;
    if (max <= FILE_THREAD_BUFFER_BYTES) {
        if (!room(max)) return;
        used_ = size_t(format(buffer_ + used_) - buffer_);
        return;
    }
    std::vector<char> text(max);
    put(text.data(), size_t(format(text.data()) - text.data()));
}
