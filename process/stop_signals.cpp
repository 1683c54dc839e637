#include "process/stop_signals.h"

namespace {

// Signals routed to the stop handler (besides the real-time ones).
const int TERMINATION_SIGNALS[] = {
    SIGINT,  SIGTERM, SIGHUP,  SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM, SIGVTALRM, SIGPROF, SIGXCPU,
#ifdef SIGIO
    SIGIO,
#endif
#ifdef SIGPWR
    SIGPWR,
#endif
#ifdef SIGSTKFLT
    SIGSTKFLT,
#endif
};

// Signals whose effect comes back as an error of the call that raised it.
const int IGNORED_SIGNALS[] = {SIGPIPE, SIGXFSZ};

}  // namespace

void StopSignalRoute::install(void (*handler)(int), bool restart) {
    restore();
    auto route = [this](int number, void (*disposition)(int), int flags) {
        if (count_ == SIGNALS_MAX) {
            return;
        }
        struct sigaction action {};
        action.sa_handler = disposition;
        sigemptyset(&action.sa_mask);
        action.sa_flags = flags;
        if (sigaction(number, &action, &saved_[count_].previous) == 0) {
            saved_[count_].number = number;
            ++count_;
        }
    };
    const int flags = restart ? SA_RESTART : 0;
    for (int number : TERMINATION_SIGNALS) {
        route(number, handler, flags);
    }
#ifdef SIGRTMIN
    for (int number = SIGRTMIN; number <= SIGRTMAX; ++number) {
        route(number, handler, flags);
    }
#endif
    for (int number : IGNORED_SIGNALS) {
        route(number, SIG_IGN, 0);
    }
}

void StopSignalRoute::restore() {
    while (count_ > 0) {
        --count_;
        sigaction(saved_[count_].number, &saved_[count_].previous, nullptr);
    }
}
