#include "monitor/console_output.h"

#include <cerrno>
#include <chrono>
#include <climits>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The longest single wait: a stop signal that comes just before a wait
// starts is seen after at most this long.
constexpr int WAIT_SLICE_MS = 100;

int64_t now_ms() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

ConsoleOutput console_output_open(FILE *stream) {
    ConsoleOutput output{stream, -1, false};
    const int fd = fileno(stream);
    struct stat info;
    if (fd < 0 || fstat(fd, &info) != 0) {
        return output;
    }
    output.fd = fd;
    // A descriptor not open for writing (a closed output that was put on
    // /dev/null read-only) stays as it is: its writes must keep failing.
    const int access = fcntl(fd, F_GETFL) & O_ACCMODE;
    const bool writable = access == O_WRONLY || access == O_RDWR;
    if (writable && (S_ISFIFO(info.st_mode) || S_ISCHR(info.st_mode) || S_ISSOCK(info.st_mode))) {
        char path[64];
        std::snprintf(path, sizeof path, "/proc/self/fd/%d", fd);
        const int own = open(path, O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (own >= 0) {
            output.fd = own;
            output.own_fd = true;
        }
    }
    return output;
}

void console_output_close(ConsoleOutput *output) {
    if (output->own_fd && output->fd >= 0) {
        close(output->fd);
    }
    output->fd = -1;
    output->own_fd = false;
}

OutputResult console_output_write(const ConsoleOutput &output, const char *bytes, size_t size,
                                  const volatile std::sig_atomic_t &stop_requested,
                                  StopDeadline *deadline) {
    if (output.fd < 0) {
        const bool written = fwrite(bytes, 1, size, output.stream) == size && fflush(output.stream) == 0;
        return written ? OUTPUT_WRITTEN : OUTPUT_FAILED;
    }
    // Whatever stdio still holds (the usage text) goes first.
    fflush(output.stream);
    size_t done = 0;
    while (done < size) {
        int wait_ms = WAIT_SLICE_MS;
        if (stop_requested) {
            if (deadline->at_ms == 0) {
                deadline->at_ms = now_ms() + STOP_OUTPUT_GRACE_MS;
            }
            const int64_t left = deadline->at_ms - now_ms();
            if (left <= 0) {
                return OUTPUT_LOST;
            }
            wait_ms = left < wait_ms ? int(left) : wait_ms;
        }
        // At most PIPE_BUF at a time: a pipe that reports room takes that
        // much without blocking even through a blocking descriptor.
        const size_t chunk = size - done < PIPE_BUF ? size - done : PIPE_BUF;
        const ssize_t n = write(output.fd, bytes + done, chunk);
        if (n > 0) {
            done += size_t(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
            return OUTPUT_FAILED;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        pollfd ready{output.fd, POLLOUT, 0};
        poll(&ready, 1, wait_ms);  // EINTR or a timeout: look at the stop request again
    }
    return OUTPUT_WRITTEN;
}
