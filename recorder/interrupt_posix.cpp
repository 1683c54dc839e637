// Interrupts on POSIX hosts: Ctrl+C, SIGTERM, a closed terminal (SIGHUP) and
// every other signal that would end the process (SIGQUIT, SIGUSR1, SIGALRM,
// ...; see process/stop_signals.h) end the recorder like the end of
// recording. SIGPIPE (standard output closed) and SIGXFSZ (a file-size
// limit) are ignored, so that they come back as write errors instead of
// ending the program with the flag still set. The handlers do not restart
// a blocked call: it returns, and the recorder sees the request.
#include "process/stop_signals.h"
#include "recorder/interrupt.h"
#include "recorder/recorder.h"

namespace {

void on_interrupt(int) { recorder_interrupt(); }

// The dispositions in force for the run of the recorder.
StopSignalRoute route;

}  // namespace

void catch_interrupts() { route.install(on_interrupt, false); }

void release_interrupts() { route.restore(); }
