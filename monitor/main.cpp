// LineWatch: the monitor of the Tarvel modem driver. With --console it runs
// without a window; otherwise it opens the monitor's window.
#include <cstring>

#include "monitor/console.h"
#include "monitor/qt/qt_program.h"
#include "process/standard_fds.h"

int main(int argc, char **argv) {
    if (!ensure_standard_fds()) {
        return 1;
    }
    for (int i = 1; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
        if (std::strcmp(argv[i], "--console") == 0) {
            return run_console(argc, argv);
        }
    }
    return run_window(argc, argv);
}
