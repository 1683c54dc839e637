// Interrupts on POSIX hosts: SIGINT and SIGTERM.
#include <csignal>

#include "recorder/interrupt.h"
#include "recorder/recorder.h"

namespace {

void (*previous_int)(int) = SIG_DFL;
void (*previous_term)(int) = SIG_DFL;

void on_interrupt(int) { recorder_interrupt(); }

}  // namespace

void catch_interrupts() {
    previous_int = std::signal(SIGINT, on_interrupt);
    previous_term = std::signal(SIGTERM, on_interrupt);
}

void release_interrupts() {
    std::signal(SIGINT, previous_int == SIG_ERR ? SIG_DFL : previous_int);
    std::signal(SIGTERM, previous_term == SIG_ERR ? SIG_DFL : previous_term);
}
