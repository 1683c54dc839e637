// The signals that end a program by default and that a program can catch:
// SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM, SIGVTALRM,
// SIGPROF, SIGXCPU, SIGIO, SIGPWR, SIGSTKFLT and the real-time signals. A
// program that holds captures routes every one of them to its orderly stop
// (captures closed, recording flag cleared), so that no such signal leaves
// the flag set. SIGPIPE and SIGXFSZ are ignored instead: a closed output and
// a file-size limit come back as write errors, and the program goes on
// (or stops) on its own terms. POSIX hosts only.
#pragma once

#include <csignal>
#include <cstddef>

class StopSignalRoute {
public:
    // Routes the termination signals to handler and ignores SIGPIPE and
    // SIGXFSZ, keeping the previous dispositions. Without restart a call
    // that blocks when a signal comes returns EINTR, so the caller gets to
    // look at its stop request.
    void install(void (*handler)(int), bool restart);
    // Puts the previous dispositions back; does nothing when not installed.
    void restore();

private:
    static constexpr size_t SIGNALS_MAX = 64;
    struct Saved {
        int number;
        struct sigaction previous;
    };
    Saved saved_[SIGNALS_MAX] = {};
    size_t count_ = 0;
};
