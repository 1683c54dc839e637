// Interrupts on POSIX hosts: Ctrl+C, SIGTERM and a closed terminal (SIGHUP)
// end the recorder like the end of recording. SIGPIPE (standard output
// closed) and SIGXFSZ (a file-size limit) are ignored, so that they come
// back as write errors instead of ending the program with the flag still set.
#include <csignal>
#include <cstddef>

#include "recorder/interrupt.h"
#include "recorder/recorder.h"

namespace {

void on_interrupt(int) { recorder_interrupt(); }

struct SignalChoice {
    int number;
    void (*handler)(int);
};
const SignalChoice signal_choices[] = {
    {SIGINT, on_interrupt},
    {SIGTERM, on_interrupt},
#ifdef SIGHUP
    {SIGHUP, on_interrupt},
#endif
#ifdef SIGPIPE
    {SIGPIPE, SIG_IGN},
#endif
#ifdef SIGXFSZ
    {SIGXFSZ, SIG_IGN},
#endif
};
constexpr size_t SIGNAL_CHOICES = sizeof signal_choices / sizeof signal_choices[0];

void (*previous[SIGNAL_CHOICES])(int);

}  // namespace

void catch_interrupts() {
    for (size_t i = 0; i < SIGNAL_CHOICES; ++i) {
        previous[i] = std::signal(signal_choices[i].number, signal_choices[i].handler);
    }
}

void release_interrupts() {
    for (size_t i = 0; i < SIGNAL_CHOICES; ++i) {
        std::signal(signal_choices[i].number, previous[i] == SIG_ERR ? SIG_DFL : previous[i]);
    }
}
