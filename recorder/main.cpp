// recorder [device]: records the modems' session data into session.rec.1 and
// session.rec.2 while they are active.
#include "process/standard_fds.h"
#include "recorder/recorder.h"

int main(int argc, char **argv) {
    if (!ensure_standard_fds()) {
        return 1;
    }
    return run_recorder(argc, argv);
}
