// recorder [device]: records the modems' session data into session.rec.1 and
// session.rec.2 while they are active. `recorder --version` prints the
// version instead, `recorder --help` what it does (a device named like an
// option would be no device a driver has).
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
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
        std::fputs("Usage: recorder [DEVICE]\n"
                   "       recorder --version\n"
                   "Records the session data of the Tarvel modems while a modem is active:\n"
                   "modem 1's into session.rec.1 and modem 2's into session.rec.2 in the\n"
                   "current directory. DEVICE names the driver device \\\\.\\DEVICE (at most\n"
                   "75 characters).\n"
                   "\n"
                   "  --help     show this help and exit\n"
                   "  --version  show the version and exit\n",
                   stdout);
        return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
    }
    return run_recorder(argc, argv);
}
