// How the platform's interrupts reach the recorder: each calls
// recorder_interrupt(), which ends recording the way its normal end does.
#pragma once

// Installs the handlers for the run of the recorder.
void catch_interrupts();
// Restores the handlers that were there before. On Windows this also lets a
// console that is being closed go on closing: its handler waited for this.
void release_interrupts();

#ifdef _WIN32
// The console control handler: what the recorder does on a console event
// (CTRL_C_EVENT, CTRL_BREAK_EVENT, CTRL_CLOSE_EVENT, ...). Windows calls it
// on a thread of its own; tests call it the same way where the console
// cannot deliver an event. Returns nonzero when the event was handled.
int recorder_console_event(unsigned long event);
#endif
