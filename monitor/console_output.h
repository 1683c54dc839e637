// Output of the console monitor that never holds up a stop: standard output
// (or error) may be a pipe whose reader stopped reading. Until a stop is
// asked for, a write waits for the reader as long as it takes; once it is,
// all writes together wait at most STOP_OUTPUT_GRACE_MS more, and what
// could not be written by then is lost, so that the captures are closed and
// the flag cleared within a second of the stop signal. POSIX hosts only.
#pragma once

#include <csignal>
#include <cstddef>
#include <cstdint>
#include <cstdio>

constexpr int STOP_OUTPUT_GRACE_MS = 300;

// One output. A pipe, FIFO or terminal gets a descriptor of its own with
// O_NONBLOCK (opened anew through /proc/self/fd, so the flag does not reach
// whoever shares the original one, such as the shell); a regular file or
// /dev/null is written through its own descriptor; a stream without a
// descriptor (a test's memory stream) through stdio.
struct ConsoleOutput {
    FILE *stream;
    int fd;        // where bytes go; -1: through stream
    bool own_fd;   // fd was opened here and is closed by console_output_close
};

ConsoleOutput console_output_open(FILE *stream);
void console_output_close(ConsoleOutput *output);

// When output has to be done by once a stop is asked for: 0 until the
// first write that sees the stop request starts it.
struct StopDeadline {
    int64_t at_ms;
};

enum OutputResult {
    OUTPUT_WRITTEN,  // every byte went out
    OUTPUT_LOST,     // a stop was asked for and the reader did not take them in time
    OUTPUT_FAILED,   // the output is closed or broken (EBADF, EPIPE, ...)
};

// Writes size bytes, waiting for a slow reader as described above. The
// stop request is read at each wait; a signal that sets it ends a wait
// within 100 ms even when it arrives just before the wait begins.
OutputResult console_output_write(const ConsoleOutput &output, const char *bytes, size_t size,
                                  const volatile std::sig_atomic_t &stop_requested,
                                  StopDeadline *deadline);
