// recorder [device]: records the modems' session data into session.rec.1 and
// session.rec.2 while they are active. `recorder --version` prints the
// version instead.
#include <cstdio>
#include <cstring>

#include "process/standard_fds.h"
#include "recorder/recorder.h"

int main(int argc, char **argv) {
    if (!ensure_standard_fds()) {
        return 1;
    }
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("recorder %s\n", TARVEL_VERSION);
        return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
    }
    return run_recorder(argc, argv);
}
