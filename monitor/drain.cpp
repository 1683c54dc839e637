// The status drain of one status-window tick.
#include "monitor/drain.h"

#include "capture/intake.h"
#include "driverlink/device.h"

int warning_open = 0;
uint64_t warnings_discarded = 0;

uint64_t drain_status(const DrainSink &sink) {
    uint64_t lines = 0;
    StatusLine line;
    while (modem_presence() != 0) {
        const int modem = next_status_line(line);
        if (modem == -1) {
            break;
        }
        ++lines;
        if (modem == 1 || modem == 2) {
            sink.add_line(sink.context, modem, line);
        } else if (warning_open == 0) {
            warning_open = 1;
            sink.show_warning(sink.context, line);
            warning_open = 0;
        } else {
            ++warnings_discarded;
        }
    }
    return lines;
}
