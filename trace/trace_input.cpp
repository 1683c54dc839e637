// The reader's inputs: a stdio stream as it is, a descriptor plain or
// gzip-compressed.
#include "trace/trace_input.h"

#include <cerrno>
#include <cstring>
#include <algorithm>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

TraceInputEnd TraceStreamInput::end(std::string *message) {
    if (!ferror(input)) return TRACE_INPUT_CLEAN;
    *message = strerror(errno != 0 ? errno : EIO);
    return TRACE_INPUT_FAILED;
}

TraceDescriptorInput::~TraceDescriptorInput() {
    if (inflating_) inflateEnd(&stream_);
}

TraceInputEnd TraceDescriptorInput::end(std::string *message) const {
    *message = message_;
    return state_;
}

void TraceDescriptorInput::finish(TraceInputEnd how, const char *text) {
    ended_ = true;
    state_ = how;
    message_ = text != nullptr ? text : "";
}

// Reads more input into in_ from at; false at its end or on an error.
bool TraceDescriptorInput::read_input(size_t at, size_t *count) {
    for (;;) {
#ifdef _WIN32
        const int n = _read(descriptor_, in_.data() + at, unsigned(CHUNK - at));
#else
        const ssize_t n = read(descriptor_, in_.data() + at, CHUNK - at);
#endif
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            finish(TRACE_INPUT_FAILED, strerror(errno));
            return false;
        }
        if (n == 0) input_done_ = true;
        consumed += uint64_t(n);
        *count = size_t(n);
        return n > 0;
    }
}

// The first bytes: gzip data starts with 1f 8b. A pipe may deliver the
// first byte on its own, so reading goes on until two bytes are in or the
// input ends. A plain file's bytes become the first output. False when
// nothing is there to give yet.
bool TraceDescriptorInput::start() {
    started_ = true;
    size_t count = 0;
    while (count < 2 && !input_done_ && !ended_) {
        size_t got = 0;
        if (read_input(count, &got)) count += got;
    }
    if (ended_) return false;  // a read error
    gzip_ = count >= 2 && in_[0] == 0x1f && in_[1] == 0x8b;
    if (!gzip_) {
        if (count == 0) {
            finish(TRACE_INPUT_CLEAN, nullptr);
            return false;
        }
        std::copy(in_.begin(), in_.begin() + std::ptrdiff_t(count), out_.begin());
        out_length_ = count;
        return true;
    }
    if (inflateInit2(&stream_, 15 + 16) != Z_OK) {
        finish(TRACE_INPUT_FAILED, strerror(ENOMEM));
        return false;
    }
    inflating_ = true;
    stream_.next_in = in_.data();
    stream_.avail_in = unsigned(count);
    return false;
}

bool TraceDescriptorInput::refill() {
    out_at_ = out_length_ = 0;
    while (!ended_) {
        if (!started_ && start()) return true;
        if (ended_) break;
        if (!gzip_) {
            size_t count = 0;
            if (!read_input(0, &count)) {
                if (input_done_) finish(TRACE_INPUT_CLEAN, nullptr);
                continue;
            }
            std::swap(in_, out_);
            out_length_ = count;
            return true;
        }
        if (stream_.avail_in == 0 && !input_done_) {
            size_t count = 0;
            if (!read_input(0, &count) && !input_done_) continue;
            stream_.next_in = in_.data();
            stream_.avail_in = unsigned(count);
        }
        stream_.next_out = out_.data();
        stream_.avail_out = unsigned(CHUNK);
        const int result = inflate(&stream_, Z_NO_FLUSH);
        out_length_ = CHUNK - stream_.avail_out;
        if (result == Z_STREAM_END) {
            // Another member may follow; the end of the input ends the file.
            if (stream_.avail_in == 0 && !input_done_) {
                size_t count = 0;
                if (read_input(0, &count)) {
                    stream_.next_in = in_.data();
                    stream_.avail_in = unsigned(count);
                }
            }
            if (stream_.avail_in == 0) {
                finish(TRACE_INPUT_CLEAN, nullptr);
            } else {
                inflateReset(&stream_);
            }
        } else if (result == Z_BUF_ERROR || (result == Z_OK && out_length_ == 0)) {
            if (input_done_ && stream_.avail_in == 0) finish(TRACE_INPUT_CUT, "unexpected end of file");
        } else if (result != Z_OK) {
            finish(result == Z_MEM_ERROR ? TRACE_INPUT_FAILED : TRACE_INPUT_CUT,
                   stream_.msg != nullptr ? stream_.msg : "invalid compressed data");
        }
        if (out_length_ > 0) return true;
    }
    return false;
}
