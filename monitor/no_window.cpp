// The window of a build without Qt6 Widgets: only the console mode works.
#include <cstdio>

#include "monitor/qt/qt_program.h"

int run_window(int, char **) {
    std::fputs("LineWatch was built without its window (Qt6 Widgets not found); "
               "run it with --console\n", stderr);
    return 2;
}
