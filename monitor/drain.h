// The status drain that both status windows run on every tick: while a modem
// is active, fetch one record's line after another and hand each to its
// modem's list, or a driver-internal error to the warning box, until the
// driver has no line. The front end supplies the sink.
#pragma once

#include <cstdint>

struct DrainSink {
    void *context;
    // Appends a line to the list of modem 1 or 2.
    void (*add_line)(void *context, int modem, const char *line);
    // Shows a driver-internal error and returns when the user has closed it.
    // A window front end runs a message box here, whose own message loop may
    // run the drain again (re-entry).
    void (*show_warning)(void *context, const char *line);
};

// 1 while a warning is on screen: one warning box at a time for both lists.
extern int warning_open;
// Driver-internal errors discarded because a warning box was already open.
extern uint64_t warnings_discarded;

// Runs one drain. Each run (and each re-entry) has its own line buffer.
// Returns the number of records that gave a line.
uint64_t drain_status(const DrainSink &sink);
