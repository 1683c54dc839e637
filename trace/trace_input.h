// Where the reader's characters come from: a stdio stream, or a file
// descriptor (a file or a pipe) whose content is gzip data or plain text,
// told by its first two bytes. Both give one character at a time through
// get() and say at the end how the input ended.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

#include <zlib.h>

// How the input behind a trace ended once no more characters come.
enum TraceInputEnd {
    TRACE_INPUT_CLEAN,   // the whole input was read
    TRACE_INPUT_CUT,     // compressed data stopped short or turned bad: what came before is kept
    TRACE_INPUT_FAILED,  // a read error
};

// Characters from a stdio stream, without the stream's lock where the
// platform has such a call.
struct TraceStreamInput {
    FILE *input;
    uint64_t consumed = 0;  // characters read so far
    int get() {
        ++consumed;
#ifdef _WIN32
        return getc(input);
#else
        return getc_unlocked(input);
#endif
    }
    TraceInputEnd end(std::string *message);
};

// Characters from a file descriptor: gzip data is inflated, anything else
// passed through as it is. Inflating is done here rather than through gzread
// so that data that turns bad midway still gives every byte inflated before
// the damage, and concatenated gzip members are read one after another as
// gzip does. The descriptor stays the caller's to close.
class TraceDescriptorInput {
public:
    explicit TraceDescriptorInput(int descriptor) : descriptor_(descriptor) {}
    ~TraceDescriptorInput();
    TraceDescriptorInput(const TraceDescriptorInput &) = delete;
    TraceDescriptorInput &operator=(const TraceDescriptorInput &) = delete;

    int get() {
        if (out_at_ < out_length_) return out_[out_at_++];
        if (!refill()) return EOF;
        return out_[out_at_++];
    }
    // The bytes in hand that get() would give next, at least one (refilled
    // when none are left); false at the end of the input. take(n) consumes
    // n of them, so that a line can be cut out of the buffer at once.
    bool available(const unsigned char **data, size_t *length) {
        if (out_at_ >= out_length_ && !refill()) return false;
        *data = out_.data() + out_at_;
        *length = out_length_ - out_at_;
        return true;
    }
    void take(size_t count) { out_at_ += count; }
    // How the input ended; *message says why when it did not end clean.
    TraceInputEnd end(std::string *message) const;
    uint64_t consumed = 0;  // bytes of the file read so far

private:
    static constexpr size_t CHUNK = 1 << 16;

    bool refill();
    bool start();
    bool read_input(size_t at, size_t *count);
    void finish(TraceInputEnd how, const char *text);

    int descriptor_;
    z_stream stream_{};
    bool gzip_ = false;
    bool started_ = false;
    bool inflating_ = false;   // stream_ initialised
    bool input_done_ = false;  // the descriptor has no more bytes
    bool ended_ = false;
    TraceInputEnd state_ = TRACE_INPUT_CLEAN;
    std::string message_;
    std::vector<unsigned char> in_ = std::vector<unsigned char>(CHUNK);
    std::vector<unsigned char> out_ = std::vector<unsigned char>(CHUNK);
    size_t out_at_ = 0, out_length_ = 0;
};
